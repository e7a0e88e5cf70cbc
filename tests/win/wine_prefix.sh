#!/bin/bash
# Brings the test prefix's Wine server up before the Windows tests and down after, every stream redirected.
set -u
action=$1
prefix=$2
wine=${3:-/usr/lib/wine/wine64}  # the loader of the build: 64- or 32-bit
export WINEPREFIX=$prefix WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver  # not on PATH in Debian's wine64
case $action in
up)
    mkdir -p "$prefix"
    # A server left by an earlier run may live in another network namespace, where our sockets would be made.
    "$wineserver" -k </dev/null >/dev/null 2>&1
    timeout 10 "$wineserver" -w </dev/null >/dev/null 2>&1
    "$wineserver" -p </dev/null >/dev/null 2>&1
    timeout 120 "$wine" wineboot -i </dev/null >"$prefix.boot.log" 2>&1
    # The prefix (never the host) trusts the billing simulator's test CA.
    root=$(cd "$(dirname "$0")/../.." && pwd)
    helper=$(dirname "$prefix")/trust_ca_driver.exe
    if [ -f "$helper" ] && "$root/tools/billing_sim/make_certs.sh" "$root/build/testca" >/dev/null 2>&1; then
        timeout 60 "$wine" "$helper" "Z:$root/build/testca/ca.pem" </dev/null >>"$prefix.boot.log" 2>&1 ||
            echo "wine_prefix: the test CA could not be added" >&2
    fi
    ;;
down)
    "$wineserver" -k </dev/null >/dev/null 2>&1
    ;;
esac
exit 0
