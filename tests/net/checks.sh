# The end-to-end scripts' checks: each prints ok or FAIL; the script ends with [ $failures = 0 ].
failures=0
expect() {  # name expected actual
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
contains() {  # name needle haystack
    case $3 in *"$2"*) echo "ok   $1" ;; *) echo "FAIL $1: [$2] not in [$3]"; failures=$((failures + 1)) ;; esac
}
