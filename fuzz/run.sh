#!/bin/bash
# Builds the fuzz targets and runs each for a bounded time (default 20 s) on its
# committed seed corpus.  A crash leaves its input in build/fuzz/artifacts/ and
# fails the run; turn it into a unit test.
#   fuzz/run.sh [SECONDS]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
status=0
for seeds in fuzz/corpus/*/; do
    name=$(basename "$seeds")
    work=$(mktemp -d)
    echo "== ${name}_fuzz: ${seconds} s"
    if ! build/fuzz/"${name}_fuzz" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
            -artifact_prefix="$artifacts/${name}-" -print_final_stats=1 "$work" "$seeds" \
            >"build/fuzz/${name}.log" 2>&1; then
        tail -n 30 "build/fuzz/${name}.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units' "build/fuzz/${name}.log" || true
    fi
    rm -rf "$work"
done
exit $status
