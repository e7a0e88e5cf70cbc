# The end-to-end scripts run as root inside tests/run-suite.sh's namespace, else
# skip.  Each check prints ok or FAIL; the script ends with [ $failures = 0 ].
if [ "${TARVELON_TEST_NETNS:-}" != 1 ] || [ "$(id -u)" != 0 ]; then
    echo "skipped: needs root inside tests/run-suite.sh's namespace (TARVELON_TEST_NETNS=1)"
    exit 77
fi
failures=0
expect() {  # name expected actual
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
contains() {  # name needle haystack
    case $3 in *"$2"*) echo "ok   $1" ;; *) echo "FAIL $1: [$2] not in [$3]"; failures=$((failures + 1)) ;; esac
}
