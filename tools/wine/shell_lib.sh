# Shared by the shell tests and the demo: starting Tarvelon.exe under Wine and
# asking shell_driver.exe about it.  Sourced; needs BUILD (a Windows build tree)
# and WORK (a scratch directory, also the program's working directory).
# TARVELON_WINE: the loader that runs BUILD's programs (32-bit: /usr/lib/wine/wine).
WINE=${TARVELON_WINE:-/usr/lib/wine/wine64}
. "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/checks.sh"

# One action of the driver; its answer without carriage returns.
driver() {
    timeout 60 "$WINE" "$BUILD/shell_driver.exe" "$@" </dev/null 2>>"$WORK/driver.err" | tr -d '\r'
}

# Starts a copy of the program in WORK; its exit status lands in WORK/NAME.exit.
start_copy() {
    rm -f "$WORK/$1.exit"
    (cd "$WORK" && timeout 600 "$WINE" "$BUILD/Tarvelon.exe" </dev/null >/dev/null 2>&1
     echo $? >"$WORK/$1.exit") &
}

# The exit status of copy NAME once it has ended (30 s), or "running".
exit_status() {
    for _ in $(seq 300); do
        [ -s "$WORK/$1.exit" ] && { cat "$WORK/$1.exit"; return; }
        sleep 0.1
    done
    echo running
}

# Closes every copy still running and waits for their subshells.
close_copies() {
    for _ in 1 2 3 4 5; do
        hwnd=$(driver hwnd 2>/dev/null) || break
        [ -n "$hwnd" ] || break
        driver close >/dev/null
        sleep 0.5
    done
    for job in $(jobs -p); do
        kill "$job" 2>/dev/null
    done
    wait 2>/dev/null
}
