#!/usr/bin/env python3
"""Checks a built Tarvelon.exe from its bytes: the resources are present and
exact, and it imports nothing but Windows' own system libraries.
    check_exe.py EXE SOURCE_DIR
The deployment texts (7, 10, 11) are compared with the CMakeCache.txt beside EXE.
Prints one line per check; exit status 1 when any fails."""

import os
import re
import struct
import sys

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 6, 14, 16, 24
RUSSIAN = 0x419
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "comctl32.dll",
    "advapi32.dll", "wininet.dll", "iphlpapi.dll", "ws2_32.dll", "icmp.dll", "msvcrt.dll",
}


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("RVA outside every section")

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        rva = self.directories[1][0]
        names = []
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if name == 0:
                return names
            names.append(self.cstring(name))
            rva += 20

    def resources(self):
        """{(type, id, language): bytes}"""
        base = self.directories[2][0]
        found = {}

        def walk(rva_of_dir, path):
            at = self.offset(base + rva_of_dir)
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                key = ident if not ident & 0x80000000 else ("name", ident & 0x7FFFFFFF)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + [key])
                else:
                    data_rva, size = struct.unpack_from("<II", self.data, self.offset(base + target))
                    start = self.offset(data_rva)
                    found[tuple(path + [key])] = self.data[start:start + size]

        walk(0, [])
        return found


