# The check helpers of the shell tests, the demo and the soak run (sourced): each prints "ok   NAME" or
# "FAIL NAME: ..." through say, which a script may redefine, and counts failures; end with [ "$failures" = 0 ].
failures=0
say() { echo "$*"; }

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        say "ok   $1"
    else
        say "FAIL $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

contains() {  # contains NAME PART ACTUAL
    case $3 in
    *"$2"*) say "ok   $1" ;;
    *) say "FAIL $1: [$2] not in [$3]"; failures=$((failures + 1)) ;;
    esac
}
