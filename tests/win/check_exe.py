#!/usr/bin/python3
"""check_exe.py EXE [EXE32]: each built Tarvelon.exe (EXE32, the shipped one, when it exists) imports only
system DLLs and has the Russian texts and menu, with the deployment URLs of the CMakeCache.txt beside it."""

import os
import re
import struct
import sys

import pefile

RT_MENU, RT_STRING, RUSSIAN = 4, 6, 0x419
SYSTEM_DLLS = {name + ".dll" for name in "kernel32 user32 gdi32 shell32 ole32 comctl32 advapi32 wininet iphlpapi "
               "ws2_32 icmp msvcrt".split()}


def resource(pe, path):
    """The data of the entry on path (type, id, language) of the resource tree, or None."""
    entries = pe.DIRECTORY_ENTRY_RESOURCE.entries
    for ident in path:
        entry = next((e for e in entries if e.id == ident), None)
        if entry is None:
            return None
        entries = entry.directory.entries if hasattr(entry, "directory") else None
    return pe.get_data(entry.data.struct.OffsetToData, entry.data.struct.Size)


def catalogue(source, cache):
    text = open(os.path.join(source, "res", "texts.inc.in"), encoding="utf-8").read()
    values = dict(re.findall(r"^(TARVELON_\w+_URL):STRING=(.*)$", cache, re.M))
    return {int(number): re.sub(r"@(\w+)@", lambda m: values[m.group(1)], body).replace("\\n", "\n")
            for number, body in re.findall(r'^TEXT_ENTRY\((\d+), "(.*)"\)$', text, re.M)}


def string_block(data):
    strings, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        strings.append(data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return strings


def menu_items(data, at):
    """The items of one menu level: (id, text, sub-items); returns them and the end."""
    items = []
    while True:
        flags = struct.unpack_from("<H", data, at)[0]
        ident = None if flags & 0x10 else struct.unpack_from("<H", data, at + 2)[0]
        at += 2 if flags & 0x10 else 4
        text = data[at:].decode("utf-16-le", "replace").split("\0", 1)[0]
        at += 2 * len(text) + 2
        sub = None
        if flags & 0x10:
            sub, at = menu_items(data, at)
        items.append((ident, text, sub))
        if flags & 0x80:
            return items, at


def check_exe(exe, source):
    """Prints one line per check; returns how many failed."""
    cache = open(os.path.join(os.path.dirname(os.path.abspath(exe)), "CMakeCache.txt")).read()
    pe = pefile.PE(exe)
    dlls = sorted(module.dll.decode("ascii").lower() for module in pe.DIRECTORY_ENTRY_IMPORT)
    texts = catalogue(source, cache)
    block = resource(pe, [RT_STRING, 1, RUSSIAN])
    menu = resource(pe, [RT_MENU, 100, RUSSIAN])
    expected_menu = [(None, "Menu", [
        (102, "Баланс", None), (0, "", None),
        (None, "Открыть", [(101, "Статистика абонента", None), (103, "Сайт программы", None)]),
        (0, "", None), (100, "Выход", None)])]
    checks = [
        ("%s imports only system DLLs: %s" % (exe, " ".join(dlls)), set(dlls) <= SYSTEM_DLLS),
        ("string table block 1 (texts 1-11), Russian",
         block is not None and string_block(block)[1:12] == [texts[n] for n in range(1, 12)]),
        ("menu 100, Russian, exactly", menu is not None and menu_items(menu, 4)[0] == expected_menu)]
    for what, ok in checks:
        print(("ok   " if ok else "FAIL ") + what)
    return sum(not ok for _, ok in checks)


if __name__ == "__main__":
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    optional = sys.argv[2:3]
    if optional and not os.path.exists(optional[0]):
        print("note: no 32-bit build at %s; build the win32 preset to check it too" % optional[0])
        optional = []
    sys.exit(1 if sum(check_exe(exe, source) for exe in sys.argv[1:2] + optional) else 0)
