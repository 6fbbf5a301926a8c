#!/usr/bin/env bash
# Registers one device with the reference DDNS server over loopback and shows both sides:
# what the host program and the library print, and what the server received, deciphered.
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
HOST=$BUILD_DIR/examples/ddns-host/ozu-ddns-host
SERIAL=DEMO0001
WAIT_STEPS=50 # of 0.1 s: how long the server gets to start, to log, or to stop
WORK_DIR=$(mktemp -d)
SERVER_PID=

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
    if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
        kill -TERM "$SERVER_PID" 2>/dev/null || true
        local step
        for ((step = 0; step < WAIT_STEPS; step++)); do
            kill -0 "$SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    SERVER_PID=
}

cleanup() {
    stop_server
    rm -rf "$WORK_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# True once the file has a line containing the text, false after WAIT_STEPS or when the server ends.
wait_for_line() {
    local file=$1 text=$2 step
    for ((step = 0; step < WAIT_STEPS; step++)); do
        grep -qF -- "$text" "$file" && return 0
        kill -0 "$SERVER_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

start_server() {
    heading "Reference DDNS server on $ADDRESS (HTTP $HTTP_PORT, register channel $REGISTER_PORT)"
    "$SERVER" --address "$ADDRESS" --http-port "$HTTP_PORT" --register-port "$REGISTER_PORT" \
        >"$WORK_DIR/server.out" 2>"$WORK_DIR/server.err" &
    SERVER_PID=$!
    if ! wait_for_line "$WORK_DIR/server.err" "serving zone"; then
        indent "$WORK_DIR/server.err" >&2
        fail "the reference server could not start on $ADDRESS (HTTP port $HTTP_PORT, register channel" \
            "$REGISTER_PORT); if a port is busy, stop what holds it or pick another address with DEMO_ADDRESS=127.0.0.x"
    fi
    indent "$WORK_DIR/server.err"
}

run_host() {
    heading "Host program: interface type 2 (ozu_dnsupdate_init_v2), then start, init_rdn, once, getname, stop"
    local -a command=("$HOST" --server "$ADDRESS" --port "$HTTP_PORT" --type 2 --serial "$SERIAL"
        --mac 00:11:22:33:44:01 --ip 192.168.1.64 --interval 300 --hold 1)
    printf '    $ %s\n' "${command[*]#"$BUILD_DIR/"}"
    local status=0
    timeout 20 "${command[@]}" >"$WORK_DIR/host.out" 2>&1 || status=$?
    indent "$WORK_DIR/host.out"
    if grep -q 'cat: ' "$WORK_DIR/host.out"; then
        echo "    (the 'cat:' lines: the library looks for DIYDDNSServer in the device's configuration file, absent here)"
    fi
    ((status == 0)) || fail "the host program failed (exit status $status)"
}

show_server_log() {
    # The server logs each exchange before it replies, so the offline record is normally there already.
    wait_for_line "$WORK_DIR/server.out" "status=offline" || fail "the server never received the offline report"
    heading "What the server received, deciphered (one line per exchange)"
    indent "$WORK_DIR/server.out"
}

summarise() {
    local domain
    # Unanchored: a library message without a line end may come just before it.
    domain=$(sed -n 's/.*domain name: //p' "$WORK_DIR/host.out" | head -n 1)
    [[ -n $domain ]] || fail "the host program printed no domain name"
    heading "Result"
    echo "    The device $SERIAL learned its domain name $domain and went offline on stop."
}

main() {
    [[ -x $SERVER && -x $HOST ]] || fail "build first: $SERVER and $HOST are missing (make demo builds them)"
    start_server
    run_host
    show_server_log
    stop_server
    summarise
}

main
