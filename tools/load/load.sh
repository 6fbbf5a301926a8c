#!/usr/bin/env bash
# The capacity run behind `make load`: a fresh database, a local BIND 9 holding a throwaway zone, the
# server publishing into it, and a fleet from ozu-load. Phase 1: every device sends its first
# registration (101); phase 2: reports (102) at the fleet's steady rate while the server's CPU time is
# measured. Prints one summary table and fails when a goal is missed.
# Usage: tools/load/load.sh BUILD_DIR. Run it in a network namespace of its own (the Makefile does):
# it uses fixed ports and many loopback source addresses.
# Environment: SERVER (default BUILD_DIR/tools/ddns-server/ozu-ddns-server), DEVICES (100000),
# SOURCES (8), BURST_SECONDS (60), DNS_SECONDS (120), INTERVAL (300, the devices' report interval),
# STEADY_SECONDS (30).
set -euo pipefail

build_dir=${1:?usage: $0 BUILD_DIR}
server=${SERVER:-$build_dir/tools/ddns-server/ozu-ddns-server}
generator=$build_dir/tools/load/ozu-load
devices=${DEVICES:-100000}
sources=${SOURCES:-8}
burst_seconds=${BURST_SECONDS:-60}
dns_seconds=${DNS_SECONDS:-120}
interval=${INTERVAL:-300}
steady_seconds=${STEADY_SECONDS:-30}
readonly zone=load.test dns_port=5300 register_port=8879 http_port=8080 key_name=ozu-load-key

work=$(mktemp -d /tmp/ozu-load-XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

say() {
    echo "load: $*" >&2
}

start_bind() {
    tsig-keygen -a hmac-sha256 "$key_name" >"$work/ddns.key"
    printf '%s\n' "\$TTL 60" "@ IN SOA localhost. admin.$zone. 1 3600 600 86400 60" "@ IN NS localhost." >"$work/zone.db"
    cat >"$work/named.conf" <<EOF
include "$work/ddns.key";
options {
  directory "$work";
  listen-on port $dns_port { 127.0.0.1; };
  listen-on-v6 { none; };
  pid-file none;
  session-keyfile none;
  recursion no;
  notify no;
};
controls {};
zone "$zone" {
  type primary;
  file "$work/zone.db";
  update-policy { grant $key_name zonesub A; };
  allow-transfer { key $key_name; };
};
EOF
    local user=()
    if [[ $(id -u) -eq 0 ]] && id bind >/dev/null 2>&1; then
        chown -R bind:bind "$work"
        user=(-u bind)
    fi
    named -g "${user[@]}" -c "$work/named.conf" >"$work/named.log" 2>&1 &
    pids+=($!)
}

start_server() {
    "$server" --address 127.0.0.1 --http-port $http_port --register-port $register_port --zone $zone \
        --database "$work/registry.db" --rate-limit 0 --max-connections 8192 \
        --dns-server 127.0.0.1:$dns_port --tsig-key "$work/ddns.key" >/dev/null 2>"$work/server.log" &
    server_pid=$!
    pids+=("$server_pid")
}

# Polls until the command succeeds, for at most $1 seconds.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

published_names() {
    dig +noall +answer +time=10 +tries=1 -k "$work/ddns.key" @127.0.0.1 -p $dns_port "$zone" AXFR 2>/dev/null |
        awk '$4 == "A"' | wc -l
}

registered_confirmed() {
    "$server" list --database "$work/registry.db" | awk -F '\t' 'NR > 1 { print $2 }' | sort -u >"$work/registered"
    sort -u "$work/confirmed" | comm -23 - "$work/registered" | wc -l
}

# The server's CPU time in clock ticks.
server_ticks() {
    awk '{ print $14 + $15 }' "/proc/$server_pid/stat"
}

field() {
    sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"
}

ulimit -n "$(ulimit -Hn)"
start_bind
wait_for 15 dig +time=1 +tries=1 @127.0.0.1 -p $dns_port "$zone" SOA || { say "named did not start"; exit 1; }
start_server
wait_for 15 bash -c "exec 3<>/dev/tcp/127.0.0.1/$register_port" || { say "the server did not start"; exit 1; }

say "phase 1: $devices devices register"
burst=$("$generator" --port $register_port --devices "$devices" --sources "$sources" --zone $zone --command 101 \
    --in-flight 2000 --time-limit "$burst_seconds" --confirmed "$work/confirmed" || true)
burst_end=$SECONDS
confirmed=$(field confirmed "$burst")
missing=$(registered_confirmed)

say "waiting for $confirmed names in DNS"
names=0
until names=$(published_names) && ((names >= confirmed || SECONDS - burst_end >= dns_seconds)); do
    sleep 1
done
dns_delay=$((SECONDS - burst_end))

rate=$(((devices + interval - 1) / interval))
steady_devices=$((rate * steady_seconds))
say "phase 2: $steady_devices reports at $rate a second"
ticks_before=$(server_ticks)
steady=$("$generator" --port $register_port --devices "$steady_devices" --sources "$sources" --zone $zone \
    --command 102 --rate "$rate" --in-flight 2000 --time-limit $((steady_seconds + 30)) || true)
ticks_after=$(server_ticks)
steady_time=$(field seconds "$steady")
cpu_per_thousand=$(awk -v t=$((ticks_after - ticks_before)) -v hz="$(getconf CLK_TCK)" -v s="$steady_time" \
    -v d="$devices" 'BEGIN { printf "%.3f", 100 * t / hz / s / (d / 1000) }')

failures=0
row() {
    local verdict=pass
    if [[ $4 == "-" ]]; then
        verdict=-
    elif ! awk "BEGIN { exit !($4) }"; then
        verdict=FAIL
        failures=$((failures + 1))
    fi
    printf '%-46s %-18s %-14s %s\n' "$1" "$2" "$3" "$verdict"
}

echo
echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
printf '%-46s %-18s %-14s %s\n' measure value goal verdict
row "phase 1: devices confirmed" "$confirmed/$devices" "all" "$confirmed == $devices"
row "phase 1: burst duration (s)" "$(field seconds "$burst")" "<= $burst_seconds" "$(field seconds "$burst") <= $burst_seconds"
row "phase 1: exchange latency p50 / p99 (ms)" "$(field p50_ms "$burst") / $(field p99_ms "$burst")" "printed" "-"
row "phase 1: confirmed but not in the registry" "$missing" "0" "$missing == 0"
row "names in DNS / seconds after the burst" "$names / $dns_delay" "all, <= $dns_seconds" \
    "$names >= $confirmed && $dns_delay <= $dns_seconds"
row "phase 2: reports confirmed at $rate/s" "$(field confirmed "$steady")/$steady_devices" "all" \
    "$(field confirmed "$steady") == $steady_devices"
row "phase 2: latency p99 (ms)" "$(field p99_ms "$steady")" "printed" "-"
row "phase 2: server CPU per 1000 devices (% core)" "$cpu_per_thousand" "printed" "-"
if ((failures > 0)); then
    say "$failures goals missed; the end of the server's log:"
    tail -n 5 "$work/server.log" >&2
    exit 1
fi
