#!/usr/bin/python3
"""Checks the built 32-bit program itself: what only the file can tell.

    check_exe.py Tollivane.exe ICON_FOLDER

Machine, subsystem, size, imported DLLs, and every resource with its id,
language and content, the manifest among them. Exits 1 and lists each difference when any is found.
"""
import struct
import sys

import pefile

US_ENGLISH = 0x0409
SIZE_LIMIT = 32 * 1024
LOADED_AT_START = {"kernel32.dll", "user32.dll", "shlwapi.dll"}
# The dialog library is loaded only when the dialog is shown.
DELAY_LOADED = {"comdlg32.dll": ["CommDlgExtendedError", "GetSaveFileNameA"]}

problems = []


def expect(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, wanted {wanted!r}")


def utf16z(data, at):
    """A zero-terminated UTF-16 string at `at`; returns it and the offset after it."""
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def sz_or_ord(data, at):
    """A dialog template's name field: nothing, an ordinal or a string."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return utf16z(data, at)


def align4(at):
    return (at + 3) & ~3


def resources(pe):
    """{(type, id): (language, bytes)} for every resource."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in kind.directory.entries:
            for lang in entry.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                key = (kind.id, entry.id if entry.id is not None else str(entry.name))
                if key in found:
                    problems.append(f"resource {key} exists in more than one language")
                found[key] = (lang.id, pe.get_data(rva, size))
    return found


def take(res, kind, ident):
    if (kind, ident) not in res:
        problems.append(f"resource type {kind} id {ident} is missing")
        return b""
    lang, data = res.pop((kind, ident))
    expect(f"language of resource type {kind} id {ident}", lang, US_ENGLISH)
    return data


def string_table_entries(data, block):
    strings = {}
    at = 0
    for index in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        at += 2
        if length:
            strings[(block - 1) * 16 + index] = data[at:at + 2 * length].decode("utf-16-le")
        at += 2 * length
    return strings


def check_strings(res):
    strings = {}
    for kind, ident in [key for key in res if key[0] == pefile.RESOURCE_TYPE["RT_STRING"]]:
        strings.update(string_table_entries(take(res, kind, ident), ident))
    expect("string table", strings, {103: "Tollivane", 106: "Hello World!", 109: "TOLLIVANE"})


def menu_items(data, at):
    """A normal MENU template's items as nested (flags, text, id or children) lists."""
    items = []
    while True:
        flags = struct.unpack_from("<H", data, at)[0]
        at += 2
        if flags & 0x10:  # MF_POPUP
            text, at = utf16z(data, at)
            children, at = menu_items(data, at)
            items.append((text, children))
        else:
            command = struct.unpack_from("<H", data, at)[0]
            text, at = utf16z(data, at + 2)
            items.append((text, command))
        if flags & 0x80:  # MF_END
            return items, at


def check_menu(res):
    data = take(res, pefile.RESOURCE_TYPE["RT_MENU"], 109)
    if not data:
        return
    expect("menu header", struct.unpack_from("<HH", data, 0), (0, 0))
    items, _ = menu_items(data, 4)
    expect("menu 109", items, [("&File", [("E&xit", 105)]), ("&Help", [("&About ...", 104)])])


def check_accelerators(res):
    data = take(res, pefile.RESOURCE_TYPE["RT_ACCELERATOR"], 109)
    entries = [struct.unpack_from("<HHHH", data, at) for at in range(0, len(data), 8)]
    alt, last = 0x10, 0x80  # FALT; the end-of-table mark. No FVIRTKEY: character keys.
    expect("accelerators 109", [(flags & ~last, key, command) for flags, key, command, _ in entries],
           [(alt, ord("?"), 104), (alt, ord("/"), 104)])
    if entries:
        expect("accelerator table end mark", entries[-1][0] & last, last)


def check_dialog(res):
    data = take(res, pefile.RESOURCE_TYPE["RT_DIALOG"], 103)
    if not data:
        return
    style, ex_style, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    ds_setfont, ds_modalframe = 0x40, 0x80
    ws_popup, ws_caption, ws_sysmenu = 0x80000000, 0x00C00000, 0x00080000
    wanted_style = ds_setfont | ds_modalframe | ws_popup | ws_caption | ws_sysmenu
    expect("About box style", hex(style), hex(wanted_style))
    expect("About box extended style", ex_style, 0)
    expect("About box position and size", (x, y, cx, cy), (22, 17, 230, 75))
    at = 18
    menu, at = sz_or_ord(data, at)
    window_class, at = sz_or_ord(data, at)
    caption, at = utf16z(data, at)
    point_size = struct.unpack_from("<H", data, at)[0]
    font, at = utf16z(data, at + 2)
    expect("About box menu and class", (menu, window_class), (None, None))
    expect("About box caption", caption, "About")
    expect("About box font", (font, point_size), ("System", 8))

    ws_child, ws_visible, ws_group, ws_tabstop = 0x40000000, 0x10000000, 0x00020000, 0x00010000
    ss_icon, ss_left, ss_noprefix, bs_defpushbutton = 0x3, 0x0, 0x80, 0x1
    controls = []
    for _ in range(count):
        at = align4(at)
        c_style, c_ex, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIhhhhH", data, at)
        at += 18
        c_class, at = sz_or_ord(data, at)
        c_text, at = sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        controls.append((c_class, c_text, (c_x, c_y, c_cx, c_cy), c_id if c_id != 0xFFFF else -1,
                         hex(c_style & ~(ws_child | ws_visible))))
    button, static = 0x80, 0x82
    expect("About box controls", controls, [
        (static, 107, (14, 9, 16, 16), 2, hex(ss_icon)),
        (static, "Tollivane Version 1.0", (49, 10, 119, 8), -1, hex(ss_left | ss_noprefix | ws_group)),
        (static, controls[2][1] if len(controls) > 2 else None, (49, 20, 119, 8), -1, hex(ss_left | ws_group)),
        (button, "OK", (195, 6, 30, 11), 1, hex(bs_defpushbutton | ws_tabstop | ws_group)),
    ])
    if len(controls) > 2 and not controls[2][1]:
        problems.append("About box notice line is empty")


def ico_images(path):
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for index in range(count):
        width, height, colours, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * index)
        images.append(((width, height, colours, bits), data[offset:offset + size]))
    return images


