#!/usr/bin/env bash
# Soak test: the update worker (5-second interval) and the domain-name thread run against the
# DDNS server for SOAK_SECONDS (default 600), twice at the same time:
#   - under valgrind memcheck, which must find no leak and no error;
#   - natively, where resident memory must stay flat (under valgrind the tool's own heap and its
#     quarantine of freed blocks grow it, so it is only reported there).
# In both, the open descriptors must stay constant (ozu-soak judges descriptors and memory).
#
#   tools/soak.sh [BUILD_DIR]     (default: build/soak next to this script's directory)
#
# SOAK_ADDRESS (default 127.0.0.96) and SOAK_NATIVE_ADDRESS (default 127.0.0.95) pick the loopback
# addresses; a DDNS server listens on each, on HTTP port 8080 and on the register channel's
# port 8879.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${1:-$SOURCE_DIR/build/soak}
MEMCHECK_ADDRESS=${SOAK_ADDRESS:-127.0.0.96}
NATIVE_ADDRESS=${SOAK_NATIVE_ADDRESS:-127.0.0.95}
SECONDS_TO_RUN=${SOAK_SECONDS:-600}
SERVER=$BUILD_DIR/tools/ddns-server/ozu-ddns-server
SOAK=$BUILD_DIR/tools/soak/ozu-soak
VALGRIND_FAILURE=99
SUPPRESSIONS=$SOURCE_DIR/tools/soak.supp
# The blocks tools/soak.supp may account for: one resolver configuration and one thread-local
# storage block of the domain-name thread.
MAX_SUPPRESSED_BLOCKS=2
WAIT_STEPS=50 # of 0.1 s: how long a server gets to start or to stop
# The soak's own run time plus valgrind's start-up and the final offline exchange.
TIME_LIMIT=$((SECONDS_TO_RUN + 300))
WORK_DIR=$(mktemp -d)
SERVER_PIDS=()

# shellcheck source=tools/server_process.sh
source "$SOURCE_DIR/tools/server_process.sh"

fail() {
    printf 'soak: %s\n' "$*" >&2
    exit 1
}

stop_servers() {
    local pid
    for pid in "${SERVER_PIDS[@]}"; do
        stop_process "$pid"
    done
    SERVER_PIDS=()
}

cleanup() {
    stop_servers
    rm -rf "$WORK_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# start_server NAME ADDRESS: logs go to $WORK_DIR/NAME.server.{out,err}.
start_server() {
    local name=$1 address=$2 pid
    "$SERVER" --address "$address" --http-port 8080 --register-port 8879 --database "$WORK_DIR/$name.db" \
        >"$WORK_DIR/$name.server.out" 2>"$WORK_DIR/$name.server.err" &
    pid=$!
    SERVER_PIDS+=("$pid")
    wait_for_line "$pid" "$WORK_DIR/$name.server.err" "serving zone" && return 0
    cat "$WORK_DIR/$name.server.err" >&2
    fail "the DDNS server could not start on $address (ports 8080 and 8879)"
}

run_memcheck() {
    timeout "$TIME_LIMIT" valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=$VALGRIND_FAILURE \
        --suppressions="$SUPPRESSIONS" --log-file="$WORK_DIR/valgrind.log" \
        "$SOAK" --server "$MEMCHECK_ADDRESS" --seconds "$SECONDS_TO_RUN" --judge-rss no \
        >"$WORK_DIR/memcheck.out" 2>&1
}

run_native() {
    timeout "$TIME_LIMIT" "$SOAK" --server "$NATIVE_ADDRESS" --seconds "$SECONDS_TO_RUN" \
        >"$WORK_DIR/native.out" 2>&1
}

# report NAME STATUS: the run's samples and summary, then its verdict.
report() {
    local name=$1 status=$2
    sed -n "s/^soak: /soak: $name: /p" "$WORK_DIR/$name.out"
    case $status in
        0) ;;
        124) fail "$name: the soak did not finish within $TIME_LIMIT seconds" ;;
        1) fail "$name: descriptors or resident memory grew" ;;
        "$VALGRIND_FAILURE") cat "$WORK_DIR/valgrind.log" >&2; fail "$name: valgrind found leaks or memory errors" ;;
        *) tail -n 20 "$WORK_DIR/$name.out" >&2; fail "$name: ozu-soak failed (exit status $status)" ;;
    esac
}

check_valgrind_log() {
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|suppressed:|All heap blocks' \
        "$WORK_DIR/valgrind.log" | sed 's/^==[0-9]*== /soak: valgrind: /' || true
    local blocks
    blocks=$(sed -n 's/.*suppressed: [0-9,]* bytes in \([0-9,]*\) blocks.*/\1/p' "$WORK_DIR/valgrind.log" | tr -d ,)
    ((${blocks:-0} <= MAX_SUPPRESSED_BLOCKS)) \
        || fail "valgrind suppressed $blocks blocks, more than the $MAX_SUPPRESSED_BLOCKS held once per thread"
}

count_exchanges() {
    local name
    for name in memcheck native; do
        echo "soak: $name: the server logged $(wc -l <"$WORK_DIR/$name.server.out") exchanges" \
            "($(grep -c 'status=offline' "$WORK_DIR/$name.server.out" || true) offline report)"
    done
}

main() {
    command -v valgrind >/dev/null || fail "valgrind is not installed"
    [[ -x $SERVER && -x $SOAK ]] || fail "build first: $SERVER and $SOAK are missing (make soak builds them)"
    echo "soak: $(date -u '+%Y-%m-%d %H:%M UTC'), $SECONDS_TO_RUN s, under valgrind memcheck against" \
        "$MEMCHECK_ADDRESS and natively against $NATIVE_ADDRESS"
    start_server memcheck "$MEMCHECK_ADDRESS"
    start_server native "$NATIVE_ADDRESS"
    local memcheck_status=0 native_status=0 memcheck_pid
    run_memcheck &
    memcheck_pid=$!
    run_native || native_status=$?
    wait "$memcheck_pid" || memcheck_status=$?
    stop_servers
    report memcheck "$memcheck_status"
    check_valgrind_log
    report native "$native_status"
    count_exchanges
    echo "soak: passed"
}

main
