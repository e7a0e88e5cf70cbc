#!/bin/bash
# Builds the bench preset, runs every benchmark (the fetch and status ones in
# network namespaces of their own, so root is needed) and prints one table of
# the ratios that matter.  Exit 1 when a bounded ratio is over its bound.
#   bench/run.sh [build dir, default build/bench]
# Raw results stay in BUILD/results/*.json.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
cd "$root"
if [ "$build" = "$root/build/bench" ]; then
    cmake --preset bench >/dev/null
else
    cmake --preset bench -B "$build" >/dev/null
fi
cmake --build "$build" -j2 >/dev/null
# The Balance command of the release build, with the test hosts over HTTPS and over HTTP.
cmake --preset linux-check >/dev/null
cmake --build --preset linux-check >/dev/null
cmake --preset linux-check -B "$build/balance-http" -DTARVELON_API_URL=http://127.0.0.1/user/v1/ >/dev/null
cmake --build "$build/balance-http" -j2 >/dev/null

results=$build/results
mkdir -p "$results"
rm -f "$results"/*.json
options=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
run() {  # name command...
    local name=$1
    shift
    echo "== $name" >&2
    timeout 900 "$@" "${options[@]}" --benchmark_out="$results/$name.json" \
        --benchmark_out_format=json >"$results/$name.txt" 2>&1 \
        || { echo "$name failed:" >&2; tail -n 20 "$results/$name.txt" >&2; }
}
run reply "$build/reply_bench"
run status bench/status_bench.sh "$build"
run fetch bench/fetch_bench.sh "$build"
run balance bench/balance_bench.py "$root/build/linux-check/tarvelon" "$build/balance-http/tarvelon"
run tray bench/tray_bench.sh "$root/build/linux-check/tarvelon-tray"

echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, $(uname -sr)"
exec python3 bench/ratios.py "$results"