def check_icons(res, icon_folder):
    icon_kind, group_kind = pefile.RESOURCE_TYPE["RT_ICON"], pefile.RESOURCE_TYPE["RT_GROUP_ICON"]
    for ident, file_name, sizes in ((107, "tollivane.ico", [32, 16]), (108, "tollivane-small.ico", [16])):
        group = take(res, group_kind, ident)
        if not group:
            continue
        count = struct.unpack_from("<H", group, 4)[0]
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
        expect(f"icon {ident} images (size, colours, bits)", [(w, h, c, b) for w, h, c, _, _, b, _, _ in entries],
               [(s, s, 16, 4) for s in sizes])
        drawn = ico_images(f"{icon_folder}/{file_name}")
        for entry, (_, image) in zip(entries, drawn):
            expect(f"icon {ident}: image {entry[7]} is the one drawn in {file_name}",
                   take(res, icon_kind, entry[7]) == image, True)


def check_manifest(res):
    data = take(res, pefile.RESOURCE_TYPE["RT_MANIFEST"], 1)
    if b'requestedExecutionLevel level="asInvoker"' not in data:
        problems.append("manifest does not ask for asInvoker (file virtualization would stay on)")


def check_version(pe, res):
    take(res, pefile.RESOURCE_TYPE["RT_VERSION"], 1)
    fixed = pe.VS_FIXEDFILEINFO[0]
    vs_ff_privatebuild, vs_ff_specialbuild, vos_windows32, vft_app = 0x8, 0x20, 0x4, 0x1
    expect("file version", (fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
    expect("product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))
    expect("version flags", fixed.FileFlags & fixed.FileFlagsMask, vs_ff_privatebuild | vs_ff_specialbuild)
    expect("version os and type", (fixed.FileOS, fixed.FileType), (vos_windows32, vft_app))
    tables = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            tables = {table.LangID: table.entries for table in info.StringTable}
    expect("version string blocks", list(tables), [b"040904b0"])
    strings = tables.get(b"040904b0", {})
    expect("version text", (strings.get(b"FileVersion"), strings.get(b"ProductVersion")),
           (b"1, 0, 0, 0", b"1, 0, 0, 0"))
    for key in (b"PrivateBuild", b"SpecialBuild"):
        if not strings.get(key):
            problems.append(f"version block has no {key.decode()} text")


def main():
    exe_path, icon_folder = sys.argv[1], sys.argv[2]
    pe = pefile.PE(exe_path)
    expect("machine", hex(pe.FILE_HEADER.Machine), hex(pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]))
    expect("optional header", hex(pe.OPTIONAL_HEADER.Magic), hex(pefile.OPTIONAL_HEADER_MAGIC_PE))
    expect("subsystem", pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])
    size = len(pe.__data__)
    if size >= SIZE_LIMIT:
        problems.append(f"size: {size} bytes, wanted under {SIZE_LIMIT}")
    imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    expect("imported DLLs", sorted(imports), sorted(LOADED_AT_START))
    delayed = {entry.dll.decode().lower(): sorted(i.name.decode() for i in entry.imports)
               for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])}
    expect("delay-loaded DLLs", delayed, DELAY_LOADED)

    res = resources(pe)
    check_strings(res)
    check_menu(res)
    check_accelerators(res)
    check_dialog(res)
    check_icons(res, icon_folder)
    check_version(pe, res)
    check_manifest(res)
    if res:
        problems.append(f"unexpected resources: {sorted(res)}")

    for problem in problems:
        print(problem)
    print(f"{exe_path}: {size} bytes, {'FAILED' if problems else 'as expected'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
