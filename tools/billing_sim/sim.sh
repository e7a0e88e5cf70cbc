#!/bin/bash
# Starts the billing simulator in the background and waits until it listens, or
# stops it again.  State lives in RUNDIR: pid, requests.log (JSON lines, emptied
# on start), sim.out.
#   sim.sh start RUNDIR [billing_sim.py options...]   exit 0 once ready, 1 otherwise
#   sim.sh stop RUNDIR
# --log and --ready are supplied; --certs defaults to $TARVELON_CERTS, else
# build/testca of the source tree (made with make_certs.sh if missing).
# The simulator ends with its owner, so that a test killed part-way (a ctest time-out)
# leaves no simulator holding the addresses of the tests after it: the owner is
# process TARVELON_SIM_OWNER, else the caller of sim.sh start.
# Example: sim.sh start /tmp/run --address 127.0.0.5 --account 1234567:abc
set -u
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?usage: sim.sh start|stop RUNDIR [options]}
run=${2:?usage: sim.sh start|stop RUNDIR [options]}
shift 2

# Alive and not merely a zombie waiting for its parent to reap it.
running() {
    local state
    kill -0 "$1" 2>/dev/null || return 1
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)
    [ "$state" != Z ]
}

case $action in
start)
    mkdir -p "$run"
    certs=${TARVELON_CERTS:-$here/../../build/testca}
    case " $* " in
    *" --certs "*) ;;
    *) "$here/make_certs.sh" "$certs" >/dev/null || exit 1
       set -- --certs "$certs" "$@" ;;
    esac
    rm -f "$run/ready"
    : >"$run/requests.log"
    python3 "$here/billing_sim.py" --log "$run/requests.log" --ready "$run/ready" \
        --owner "${TARVELON_SIM_OWNER:-$PPID}" "$@" \
        </dev/null >"$run/sim.out" 2>&1 &
    echo $! >"$run/pid"
    for _ in $(seq 100); do
        [ -e "$run/ready" ] && exit 0
        running "$(cat "$run/pid")" || break
        sleep 0.1
    done
    echo "billing simulator did not start:" >&2
    cat "$run/sim.out" >&2
    kill "$(cat "$run/pid")" 2>/dev/null
    exit 1
    ;;
stop)
    [ -f "$run/pid" ] || exit 0
    pid=$(cat "$run/pid")
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 100); do
        running "$pid" || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null
    rm -f "$run/pid" "$run/ready"
    exit 0
    ;;
*)
    echo "usage: sim.sh start|stop RUNDIR [options]" >&2
    exit 2
    ;;
esac
