# Shell functions for the scripts that run the DDNS server in the background (demo.sh,
# soak.sh); sourced, not run. Each wait lasts at most the caller's WAIT_STEPS steps of 0.1 s.

# wait_for_line PID FILE TEXT: true once FILE has a line containing TEXT; false after the wait
# or as soon as process PID has ended.
wait_for_line() {
    local pid=$1 file=$2 text=$3 step
    for ((step = 0; step < WAIT_STEPS; step++)); do
        grep -qsF -- "$text" "$file" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# stop_process PID: SIGTERM, then SIGKILL if it has not ended within the wait.
stop_process() {
    local pid=$1 step
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for ((step = 0; step < WAIT_STEPS; step++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
