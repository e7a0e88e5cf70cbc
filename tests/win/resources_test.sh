#!/bin/bash
# The built executables from their bytes: resources present and exact, only
# system DLLs imported.  The 64-bit one of this build, and the shipped 32-bit
# one of build/win32 when that has been built.
set -u
BUILD=${TARVELON_BUILD_DIR:?}
SOURCE=${TARVELON_SOURCE_DIR:?}
status=0
python3 "$SOURCE/tools/check_exe.py" "$BUILD/Tarvelon.exe" "$SOURCE" || status=1
win32=${TARVELON_WIN32_EXE:-$SOURCE/build/win32/Tarvelon.exe}
if [ -f "$win32" ]; then
    python3 "$SOURCE/tools/check_exe.py" "$win32" "$SOURCE" || status=1
else
    echo "note: no 32-bit build at $win32; build the win32 preset to check it too"
fi
exit $status
