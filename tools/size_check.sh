#!/bin/bash
# The shipped 32-bit Tarvelon.exe against a bare tray program (tools/bare_tray.cpp)
# built with the same toolchain and flags (-Os -static -s, no exceptions, no RTTI).
# Goal: at most 67 KiB, set as 1.5 times a bare program of 44.5 KiB; this
# toolchain builds the bare program smaller, so the ratio is printed beside it.
#   tools/size_check.sh [WIN32_BUILD_DIR]     (default build/win32; built here if needed)
# Prints both sizes, the ratio and the imports; exit status 1 over 67 KiB.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
[ -f "$build/CMakeCache.txt" ] || cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" --target Tarvelon >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
i686-w64-mingw32-g++-posix -Os -DNDEBUG -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables \
    -Wall -Wextra -mwindows -static -s "$root/tools/bare_tray.cpp" -o "$scratch/bare_tray.exe" -lshell32
cp "$build/Tarvelon.exe" "$scratch/Tarvelon.exe"
i686-w64-mingw32-strip "$scratch/Tarvelon.exe"

bare=$(stat -c %s "$scratch/bare_tray.exe")
program=$(stat -c %s "$scratch/Tarvelon.exe")
printf 'bare tray program  %7d bytes (%.1f KiB)\n' "$bare" "$(echo "$bare / 1024" | bc -l)"
printf 'Tarvelon.exe       %7d bytes (%.1f KiB), stripped\n' "$program" "$(echo "$program / 1024" | bc -l)"
ratio=$(echo "scale=3; $program / $bare" | bc)
echo "ratio              $ratio"
echo "imports: $(i686-w64-mingw32-objdump -p "$scratch/Tarvelon.exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
limit=$((67 * 1024))
if [ "$program" -le "$limit" ]; then
    echo "goal met: at most 67 KiB"
else
    echo "goal missed: over 67 KiB"
    exit 1
fi
