#!/bin/bash
# Runs fetch_bench against six billing simulators (1 KiB, 1 MiB and 16 MiB
# bodies, each with and without Content-Length) on 127.0.0.1-6, ports 80 and
# 443, inside a network and mount namespace of its own (needs root): the test
# CA is trusted there only, for http_get and curl alike.
#   bench/fetch_bench.sh [build dir, default build/bench] [benchmark options]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
shift || true

if [ "${TARVELON_BENCH_NETNS:-}" != 1 ]; then
    exec unshare --net --mount --propagation private env TARVELON_BENCH_NETNS=1 "$0" "$build" "$@"
fi

ip link set lo up
certs=$root/build/testca
"$root/tools/billing_sim/make_certs.sh" "$certs" >/dev/null
mount --bind "$certs/trusted-bundle.pem" /etc/ssl/certs/ca-certificates.crt

run=$(mktemp -d)
sources=()
stop_all() {
    for dir in "$run"/sim*; do
        [ -d "$dir" ] && "$root/tools/billing_sim/sim.sh" stop "$dir"
    done
    rm -rf "$run"
}
trap stop_all EXIT

n=0
for size in 1024 1048576 16777216; do
    for mode in length none; do
        n=$((n + 1))
        fault=none
        [ "$mode" = none ] && fault=no-length
        TARVELON_CERTS=$certs "$root/tools/billing_sim/sim.sh" start "$run/sim$n" \
            --address "127.0.0.$n" --body-size "$size" --fault "$fault"
        sources+=("127.0.0.$n:$size:$mode")
    done
done
"$build/fetch_bench" "$@" "${sources[@]}"
