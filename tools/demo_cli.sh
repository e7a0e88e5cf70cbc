#!/bin/bash
# The Linux edition end to end: `tarvelon balance` against the billing simulator
# with a demo account, inside a private network namespace where only the test CA
# is trusted.  The prompt is answered on a pseudo-terminal as a user would type.
#   sudo tools/demo_cli.sh      (root: apt, a network namespace)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/demo_lib.sh"
build=$root/build/native
contract=1234567
password='Пароль-2026'

if [ "${TARVELON_DEMO_NETNS:-}" != 1 ]; then
    [ "$(id -u)" = 0 ] || { echo "demo: run as root (apt, network namespace)" >&2; exit 1; }
    demo_install demo build-essential cmake ninja-build pkg-config googletest libcurl4-openssl-dev libssl-dev \
        libmnl-dev libcap-dev libgtk-3-dev python3 openssl iproute2 util-linux gettext locales
    demo_locale
    echo "demo: building $build/tarvelon"
    cmake --preset native >/dev/null
    cmake --build --preset native --target tarvelon tarvelon_data >/dev/null
    "$root/tools/billing_sim/make_certs.sh" "$root/build/testca" >/dev/null
    exec unshare --net --mount --propagation private env TARVELON_DEMO_NETNS=1 "$0" "$@"
fi

demo_trust_test_ca
work=$(mktemp -d)
sim=$root/tools/billing_sim/sim.sh
trap '"$sim" stop "$work/sim"; rm -rf "$work"' EXIT
# The simulator knows the account by its pass-hash: SHA-1 of the Windows-1251 bytes.
pass_hash=$(printf %s "$password" | iconv -f UTF-8 -t CP1251 | openssl dgst -sha1 -binary | base64 |
    sed 's/+/%2B/g; s#/#%2F#g; s/=/%3D/g')
"$sim" start "$work/sim" --address 127.0.0.1 --account "$contract:$pass_hash" \
    --balance 1234.56 --balance-info 31
export LC_ALL=ru_RU.UTF-8 HOME=$work/home XDG_CONFIG_HOME=
tarvelon=$build/tarvelon

echo "\$ tarvelon balance --remember      (typing $contract and the password)"
python3 "$root/tools/pty_run.py" \
    "[[\"Номер договора: \", \"$contract\", false], [\"Пароль: \", \"$password\", true]]" \
    -- "$tarvelon" balance --remember |
    python3 -c 'import json,sys; r=json.load(sys.stdin); print(r["output"].replace("\r", ""), end=""); sys.exit(r["status"])'
echo
echo "\$ tarvelon balance                 (the remembered pair, no prompt)"
"$tarvelon" balance
echo
echo "\$ ls -l ~/.config/tarvelon/Tarvelon.ini"
ls -l "$HOME/.config/tarvelon/Tarvelon.ini" | sed "s|$HOME|~|"
echo
echo "\$ tarvelon status --no-probe"
"$tarvelon" status --no-probe
