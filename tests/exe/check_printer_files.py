#!/usr/bin/python3
"""Checks the built port monitors, setup programs and IPP printer services as files.

    check_printer_files.py ARCH DLL SETUP SERVICE [ARCH DLL SETUP SERVICE ...]     (ARCH: x86 or x64)

Machine, kind, size of the monitor, its one export under its plain name
(the spooler looks it up so on i686 too), that both import nothing but
Windows system DLLs, that the setup loads nothing at its start but known
DLLs (which Windows maps from the system folder only: any other is looked
for beside the exe first) with the spooler's library a delayed import, and
that the setup's manifest asks to run elevated. Exits 1 and lists each
difference when any is found.
"""
import sys

import pefile

MACHINES = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "shlwapi.dll", "winspool.drv", "wtsapi32.dll", "userenv.dll",
               "msvcrt.dll", "shell32.dll", "user32.dll", "ws2_32.dll", "iphlpapi.dll"}
# Windows' known DLLs among the system's (Session Manager\KnownDLLs).
KNOWN_DLLS = {"kernel32.dll", "advapi32.dll", "shlwapi.dll", "msvcrt.dll", "shell32.dll", "user32.dll", "gdi32.dll",
              "ole32.dll", "comdlg32.dll", "ws2_32.dll", "setupapi.dll"}
MONITOR_SIZE_LIMIT = 32 * 1024
CONSOLE = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]

problems = []


def expect(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, wanted {wanted!r}")


def imports(pe):
    return {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def delay_imports(pe):
    return {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])}


def check_service(arch, path):
    """The service runs from Program Files as SYSTEM: a console program of the
    right machine that needs no DLL but the system's (zlib is linked in)."""
    service = pefile.PE(path)
    expect(f"{path} machine", service.FILE_HEADER.Machine, MACHINES[arch])
    expect(f"{path} subsystem", service.OPTIONAL_HEADER.Subsystem, CONSOLE)
    others = (imports(service) | delay_imports(service)) - SYSTEM_DLLS
    if others:
        problems.append(f"{path} imports DLLs that Windows does not ship: {sorted(others)}")


def check(arch, dll_path, setup_path, service_path):
    check_service(arch, service_path)
    dll = pefile.PE(dll_path)
    expect(f"{dll_path} machine", dll.FILE_HEADER.Machine, MACHINES[arch])
    expect(f"{dll_path} is a DLL", bool(dll.FILE_HEADER.Characteristics & 0x2000), True)
    size = len(open(dll_path, "rb").read())
    if size > MONITOR_SIZE_LIMIT:
        problems.append(f"{dll_path} is {size} bytes, over {MONITOR_SIZE_LIMIT}")
    exports = [symbol.name.decode() for symbol in dll.DIRECTORY_ENTRY_EXPORT.symbols]
    expect(f"{dll_path} exports", exports, ["InitializePrintMonitor2"])
    setup = pefile.PE(setup_path)
    for path, pe in ((dll_path, dll), (setup_path, setup)):
        others = (imports(pe) | delay_imports(pe)) - SYSTEM_DLLS
        if others:
            problems.append(f"{path} imports DLLs that Windows does not ship: {sorted(others)}")
    expect(f"{dll_path} delay imports", delay_imports(dll), set())
    unknown = imports(setup) - KNOWN_DLLS
    if unknown:
        problems.append(f"{setup_path} loads at its start DLLs that are not known DLLs: {sorted(unknown)}")
    expect(f"{setup_path} delay imports", delay_imports(setup), {"winspool.drv"})
    expect(f"{setup_path} machine", setup.FILE_HEADER.Machine, MACHINES[arch])
    expect(f"{setup_path} subsystem", setup.OPTIONAL_HEADER.Subsystem, CONSOLE)
    expect(f"{setup_path} manifest asks for requireAdministrator",
           b'requestedExecutionLevel level="requireAdministrator"' in manifest(setup), True)


def manifest(pe):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            entry = kind.directory.entries[0].directory.entries[0]
            return pe.get_data(entry.data.struct.OffsetToData, entry.data.struct.Size)
    return b""


arguments = sys.argv[1:]
for at in range(0, len(arguments), 4):
    check(*arguments[at:at + 4])
for problem in problems:
    print(problem)
print(f"port monitors, setups and services: {'FAILED' if problems else 'as expected'}")
sys.exit(1 if problems else 0)
