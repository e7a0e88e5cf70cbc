#!/bin/bash
# tests/run-suite.sh native win64 win32-test: these presets' ctest suites in a private network and mount
# namespace, where the billing simulator may take 127.0.0.x:80/443 and a throwaway CA is trusted.
# Without root the tests that need it skip.  TARVELON_CTEST_ARGS: more ctest arguments, split on spaces.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${TARVELON_TEST_NETNS:-}" != 1 ] && [ "$(id -u)" = 0 ]; then
    exec unshare --net --mount --propagation private env TARVELON_TEST_NETNS=1 "$0" "$@"
fi

if [ "${TARVELON_TEST_NETNS:-}" = 1 ]; then
    ip link set lo up
    # The trust store is replaced in this mount namespace only.
    "$root/tools/billing_sim/make_certs.sh" "$root/build/testca" >/dev/null
    mount --bind "$root/build/testca/trusted-bundle.pem" /etc/ssl/certs/ca-certificates.crt
fi

# One X display for every test that shows a window.  Xvfb picks a free number and writes it once it is
# ready, so suites may run side by side.
if [ -z "${DISPLAY:-}" ]; then
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$number")
    rm -f "$number"
fi

# Here a test fails, rather than skips, when another preset's build that it uses cannot be brought up to date.
export TARVELON_SUITE=1
status=0
for preset in "$@"; do
    # The 32-bit suite needs a kernel that runs 32-bit code: where it cannot, say so and go on.
    if [ "$preset" = win32-test ] && ! why=$("$root/tools/wine/can_run_32bit.sh"); then
        echo "run-suite: the 32-bit Windows suite (win32-test) was not run: $why"
        continue
    fi
    ctest --preset "$preset" --test-dir "$root" ${TARVELON_CTEST_ARGS:-} || status=1
done
exit $status
