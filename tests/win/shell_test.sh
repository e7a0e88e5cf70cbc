#!/bin/bash
# The running program from outside, without the billing API.
set -u
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display"; exit 77; }
BUILD=${TARVELON_BUILD_DIR:?}
WORK=$(mktemp -d "$BUILD/shell_test.XXXXXX")
. "$(dirname "$0")/../../tools/wine/shell_lib.sh"
# The prefix's browser is the driver, which writes down what it was asked to open.
opened=$WORK/opened.txt
set_browser() {
    for scheme in http https; do
        "$WINE" reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "$1" /f >/dev/null 2>&1 || return 1
    done
}
dos() { echo "Z:${1//\//\\}"; }
trap '[ -z "${added:-}" ] || ip addr del $added dev lo; close_copies; set_browser "\"C:\\windows\\system32\\winebrowser.exe\" \"%1\""; rm -rf "$WORK"' EXIT
set_browser "\"$(dos "$BUILD/shell_driver.exe")\" opened \"$(dos "$opened")\" \"%1\"" || exit 1
opened_after() {  # opened_after COMMAND: the lines written once the command has added one (15 s)
    local before
    before=$(cat "$opened" 2>/dev/null | wc -l)
    driver command "$1"
    for _ in $(seq 150); do
        [ "$(cat "$opened" 2>/dev/null | wc -l)" -gt "$before" ] && break
        sleep 0.1
    done
    tr -d '\r' <"$opened" 2>/dev/null
}
url() { sed -n "s/^TARVELON_$1_URL:STRING=//p" "$BUILD/CMakeCache.txt"; }

start_copy first
check "first copy runs" yes "$(driver pid >/dev/null && echo yes)"
check "one icon" 1 "$(driver icons 1)"
check "title, busy mark, hidden" "busy=0 visible=0 title=Tarvelon v2.6" "$(driver state)"
tip=$(driver tip)
check "tooltip is the status text" "IP: " "${tip:0:4}"

# Only in the test namespace may loopback take a second address.
if [ "${TARVELON_TEST_NETNS:-}" = 1 ]; then
    ip addr add 198.51.100.7/32 dev lo && added=198.51.100.7/32
    driver callback 5000 0x200 >/dev/null
    check "tooltip rebuilt by a callback" "IP: 198.51.100.7" "$(driver tip | head -n 1)"
    ip addr del $added dev lo && added=
fi

check "command 101 opens text 10" "$(url STATS)" "$(opened_after 101)"
check "command 103 opens text 11" "$(url STATS)
$(url HOME)" "$(opened_after 103)"

# Callbacks for another icon id and commands outside 100-103 do nothing.
check "id 5001 double-click, right press" "0 0" "$(driver callback 5001 0x203) $(driver callback 5001 0x204)"
driver command 104
driver command 0x10000
sleep 1
check "nothing opened" "dialogs=0 menus=0 2" "$(driver popups) $(wc -l <"$opened")"
check "left press, release" "0 0" "$(driver callback 5000 0x201) $(driver callback 5000 0x202)"
sleep 1
check "nothing opened by a click" "dialogs=0 menus=0" "$(driver popups)"
check "still hidden, not busy" "busy=0 visible=0 title=Tarvelon v2.6" "$(driver state)"

# The shell loses its icons and announces a new taskbar.
tip=$(driver tip)
driver forget-icon
check "icon gone with the shell" 0 "$(driver icons 0)"
driver taskbar-created
check "icon back" 1 "$(driver icons 1)"
check "same tooltip" "$tip" "$(driver tip)"

exit_from_menu() {  # exit_from_menu COPY
    check "right press opens the menu" pending "$(driver callback 5000 0x204)"
    check "menu open" "dialogs=0 menus=1" "$(driver popups)"
    driver menu-click 4
    check "exit status of the $1 copy after Exit" 0 "$(exit_status "$1")"
    check "no icon after Exit" 0 "$(driver icons 0)"
}
# The first copy lives on until it is exited from its menu.
exit_from_menu first

# A new copy, then another: the earlier has gone before the later's window exists.
start_copy second
check "second copy runs" yes "$(driver pid >/dev/null && echo yes)"
second=$(driver hwnd)
start_copy third
check "never two main windows" 1 "$(driver watch "$second")"
check "second copy exit status" 0 "$(exit_status second)"
check "one icon after the third start" 1 "$(driver icons 1)"
exit_from_menu third

[ "$failures" = 0 ]
