#!/bin/bash
# The running program from outside: the tray, its commands and the Balance command against the billing simulator.
set -u
[ "${TARVELON_TEST_NETNS:-}" = 1 ] || { echo "skipped: needs the test namespace (tests/run-suite.sh)"; exit 77; }
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display"; exit 77; }
BUILD=${TARVELON_BUILD_DIR:?}
WORK=$(mktemp -d "$BUILD/shell_test.XXXXXX")
. "$(dirname "$0")/../../tools/wine/shell_lib.sh"
SIM=${TARVELON_SOURCE_DIR:?}/tools/billing_sim/sim.sh
# The prefix's browser is the driver, which writes down what it was asked to open.
opened=$WORK/opened.txt
set_browser() {
    for scheme in http https; do
        "$WINE" reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "$1" /f >/dev/null 2>&1 || return 1
    done
}
dos() { echo "Z:${1//\//\\}"; }
trap '[ -z "${added:-}" ] || ip addr del $added dev lo; close_copies; "$SIM" stop "$WORK/sim"
      set_browser "\"C:\\windows\\system32\\winebrowser.exe\" \"%1\""; rm -rf "$WORK"' EXIT
set_browser "\"$(dos "$BUILD/shell_driver.exe")\" opened \"$(dos "$opened")\" \"%1\"" || exit 1
opened_after() {  # opened_after COMMAND: the lines written once the command has added one (15 s)
    local before=$(cat "$opened" 2>/dev/null | wc -l)
    driver command "$1"
    for _ in $(seq 150); do
        [ "$(cat "$opened" 2>/dev/null | wc -l)" -gt "$before" ] && break
        sleep 0.1
    done
    tr -d '\r' <"$opened" 2>/dev/null
}
url() { sed -n "s/^TARVELON_$1_URL:STRING=//p" "$BUILD/CMakeCache.txt"; }

contract=1234567
password=qwerty12345
pass_hash='ThekSOBDIGgBuV3jF%2BB8g5dwyLg%3D'  # printf %s qwerty12345 | openssl dgst -sha1 -binary | base64, encoded
"$SIM" start "$WORK/sim" --address 127.0.0.1 --account "$contract:$pass_hash" \
    --balance 1234.56 --balance-info 31 || exit 1
box_text="Tarvelon v2.6
Баланс (рублей): 1234.56
Дней абонентской платы (примерно): 31"

start_copy first
check "one icon" 1 "$(driver icons 1)"
ip addr add 198.51.100.7/32 dev lo && added=198.51.100.7/32
driver callback 5000 0x200 >/dev/null
check "tooltip rebuilt by a callback" "IP: 198.51.100.7" "$(driver tip | head -n 1)"
ip addr del $added dev lo && added=

check "command 101 opens text 10" "$(url STATS)" "$(opened_after 101)"
check "command 103 opens text 11" "$(url STATS)
$(url HOME)" "$(opened_after 103)"

# A single click does nothing.
check "left press, release" "0 0" "$(driver callback 5000 0x201) $(driver callback 5000 0x202)"
sleep 1
check "nothing opened" "dialogs=0 menus=0 2" "$(driver popups) $(wc -l <"$opened")"

# The shell loses its icons and announces a new taskbar.
driver forget-icon
check "icon gone with the shell" 0 "$(driver icons 0)"
driver taskbar-created
check "icon back" 1 "$(driver icons 1)"

check "double-click answer" 0 "$(driver callback 5000 0x203)"
sleep 2
check "busy while the dialog is open" "busy=1 visible=0 title=Tarvelon v2.6" "$(driver state)"

driver login $contract $password ok
check "balance box" "$box_text" "$(driver box ok)"

# Exit while the balance box of the stored pair is open.
driver command 102
driver box >/dev/null
driver command 100
check "exit status, Exit during the command" 0 "$(exit_status first)"

# A new copy replaces the running one.
start_copy second
driver icons 1 >/dev/null
start_copy third
check "exit status, replaced by a new copy" 0 "$(exit_status second)"
check "one icon, the new copy's" 1 "$(driver icons 1)"

# The new copy lives on until it is exited from its menu.
check "right press opens the menu" pending "$(driver callback 5000 0x204)"
check "menu open" "dialogs=0 menus=1" "$(driver popups)"
driver menu-click 4
check "exit status after Exit" 0 "$(exit_status third)"
check "no icon after Exit" 0 "$(driver icons 0)"

[ "$failures" = 0 ]
