#!/bin/bash
# Brings the test prefix's Wine server up before the Windows tests and down after.
# Every stream is redirected: Wine's background services would otherwise hold
# ctest's output pipe and make each test wait for them.
set -u
action=$1
prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
case $action in
up)
    mkdir -p "$prefix"
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 120 /usr/lib/wine/wine64 wineboot -i </dev/null >"$prefix.boot.log" 2>&1
    ;;
down)
    wineserver -k </dev/null >/dev/null 2>&1
    ;;
esac
exit 0
