#!/bin/bash
# The built executables from their bytes: the 64-bit one of this build, and the
# shipped 32-bit one of build/win32 when that has been built.  Debian's Python
# has python3-pefile.
exec /usr/bin/python3 "$(dirname "$0")/check_exe.py" "${TARVELON_BUILD_DIR:?}/Tarvelon.exe" \
    "${TARVELON_WIN32_EXE:-${TARVELON_SOURCE_DIR:?}/build/win32/Tarvelon.exe}"
