#!/usr/bin/env python3
"""check_exe.py EXE [EXE32]: each built Tarvelon.exe (EXE32, the shipped one, when it
exists) imports only system DLLs and has the Russian texts, with the deployment
URLs of the CMakeCache.txt beside it, and menu."""

import os
import re
import struct
import sys

RT_MENU, RT_STRING, RUSSIAN = 4, 6, 0x419
SYSTEM_DLLS = {name + ".dll" for name in "kernel32 user32 gdi32 shell32 ole32 comctl32 advapi32 wininet iphlpapi "
               "ws2_32 icmp msvcrt".split()}


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
        self.imports_rva, self.resources_rva = struct.unpack_from("<8xI4xI", data, directories)
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
                         for i in range(sections)]

    def at(self, rva):
        for vsize, vaddr, rawsize, rawptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rawptr + rva - vaddr
        raise ValueError("RVA outside every section")

    def imports(self):
        names, rva = [], self.imports_rva
        while struct.unpack_from("<I", self.data, self.at(rva) + 12)[0] != 0:
            start = self.at(struct.unpack_from("<I", self.data, self.at(rva) + 12)[0])
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii").lower())
            rva += 20
        return names

    def resource(self, path, directory=0):
        """The data of the entry on path (type, id, language) of the resource tree."""
        at = self.at(self.resources_rva + directory)
        named, numbered = struct.unpack_from("<HH", self.data, at + 12)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            if ident == path[0] and len(path) > 1 and target & 0x80000000:
                return self.resource(path[1:], target & 0x7FFFFFFF)
            if ident == path[0] and len(path) == 1:
                data_rva, size = struct.unpack_from("<II", self.data, self.at(self.resources_rva + target))
                return self.data[self.at(data_rva):self.at(data_rva) + size]
        return None


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
    image = Image(open(exe, "rb").read())
    dlls = sorted(image.imports())
    texts = catalogue(source, cache)
    block = image.resource([RT_STRING, 1, RUSSIAN])
    menu = image.resource([RT_MENU, 100, RUSSIAN])
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
