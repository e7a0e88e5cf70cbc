#!/bin/bash
# tarvelon-tray (the release build) beside a bare GTK 3 program that opens a
# session-bus connection and no window (bench/bare_gtk.cpp, built here with the
# release flags), both on one virtual display and one private session bus inside a
# network namespace of their own (root):
#   memory     VmRSS 5 s after start, each program started 3 times
#   idle       CPU time and context switches (all threads, from /proc) over 60 s
#              with no traffic, both programs side by side
#   freshness  from an address added to the namespace's interface to the item's
#              NewToolTip signal, 6 times at scattered moments
# Writes Google Benchmark-shaped JSON for ratios.py.
#   bench/tray_bench.sh TARVELON_TRAY [--benchmark_out=FILE] [other --benchmark_* ignored]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tray=$1
out=/dev/stdout
for arg in "${@:2}"; do
    case $arg in --benchmark_out=*) out=${arg#*=} ;; esac
done
if [ "${TARVELON_BENCH_NETNS:-}" != 1 ]; then
    exec unshare --net env TARVELON_BENCH_NETNS=1 "$0" "$@"
fi
work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; rm -rf "$work"' EXIT
# Release flags of the linux preset.
g++ -O3 -DNDEBUG -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fPIE -pie -Wl,-z,relro,-z,now \
    "$root/bench/bare_gtk.cpp" -o "$work/bare_gtk" $(pkg-config --cflags --libs gtk+-3.0)

ip link set lo up
ip link add bench0 type veth peer name bench1
ip link set bench1 up
ip link set bench0 up
display=
for n in $(seq 110 129); do [ -e "/tmp/.X11-unix/X$n" ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display HOME=$work XDG_CONFIG_HOME=$work/.config XDG_RUNTIME_DIR=$work NO_AT_BRIDGE=1 LC_ALL=C.UTF-8
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile)
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 <<<"$bus")
pids+=($(tail -n1 <<<"$bus"))

rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

declare -A memory
for program in tray bare; do
    binary=$tray
    [ $program = tray ] || binary=$work/bare_gtk
    for _ in 1 2 3; do
        "$binary" 2>/dev/null &
        pid=$!
        sleep 5
        rss $pid >>"$work/$program.rss"
        kill $pid
        wait $pid 2>/dev/null || true
    done
    memory[$program]=$(median <"$work/$program.rss")
done

"$tray" 2>/dev/null &
tray_pid=$!
"$work/bare_gtk" &
bare_pid=$!
pids+=($tray_pid $bare_pid)
sleep 5
declare -A ticks0 switches0
for pid in $tray_pid $bare_pid; do ticks0[$pid]=$(cpu_ticks $pid); switches0[$pid]=$(switches $pid); done
sleep 60
declare -A idle_ms idle_switches
for pid in $tray_pid $bare_pid; do
    idle_ms[$pid]=$(( ($(cpu_ticks $pid) - ticks0[$pid]) * 1000 / $(getconf CLK_TCK) ))
    idle_switches[$pid]=$(( $(switches $pid) - switches0[$pid] ))
done

# The signal's time against the moment the address was added.
dbus-monitor --session "type='signal',interface='org.kde.StatusNotifierItem',member='NewToolTip'" >"$work/signals" &
pids+=($!)
sleep 1
for i in 1 2 3 4 5 6; do
    sleep "$((RANDOM % 2)).$((RANDOM % 10))$((RANDOM % 10))"
    seen=$(grep -c NewToolTip "$work/signals" || true)
    added=$(date +%s.%N)
    ip addr add 10.20.30.$i/24 dev bench0
    for _ in $(seq 50); do [ "$(grep -c NewToolTip "$work/signals")" -gt "$seen" ] && break; sleep 0.1; done
    signal=$(grep NewToolTip "$work/signals" | sed -n "$((seen + 1))s/.*time=\([0-9.]*\).*/\1/p")
    [ -z "$signal" ] || awk -v signal="$signal" -v added="$added" 'BEGIN {printf "%.3f\n", signal - added}' >>"$work/fresh"
    seen=$(grep -c NewToolTip "$work/signals")
    ip addr del 10.20.30.$i/24 dev bench0
    for _ in $(seq 50); do [ "$(grep -c NewToolTip "$work/signals")" -gt "$seen" ] && break; sleep 0.1; done
done
worst=$(sort -g "$work/fresh" | tail -n1)
middle=$(sort -g "$work/fresh" | median)
[ "$(wc -l <"$work/fresh")" = 6 ] || worst=""

row() { printf '{"name": "%s", "run_name": "%s", "run_type": "iteration", "real_time": %s, "time_unit": "s"}' "$1" "$1" "$2"; }
{
    echo '{"context": {"bench": "tray"}, "benchmarks": ['
    row tray/rss_kib "${memory[tray]}"; echo ,
    row bare/rss_kib "${memory[bare]}"; echo ,
    row tray/idle_cpu_ms "${idle_ms[$tray_pid]}"; echo ,
    row bare/idle_cpu_ms "${idle_ms[$bare_pid]}"; echo ,
    row tray/idle_switches "${idle_switches[$tray_pid]}"; echo ,
    row bare/idle_switches "${idle_switches[$bare_pid]}"
    [ -z "$worst" ] || { echo ,; row tray/freshness_worst_s "$worst"; echo ,; row tray/freshness_median_s "$middle"; }
    echo ']}'
} >"$out"
