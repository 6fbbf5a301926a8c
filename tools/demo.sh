#!/usr/bin/env bash
# Registers one device with the reference DDNS server over loopback and shows both sides:
# what ozu-ddns and the library print, and what the server received, deciphered.
#
#   tools/demo.sh [BUILD_DIR]     (default: build/release next to this script's directory)
#
# DEMO_ADDRESS picks the loopback address (default 127.0.0.99). The server listens there on
# HTTP port 8080 and on the register channel's port 8879, which the client always uses.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${1:-$SOURCE_DIR/build/release}
ADDRESS=${DEMO_ADDRESS:-127.0.0.99}
HTTP_PORT=8080
REGISTER_PORT=8879
SERVER=$BUILD_DIR/tools/ddns-server/ozu-ddns-server
TOOL=$BUILD_DIR/tools/ozu-ddns/ozu-ddns
INIT_SCRIPT=$BUILD_DIR/tools/ozu-ddns/ozu-ddns.init
SERIAL=DEMO0001
SETTINGS=(--server "$ADDRESS" --port "$HTTP_PORT" --type 2 --serial "$SERIAL" --mac 00:11:22:33:44:01
    --ip 192.168.1.64 --device-id 0x7)
WAIT_STEPS=50 # of 0.1 s: how long the server gets to start, to log, or to stop
WORK_DIR=$(mktemp -d)
SERVER_PID=
TOOL_PID=

# shellcheck source=tools/server_process.sh
source "$SOURCE_DIR/tools/server_process.sh"

heading() {
    printf '\n== %s ==\n' "$*"
}

fail() {
    printf 'demo: %s\n' "$*" >&2
    exit 1
}

indent() {
    sed 's/^/    /' "$@"
}

stop_server() {
    [[ -z $SERVER_PID ]] || stop_process "$SERVER_PID"
    SERVER_PID=
}

cleanup() {
    [[ -z $TOOL_PID ]] || kill -KILL "$TOOL_PID" 2>/dev/null || true
    stop_server
    rm -rf "$WORK_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_server() {
    heading "Reference DDNS server on $ADDRESS (HTTP $HTTP_PORT, register channel $REGISTER_PORT)"
    "$SERVER" --address "$ADDRESS" --http-port "$HTTP_PORT" --register-port "$REGISTER_PORT" \
        --database "$WORK_DIR/registry.db" >"$WORK_DIR/server.out" 2>"$WORK_DIR/server.err" &
    SERVER_PID=$!
    if ! wait_for_line "$SERVER_PID" "$WORK_DIR/server.err" "serving zone"; then
        indent "$WORK_DIR/server.err" >&2
        fail "the DDNS server could not start on $ADDRESS (HTTP port $HTTP_PORT, register channel" \
            "$REGISTER_PORT); if a port is busy, stop what holds it or pick another address with DEMO_ADDRESS=127.0.0.x"
    fi
    indent "$WORK_DIR/server.err"
}

# Runs one ozu-ddns command, shows it and what it printed (its result on standard output, the
# messages on standard error), and fails with it.
run_tool() {
    local status=0
    printf '    $ ozu-ddns %s\n' "$*"
    timeout 20 "$TOOL" "$@" >"$WORK_DIR/$1.out" 2>"$WORK_DIR/$1.err" || status=$?
    indent "$WORK_DIR/$1.err" "$WORK_DIR/$1.out"
    ((status == 0)) || fail "ozu-ddns $1 failed (exit status $status)"
}

run_one_shots() {
    heading "One update and one lookup over HTTP (interface type 2: ozu_dnsupdate_init_v2, once, getname)"
    run_tool once --verbose "${SETTINGS[@]}"
    run_tool getname "${SETTINGS[@]}"
}

# The settings as the lines of a configuration file.
write_config() {
    local index
    for ((index = 0; index < ${#SETTINGS[@]}; index += 2)); do
        printf '%s = %s\n' "${SETTINGS[index]#--}" "${SETTINGS[index + 1]}"
    done >"$WORK_DIR/ozu-ddns.conf"
}

# ozu-ddns run as the init script starts and stops it, with its files in the work directory.
init_script() {
    printf '    $ /etc/init.d/ozu-ddns %s\n' "$1"
    OZU_DDNS=$TOOL OZU_DDNS_CONFIG=$WORK_DIR/ozu-ddns.conf OZU_DDNS_PIDFILE=$WORK_DIR/ozu-ddns.pid OZU_DDNS_OPTS= \
        sh "$INIT_SCRIPT" "$1" >>"$WORK_DIR/run.out" 2>&1 || fail "the init script's $1 failed"
}

run_worker() {
    heading "The register channel: ozu-ddns run (start, init_rdn) under its init script, then SIGTERM (stop)"
    write_config
    indent "$WORK_DIR/ozu-ddns.conf"
    init_script start
    TOOL_PID=$(cat "$WORK_DIR/ozu-ddns.pid")
    wait_for_line "$SERVER_PID" "$WORK_DIR/server.out" "cmd=102 serial=$SERIAL" || fail "the worker's online report never arrived"
    init_script stop
    TOOL_PID=
    indent "$WORK_DIR/run.out"
    if grep -q 'cat: ' "$WORK_DIR/run.out"; then
        echo "    (the 'cat:' lines: the library looks for DIYDDNSServer in the device's configuration file, absent here)"
    fi
    grep -q '^ozu-ddns: stopped$' "$WORK_DIR/run.out" || fail "ozu-ddns run did not stop after the offline report"
}

show_server_log() {
    # The server logs each exchange before it replies, so the offline record is normally there already.
    wait_for_line "$SERVER_PID" "$WORK_DIR/server.out" "status=offline" || fail "the server never received the offline report"
    heading "What the server received, deciphered (one line per exchange)"
    indent "$WORK_DIR/server.out"
}

# What the server's operator sees afterwards: the registry, and the name freed for another device.
show_registry() {
    heading "The registry (ozu-ddns-server list), then the name freed (release)"
    "$SERVER" list --database "$WORK_DIR/registry.db" >"$WORK_DIR/list.out" || fail "ozu-ddns-server list failed"
    indent "$WORK_DIR/list.out"
    grep -q "^${SERIAL,,}	$SERIAL	00:11:22:33:44:01	offline	" "$WORK_DIR/list.out" || fail "the registry does not hold $SERIAL, offline"
    "$SERVER" release "$SERIAL" --database "$WORK_DIR/registry.db" | indent
    "$SERVER" list --database "$WORK_DIR/registry.db" | grep -qi "$SERIAL" && fail "release left $SERIAL in the registry"
    true
}

summarise() {
    local domain
    domain=$(cat "$WORK_DIR/getname.out")
    [[ -n $domain ]] || fail "ozu-ddns getname printed no domain name"
    heading "Result"
    echo "    The device $SERIAL learned its domain name $domain and went offline on stop."
}

main() {
    [[ -x $SERVER && -x $TOOL ]] || fail "build first: $SERVER and $TOOL are missing (make demo builds them)"
    start_server
    run_one_shots
    run_worker
    show_server_log
    stop_server
    show_registry
    summarise
}

main
