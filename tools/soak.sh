#!/usr/bin/env bash
# Soak test: the update worker (5-second interval) and the domain-name thread run against the
# reference server for SOAK_SECONDS (default 600) under valgrind memcheck. Fails unless valgrind
# finds no leak and no error, the open descriptors stay constant and resident memory stays flat
# (ozu-soak judges the last two).
#
#   tools/soak.sh [BUILD_DIR]     (default: build/soak next to this script's directory)
#
# SOAK_ADDRESS picks the loopback address (default 127.0.0.96); the server listens there on
# HTTP port 8080 and on the register channel's port 8879.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${1:-$SOURCE_DIR/build/soak}
ADDRESS=${SOAK_ADDRESS:-127.0.0.96}
SECONDS_TO_RUN=${SOAK_SECONDS:-600}
SERVER=$BUILD_DIR/tools/ddns-server/ozu-ddns-server
SOAK=$BUILD_DIR/tools/soak/ozu-soak
VALGRIND_FAILURE=99
SUPPRESSIONS=$SOURCE_DIR/tools/soak.supp
# The blocks tools/soak.supp may account for: one resolver configuration and one thread-local
# storage block of the domain-name thread.
MAX_SUPPRESSED_BLOCKS=2
WAIT_STEPS=50 # of 0.1 s: how long the server gets to start or to stop
# The soak's own run time plus valgrind's start-up and the final offline exchange.
TIME_LIMIT=$((SECONDS_TO_RUN + 300))
WORK_DIR=$(mktemp -d)
SERVER_PID=

fail() {
    printf 'soak: %s\n' "$*" >&2
    exit 1
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

start_server() {
    "$SERVER" --address "$ADDRESS" --http-port 8080 --register-port 8879 \
        >"$WORK_DIR/server.out" 2>"$WORK_DIR/server.err" &
    SERVER_PID=$!
    local step
    for ((step = 0; step < WAIT_STEPS; step++)); do
        grep -qF "serving zone" "$WORK_DIR/server.err" && return 0
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WORK_DIR/server.err" >&2
    fail "the reference server could not start on $ADDRESS (ports 8080 and 8879)"
}

run_soak() {
    local status=0
    timeout "$TIME_LIMIT" valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=$VALGRIND_FAILURE \
        --suppressions="$SUPPRESSIONS" \
        --log-file="$WORK_DIR/valgrind.log" \
        "$SOAK" --server "$ADDRESS" --seconds "$SECONDS_TO_RUN" >"$WORK_DIR/soak.out" 2>&1 || status=$?
    grep '^soak: ' "$WORK_DIR/soak.out" || true
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|suppressed:|All heap blocks' "$WORK_DIR/valgrind.log" \
        | sed 's/^==[0-9]*== /valgrind: /' || true
    case $status in
        0) ;;
        "$VALGRIND_FAILURE") cat "$WORK_DIR/valgrind.log" >&2; fail "valgrind found leaks or memory errors" ;;
        124) fail "the soak did not finish within $TIME_LIMIT seconds" ;;
        1) fail "descriptors or resident memory grew" ;;
        *) tail -n 20 "$WORK_DIR/soak.out" >&2; fail "ozu-soak failed (exit status $status)" ;;
    esac
    check_suppressed_blocks
}

check_suppressed_blocks() {
    local blocks
    blocks=$(sed -n 's/.*suppressed: [0-9,]* bytes in \([0-9,]*\) blocks.*/\1/p' "$WORK_DIR/valgrind.log" | tr -d ,)
    ((${blocks:-0} <= MAX_SUPPRESSED_BLOCKS)) \
        || fail "valgrind suppressed $blocks blocks, more than the $MAX_SUPPRESSED_BLOCKS held once per thread"
}

count_exchanges() {
    echo "soak: the server logged $(wc -l <"$WORK_DIR/server.out") exchanges" \
        "($(grep -c 'status=offline' "$WORK_DIR/server.out" || true) offline report)"
}

main() {
    command -v valgrind >/dev/null || fail "valgrind is not installed"
    [[ -x $SERVER && -x $SOAK ]] || fail "build first: $SERVER and $SOAK are missing (make soak builds them)"
    echo "soak: $(date -u '+%Y-%m-%d %H:%M UTC'), $SECONDS_TO_RUN s against $ADDRESS under valgrind memcheck"
    start_server
    run_soak
    stop_server
    count_exchanges
    echo "soak: passed"
}

main
