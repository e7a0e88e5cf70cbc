#!/bin/bash
# The built executables from their bytes: this build's 64-bit one, and build/win32's shipped one when built.
# Debian's Python has python3-pefile.
exec /usr/bin/python3 "$(dirname "$0")/check_exe.py" "${TARVELON_BUILD_DIR:?}/Tarvelon.exe" \
    "${TARVELON_WIN32_EXE:-${TARVELON_SOURCE_DIR:?}/build/win32/Tarvelon.exe}"
