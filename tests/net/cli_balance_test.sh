#!/bin/bash
# tarvelon balance end to end against the billing simulator; the user answers on a pseudo-terminal.
#   cli_balance_test.sh [tarvelon binary, default the build tree's]
set -u
src=$TARVELON_SOURCE_DIR
tool=${1:-$TARVELON_BUILD_DIR/tarvelon}
[ "${TARVELON_TEST_NETNS:-}" = 1 ] && [ "$(id -u)" = 0 ] ||
    { echo "skipped: needs root inside tests/run-suite.sh's namespace (TARVELON_TEST_NETNS=1)"; exit 77; }
# The mounts made below vanish with this namespace.
[ "${TARVELON_MOUNT_NS:-}" = 1 ] || exec unshare --mount --propagation private env TARVELON_MOUNT_NS=1 "$0" "$@"
# The release build (another preset's) and its message catalogue are brought up to date: in the suite
# they must build, elsewhere a build tree not made yet only skips.
release=$(dirname "$tool")
if [ $# -gt 0 ] && { [ "${TARVELON_SUITE:-}" = 1 ] || [ -e "$release/CMakeCache.txt" ]; }; then
    cmake --build "$release" --target tarvelon tarvelon_data || { echo "FAIL: $release does not build"; exit 1; }
fi
[ -x "$tool" ] || { echo "skipped: $tool not built"; exit 77; }
. "$src/tests/support/checks.sh"
export LC_ALL=ru_RU.UTF-8
sim=$src/tools/billing_sim/sim.sh
work=$(mktemp -d)
trap '"$sim" stop "$work/sim"; rm -rf "$work"' EXIT
field() { python3 -c 'import json,sys; v=json.load(sys.stdin)[sys.argv[1]]; print(v if not isinstance(v, list) else " ".join(map(str, v)))' "$1"; }
# pty_run.py's answers in the locale's words: number, password[, number, password...]; ^D ends the input.
answers() {
    python3 -c 'import json, os, sys
labels = ["Contract number: ", "Password: "] if os.environ["LC_ALL"] == "C" else ["Номер договора: ", "Пароль: "]
print(json.dumps([[labels[i % 2], None if a == "^D" else a, i % 2 == 1] for i, a in enumerate(sys.argv[1:])]))' "$@"
}
prompted() {  # answers [options...]
    python3 "$src/tools/pty_run.py" "$1" -- "$tool" balance "${@:2}"
}
unattended() {  # settings -> prints the exit status; stdout and stderr in $work/out and $work/err
    setsid "$tool" balance --settings "$1" </dev/null >"$work/out" 2>"$work/err"
    echo "$?"
}

number=1234567
password='Пароль-42'  # typed as UTF-8, hashed as Windows-1251
# The pass-hash as the Windows program makes it: SHA-1 of the Windows-1251 bytes.
hash=$(printf %s "$password" | iconv -f UTF-8 -t CP1251 | openssl dgst -sha1 -binary | base64 |
    sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')
"$sim" start "$work/sim" --address 127.0.0.1 --account "$number:$hash" --account "12345678901234:$hash" || exit 1

# The default settings path, made private; the simulator knows only the Windows-1251 pass-hash.
home=$work/home
settings=$home/.config/tarvelon/Tarvelon.ini
run=$(HOME=$home XDG_CONFIG_HOME= prompted "$(answers "  $number " "$password")" --remember)
check "prompted run succeeds" 0 "$(field status <<<"$run")"
contains "balance shown" "Баланс (рублей): 1234.56"$'\r\n'"Дней абонентской платы (примерно): 31" "$(field output <<<"$run")"
check "the pair stored" "$(printf '[General]\r\nusername=%s\r\npasshash=%s\r' $number "$hash")" "$(cat "$settings")"
check "settings directory and file private" "700 600" "$(stat -c %a "${settings%/*}" "$settings" | xargs)"

check "stored pair used without a prompt" 0 "$(unattended "$settings")"
contains "balance printed" "1234.56" "$(cat "$work/out")"
check "--remember is for balance alone" 64 "$("$tool" status --remember >/dev/null 2>&1; echo $?)"

# A bad stored number; then an empty password, an empty number: each refused and asked again.
printf '[General]\nusername=12a4567\npasshash=%s\n' "$hash" >"$work/c.ini"
run=$(prompted "$(answers $number "" "" "$password" ^D)" --settings "$work/c.ini")
check "bad stored pair: prompt, then cancel" 4 "$(field status <<<"$run")"
contains "an empty field: text 2" "Неверный номер договора и/или пароль!" "$(field output <<<"$run")"
check "echo off for each password, only then" "False True False True False" "$(field echo_off <<<"$run")"

# Under C the typed bytes are read as UTF-8.  A password without a Windows-1251 form, or over 1023 bytes,
# would hash unlike the Windows edition's: refused with a word and asked again.
run=$(export LC_ALL=C; prompted "$(answers $number café $number "$(printf 'a%.0s' {1..1024})" \
    123456789012345678 "$password")" --settings "$work/g.ini")
check "refused passwords, then the cut number: accepted" 0 "$(field status <<<"$run")"
contains "no Windows-1251 form: said so" "Windows-1251 cannot represent" "$(field output <<<"$run")"
contains "over 1023 bytes: said so" "longer than 1023 bytes" "$(field output <<<"$run")"

# Without a Windows-1251 converter (gconv modules hidden) asking again would not help: status 5 at once.
gconv=$(find /usr/lib* -name CP1251.so -printf "%h\n")
for dir in $gconv; do mount -t tmpfs none "$dir"; done
run=$(prompted "$(answers $number "$password")" --settings "$work/f.ini")
for dir in $gconv; do umount "$dir"; done
check "no converter exit status" 5 "$(field status <<<"$run")"

check "no terminal exit status" 4 "$(unattended "$work/d.ini")"
contains "no terminal advice" "--remember" "$(cat "$work/err")"

# Where the pair cannot be stored the balance is still shown, and the user told why.  The places: a
# --settings directory that does not exist; a default one that cannot be made; a FIFO (nothing waits on
# it), a directory; UTF-16 text, whose NUL bytes a rewrite would lose; a sysfs file, which holds fewer
# bytes than its size says; a file that cannot be replaced (a mount point), which is then not rewritten
# in place either.
: >"$work/plain-file"
mkfifo "$work/fifo.ini"
mkdir "$work/dir.ini"
printf '\xFF\xFE[\0G\0]\0' >"$work/n.ini"
cp "$work/n.ini" "$work/n.orig"
: >"$work/m.ini"
mount --bind "$work/m.ini" "$work/m.ini"
while IFS='|' read -r place why; do
    run=$(export LC_ALL=C HOME=$work/plain-file XDG_CONFIG_HOME=
        prompted "$(answers $number "$password")" --remember ${place:+--settings "$place"})
    check "not storable [$place]: the balance's status" 0 "$(field status <<<"$run")"
    contains "not storable [$place]: said why" "$why" "$(field output <<<"$run")"
done <<PLACES
$work/missing/e.ini|the settings file cannot be written
|the settings file cannot be written
$work/fifo.ini|names a directory, a FIFO or a device
$work/dir.ini|names a directory, a FIFO or a device
$work/n.ini|holds NUL bytes
/sys/class/net/lo/type|the settings file cannot be written
$work/m.ini|the settings file cannot be written
PLACES
umount "$work/m.ini"
check "NUL bytes: left as it is" same "$(cmp -s "$work/n.ini" "$work/n.orig" && echo same)"
check "not replaceable: left as it was" "" "$(cat "$work/m.ini")"
check "not replaceable: its new text gone too" m.ini "$(cd "$work" && echo m.ini*)"

# A chain of symbolic links to a file yet to be made, beside temporaries of ours old enough that no live
# writer owns them (minutes:mode:name), which a write removes, and others.
mkdir -p "$work/s/sub"
ln -s sub/link "$work/s/Tarvelon.ini"
ln -s ../real.ini "$work/s/sub/link"
for stale in 2:600:new-Ab12Cd 0:600:new-Ef34Gh 2:644:new-Ij56Kl 2:600:backup; do
    IFS=: read -r age mode name <<<"$stale"
    echo "passhash=$hash" >"$work/s/real.ini.$name"
    chmod "$mode" "$work/s/real.ini.$name"
    touch -d "-$age minutes" "$work/s/real.ini.$name"
done
run=$(prompted "$(answers $number "$password")" --settings "$work/s/Tarvelon.ini" --remember)
check "written through the links, which stay" "passhash=$hash link" \
    "$(grep -o "passhash=$hash" "$work/s/real.ini") $([ -L "$work/s/Tarvelon.ini" ] && echo link)"
check "stale temporaries of ours gone, nothing else" \
    "real.ini real.ini.backup real.ini.new-Ef34Gh real.ini.new-Ij56Kl" "$(cd "$work/s" && echo real.ini*)"

# Nothing listens any more.
"$sim" stop "$work/sim"
check "refused 443 exit status" 3 "$(unattended "$settings")"
contains "refused 443 text" "Ошибка соединения с сервером!" "$(cat "$work/err")"

[ $failures = 0 ]
