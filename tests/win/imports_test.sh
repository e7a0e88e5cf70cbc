#!/bin/bash
# The built executables import only system DLLs: this build's, and build/win32's shipped one when built.
set -u
system_dlls=" kernel32 user32 gdi32 shell32 ole32 comctl32 advapi32 wininet iphlpapi ws2_32 icmp msvcrt "
failures=0
for exe in "${TARVELON_BUILD_DIR:?}/Tarvelon.exe" "${TARVELON_WIN32_EXE:-${TARVELON_SOURCE_DIR:?}/build/win32/Tarvelon.exe}"; do
    [ -f "$exe" ] || { echo "note: no $exe; build the win32 preset to check it too"; continue; }
    dlls=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: \(.*\)\.dll$/\L\1/ip')
    for dll in $dlls; do
        [[ $system_dlls == *" $dll "* ]] || { echo "FAIL $exe imports $dll.dll"; failures=$((failures + 1)); }
    done
    [ -n "$dlls" ] || { echo "FAIL $exe: no imports read"; failures=$((failures + 1)); }
done
[ "$failures" = 0 ]
