#!/bin/bash
# Whether this machine can run the 32-bit Windows programs: the kernel must
# execute 32-bit code (kernels built or booted without it cannot) and Debian's
# 32-bit Wine loader must start.  Silent with status 0 when both hold; otherwise
# the reason on one line, status 1.
set -u
loader=/usr/lib/wine/wine
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
# The smallest 32-bit program: exit(0) through the i386 system call gate.
printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' |
    as --32 -o "$probe/probe.o" - 2>/dev/null && ld -m elf_i386 -o "$probe/probe" "$probe/probe.o" 2>/dev/null ||
    { echo "no 32-bit probe could be built (binutils for i386 missing)"; exit 1; }
if ! out=$("$probe/probe" 2>&1); then
    echo "this kernel does not run 32-bit programs ($(echo "$out" | tail -n1 | sed 's/.*: //'))"
    exit 1
fi
[ -x "$loader" ] || { echo "the 32-bit Wine loader $loader is missing (apt-get install wine32:i386)"; exit 1; }
"$loader" --version >/dev/null 2>&1 || { echo "the 32-bit Wine loader $loader does not start"; exit 1; }
exit 0