def utf16_string(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def catalogue(source, cache):
    text = open(os.path.join(source, "res", "texts.inc.in"), encoding="utf-8").read()
    values = dict(re.findall(r"^(TARVELON_\w+_URL):STRING=(.*)$", cache, re.M))
    texts = {}
    for number, body in re.findall(r'^TEXT_ENTRY\((\d+), "(.*)"\)$', text, re.M):
        body = re.sub(r"@(\w+)@", lambda m: values[m.group(1)], body)
        texts[int(number)] = body.replace("\\n", "\n")
    return texts


def string_block(data):
    strings, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        strings.append(data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return strings


def menu_items(data, at):
    """The items of one menu level: (flags, id, text, sub-items); returns them and the end."""
    items = []
    while True:
        flags = struct.unpack_from("<H", data, at)[0]
        at += 2
        ident = None
        if not flags & 0x10:
            ident = struct.unpack_from("<H", data, at)[0]
            at += 2
        text, at = utf16_string(data, at)
        sub = None
        if flags & 0x10:
            sub, at = menu_items(data, at)
        items.append((flags & ~0x80, ident, text, sub))
        if flags & 0x80:
            return items, at


def ordinal_or_text(data, at):
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return utf16_string(data, at)


def dialog(data):
    """A plain DLGTEMPLATE: (style, rectangle, caption, font, controls in template
    order as (id, class atom, text, rectangle, style))."""
    style, _, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    at = 18
    _, at = ordinal_or_text(data, at)  # menu
    _, at = ordinal_or_text(data, at)  # class
    caption, at = utf16_string(data, at)
    font = None
    if style & 0x40:  # DS_SETFONT
        points = struct.unpack_from("<H", data, at)[0]
        name, at = utf16_string(data, at + 2)
        font = (points, name)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        control_style, _, left, top, width, height, ident = struct.unpack_from("<IIhhhhH", data, at)
        kind, at = ordinal_or_text(data, at + 18)
        text, at = ordinal_or_text(data, at)
        at += 2 + struct.unpack_from("<H", data, at)[0]
        controls.append((ident, kind, text, (left, top, width, height), control_style))
    return style, (x, y, cx, cy), caption, font, controls


def version_blocks(data, at=0):
    """(key, value, children) of a VS_VERSIONINFO node."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    key, cursor = utf16_string(data, at + 6)
    cursor = (cursor + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value = data[cursor:cursor + size]
    cursor = (cursor + size + 3) & ~3
    children = []
    while cursor < at + length:
        child = version_blocks(data, cursor)
        children.append(child[:3])
        cursor = (cursor + child[3] + 3) & ~3
    return key, value, children, length


def icon_images(path):
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, height, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append(((width, height, colours, planes, bits), data[offset:offset + size]))
    return images


def main():
    exe, source = sys.argv[1], sys.argv[2]
    cache = open(os.path.join(os.path.dirname(os.path.abspath(exe)), "CMakeCache.txt")).read()
    image = Image(open(exe, "rb").read())
    res = image.resources()
    failures = []

    def check(what, ok):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            failures.append(what)

    def one(kind, ident, language=None):
        keys = [k for k in res if k[0] == kind and k[1] == ident and (language is None or k[2] == language)]
        return res[keys[0]] if len(keys) == 1 else None

    bits = {0x14C: 32, 0x8664: 64}.get(image.machine)
    print("%s: %s-bit" % (exe, bits))
    dlls = sorted(name.lower() for name in image.imports())
    print("imports: " + " ".join(dlls))
    check("imports only system DLLs", set(dlls) <= SYSTEM_DLLS)

    texts = catalogue(source, cache)
    block = one(RT_STRING, 1, RUSSIAN)
    check("string table block 1 (texts 1-11), Russian", block is not None and
          string_block(block)[1:12] == [texts[n] for n in range(1, 12)])

    menu = one(RT_MENU, 100, RUSSIAN)
    expected_menu = [(0x10, None, "Menu", [
        (0, 102, "Баланс", None),
        (0, 0, "", None),
        (0x10, None, "Открыть", [(0, 101, "Статистика абонента", None), (0, 103, "Сайт программы", None)]),
        (0, 0, "", None),
        (0, 100, "Выход", None)])]
    check("menu 100, Russian, exactly", menu is not None and menu[:4] == b"\0\0\0\0" and
          menu_items(menu, 4)[0] == expected_menu)

    # Template order is the tab order; field 101 hides what is typed.
    child, group, tab_stop, border = 0x50000000, 0x20000, 0x10000, 0x800000
    edit = child | border | tab_stop | 0x80  # ES_AUTOHSCROLL
    label = child | group  # SS_LEFT
    expected_dialog = (0x80C808C0, (0, 0, 200, 115), "Просмотр баланса лицевого счёта", (8, "MS Sans Serif"), [
        (0xFFFF, 0x82, "Номер договора:", (10, 10, 70, 8), label),
        (100, 0x81, "", (10, 20, 170, 13), edit),
        (0xFFFF, 0x82, "Пароль:", (10, 40, 70, 8), label),
        (101, 0x81, "", (10, 50, 170, 13), edit | 0x20),  # ES_PASSWORD
        (102, 0x80, "Запомнить указанные данные", (10, 70, 120, 13), child | tab_stop | 3),  # BS_AUTOCHECKBOX
        (1, 0x80, "OK", (55, 90, 45, 15), child | tab_stop | 1),  # BS_DEFPUSHBUTTON
        (2, 0x80, "Отмена", (105, 90, 45, 15), child | tab_stop)])
    template = one(RT_DIALOG, 100, RUSSIAN)
    check("dialog 100, Russian, exactly: styles, positions, tab order",
          template is not None and dialog(template) == expected_dialog)

    group = one(RT_GROUP_ICON, 1)
    expected_icons = icon_images(os.path.join(source, "res", "tarvelon.ico"))
    icons_ok = group is not None and struct.unpack_from("<HHH", group, 0) == (0, 1, len(expected_icons))
    for i, (entry, picture) in enumerate(expected_icons if icons_ok else []):
        width, height, colours, _, planes, bitcount, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        icons_ok = icons_ok and (width, height, colours, planes, bitcount) == entry and one(RT_ICON, ident) == picture
    check("icon group 1: 16x16 and 32x32, 16 colours, the committed pictures",
          icons_ok and [e for e, _ in expected_icons] == [(16, 16, 16, 1, 4), (32, 32, 16, 1, 4)])

    record = one(RT_VERSION, 1)
    version_ok = record is not None
    if version_ok:
        key, fixed, children, _ = version_blocks(record)
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed)
        strings = {c[0]: c[2] for c in children}.get("StringFileInfo", [])
        table = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _ in strings[0][2]} if len(strings) == 1 else {}
        variables = {c[0]: c[2] for c in children}.get("VarFileInfo", [])
        version_ok = (key == "VS_VERSION_INFO" and signature == 0xFEEF04BD and
                      (file_ms, file_ls, product_ms, product_ls) == (0x20006, 0, 0x20006, 0) and
                      strings[0][0].upper() == "040904E4" and
                      table == {"FileDescription": "Tarvelon", "FileVersion": "2.6", "InternalName": "Tarvelon",
                                "OriginalFilename": "Tarvelon.exe", "ProductName": "Tarvelon",
                                "ProductVersion": "2.6"} and
                      [(k, v) for k, v, _ in variables] == [("Translation", struct.pack("<HH", 0x419, 1251))])
    check("version record 2.6 / 2.6.0.0, US English 1252 strings, Russian 1251 translation", version_ok)

    manifest = one(RT_MANIFEST, 1)
    expected_manifest = open(os.path.join(source, "res", "tarvelon.manifest"), "rb").read()
    check("manifest: common controls 6, asInvoker", manifest == expected_manifest and
          re.search(rb'name="Microsoft.Windows.Common-Controls"\s+version="6.0.0.0"', manifest) is not None and
          b'level="asInvoker"' in manifest)

    expected_keys = {RT_STRING, RT_MENU, RT_DIALOG, RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST}
    check("no other resources", {k[0] for k in res} == expected_keys)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
