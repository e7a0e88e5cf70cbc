#!/bin/bash
# The built executables from their bytes (check_exe.py): the 64-bit one of this
# build, and the shipped 32-bit one of build/win32 when that has been built.
set -u
win32=${TARVELON_WIN32_EXE:-${TARVELON_SOURCE_DIR:?}/build/win32/Tarvelon.exe}
[ -f "$win32" ] || { echo "note: no 32-bit build at $win32; build the win32 preset to check it too"; win32=; }
status=0
for exe in "${TARVELON_BUILD_DIR:?}/Tarvelon.exe" $win32; do
    python3 "$(dirname "$0")/check_exe.py" "$exe" "$TARVELON_SOURCE_DIR" || status=1
done
exit $status
