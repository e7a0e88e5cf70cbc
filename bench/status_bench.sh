#!/bin/bash
# Runs status_bench in a network namespace of its own (needs root), so that the
# addresses it sets never touch the machine's.
#   bench/status_bench.sh [build dir, default build/bench] [benchmark options]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
shift || true
exec unshare --net env TARVELON_BENCH_NETNS=1 \
    bash -c 'ip link set lo up && exec "$0" "$@"' "$build/status_bench" "$@"
