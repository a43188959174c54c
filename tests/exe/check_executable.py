#!/usr/bin/env python3
"""Checks the built nuporaku.exe itself: PE header, hardening, reproducibility, imports, resources.

usage: check_executable.py path/to/nuporaku.exe x86|x64 VERSION   (VERSION as in 1.0.0.0)
       check_executable.py --imports-only x86|x64 PROGRAM...      (the test programs: imports only)
Prints every property that does not hold and exits with 1 if there is any.
"""
import functools
import os
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_MENU, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 14, 16, 24
JAPANESE = 0x411  # MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
C = pefile.DLL_CHARACTERISTICS

ARCH = {  # machine, optional header magic, Windows version, extra DllCharacteristics, size goal
    "x86": (0x14C, 0x10B, (5, 1), ["IMAGE_DLLCHARACTERISTICS_NO_SEH"], 14336),
    "x64": (0x8664, 0x20B, (5, 2), ["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"], 15360),
}
VOS_NT_WINDOWS32, VFT_APP = 0x40004, 1
COMMON_FLAGS = ["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT",
                "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"]

# The system's own DLLs and nothing else: no C runtime (msvcrt.dll, ucrtbase.dll,
# api-ms-win-crt-*), since the program starts itself. Registry functions all start with "Reg",
# but USER32's RegisterClassExW and friends are window-class business, hence the "ister" exclusion.
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll"}
FORBIDDEN_IMPORT = re.compile(
    r"^(Reg(?!ister)|CreateFile|OpenFile|ReplaceFile|DeleteFile|MoveFile|CopyFile|CreateDirectory"
    r"|RemoveDirectory|SetFileAttributes|CreateHardLink|CreateSymbolicLink|WritePrivateProfile"
    r"|WriteProfile|_lcreat|_lopen)")

# Whatever a program imports must be there on the oldest Windows it is for: xp-exports/ lists
# what each system DLL exports by name (its README says where from, and what it cannot promise).
# A DLL without a list is refused.
EXPORTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp-exports")
OLDEST = {"x86": ("Windows XP", "i386-only"), "x64": ("Windows XP x64 / Server 2003", "x86_64-only")}

MANIFEST_ELEMENTS = {"assembly", "trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"}
JAPANESE_RESOURCES = [(RT_DIALOG, 103), (RT_MENU, 109), (RT_GROUP_ICON, 107), (RT_GROUP_ICON, 130), (RT_VERSION, 1)]

TITLE = "ヌポラ for Windows"
VERSION_STRINGS = {  # the version resource's one string table, Japanese and Unicode
    "FileDescription": TITLE, "ProductName": TITLE, "LegalCopyright": "Copyright (C) 2026 The NUPORAKU developers",
    "OriginalFilename": "nuporaku.exe", "InternalName": "nuporaku",
}


def version_info(pe):
    """(fixed file and product versions as 4-tuples, (file flags, OS, file type),
    {string table: {key: value}}, [translations])."""
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return None, None, {}, []
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    versions = (split(fixed[0].FileVersionMS, fixed[0].FileVersionLS),
                split(fixed[0].ProductVersionMS, fixed[0].ProductVersionLS))
    tables, translations = {}, []
    for info in (entry for group in getattr(pe, "FileInfo", []) for entry in group):
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations += var.entry.values()
    kind = (fixed[0].FileFlags, fixed[0].FileOS, fixed[0].FileType)
    return versions, kind, tables, translations


def resources(pe):
    """{type: {name: {language: bytes}}}, plus every resource directory's time stamp."""
    tree, stamps = {}, []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return tree, stamps
    stamps.append(root.struct.TimeDateStamp)
    for kind in root.entries:
        stamps.append(kind.directory.struct.TimeDateStamp)
        names = tree.setdefault(kind.id if kind.id is not None else str(kind.name), {})
        for name in kind.directory.entries:
            stamps.append(name.directory.struct.TimeDateStamp)
            languages = names.setdefault(name.id if name.id is not None else str(name.name), {})
            for language in name.directory.entries:
                data = language.data.struct
                languages[language.id] = pe.get_data(data.OffsetToData, data.Size)
    return tree, stamps


def imports(pe):
    """[(dll name, function name or None, ordinal or None)], the delay-loaded ones included."""
    found = []
    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for dll in getattr(pe, attribute, []):
            for symbol in dll.imports:
                name = symbol.name.decode() if symbol.name else None
                found.append((dll.dll.decode(), name, symbol.ordinal if symbol.import_by_ordinal else None))
    return found


@functools.cache
def exports(dll, arch):
    """({names}, {ordinal: name}) that dll exports on the arch's oldest Windows, empty if unlisted."""
    def rows(list_name):  # the list's lines, split at tabs; none where there is no such list
        path = pathlib.Path(EXPORTS_DIR, list_name)
        return [line.split("\t") for line in path.read_text().splitlines()] if path.is_file() else []
    dll = dll.lower().removesuffix(".dll")
    names = {row[0] for row in rows(f"{dll}.txt") if row[1:] in ([], [OLDEST[arch][1]])}
    # Only ordinals of names in the list: COMCTL32's ordinals also number Vista's TaskDialog and others.
    return names, {int(ordinal): name for ordinal, name in rows(f"{dll}-ordinals.txt") if name in names}


def missing_imports(imported, arch):
    """The imports, as DLL!name or DLL!#ordinal, that the arch's oldest Windows lacks."""
    return [f"{dll}!{name or f'#{ordinal}'}" for dll, name, ordinal in imported
            if not (name in exports(dll, arch)[0] if name else ordinal in exports(dll, arch)[1])]


def manifest_problems(data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        return [f"not well-formed XML: {error}"]
    elements = [element.tag.rsplit("}", 1)[-1] for element in root.iter()]
    problems = [f"unexpected element <{tag}>" for tag in sorted(set(elements) - MANIFEST_ELEMENTS)]
    levels = [element for element in root.iter() if element.tag.endswith("requestedExecutionLevel")]
    if len(levels) != 1 or levels[0].attrib != {"level": "asInvoker", "uiAccess": "false"}:
        problems.append(f"requestedExecutionLevel is {[level.attrib for level in levels]}, "
                        "expected one with level=asInvoker uiAccess=false only")
    return problems


def main(path, arch, file_version):
    machine, magic, version, arch_flags, size_goal = ARCH[arch]
    pe = pefile.PE(path)
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    tree, resource_stamps = resources(pe)
    imported = imports(pe)
    missing = missing_imports(imported, arch)
    names = [name for _, name, _ in imported if name]
    comctl32 = [(name, ordinal) for dll, name, ordinal in imported if dll.lower() == "comctl32.dll"]
    debug = getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])
    section_names = [s.Name.rstrip(b"\0").decode() for s in pe.sections]
    versions, version_kind, version_tables, translations = version_info(pe)
    expected_version = tuple(map(int, file_version.split(".")))
    expected_strings = {**VERSION_STRINGS, "FileVersion": file_version, "ProductVersion": file_version}
    manifests = [(name, language) for name, languages in tree.get(RT_MANIFEST, {}).items() for language in languages]

    checks = [  # (property, holds, what was found)
        ("machine", fh.Machine == machine, hex(fh.Machine)),
        (f"size within {size_goal} bytes", os.path.getsize(path) <= size_goal, os.path.getsize(path)),
        ("PE32 / PE32+ optional header", oh.Magic == magic, hex(oh.Magic)),
        ("subsystem Windows GUI", oh.Subsystem == 2, oh.Subsystem),
        ("subsystem version", (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion) == version,
         (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)),
        ("OS version", (oh.MajorOperatingSystemVersion, oh.MinorOperatingSystemVersion) == version,
         (oh.MajorOperatingSystemVersion, oh.MinorOperatingSystemVersion)),
        *[(flag[len("IMAGE_DLLCHARACTERISTICS_"):], oh.DllCharacteristics & C[flag] != 0,
           hex(oh.DllCharacteristics)) for flag in COMMON_FLAGS + arch_flags],
        (".reloc section", ".reloc" in section_names, section_names),
        ("base relocations", sum(len(block.entries) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])) > 0,
         "no relocation entries"),
        ("file header time stamp 0", fh.TimeDateStamp == 0, hex(fh.TimeDateStamp)),
        ("no time-stamped debug directory", all(entry.struct.TimeDateStamp == 0 for entry in debug),
         [hex(entry.struct.TimeDateStamp) for entry in debug]),
        ("import descriptors not time-stamped",
         all(dll.struct.TimeDateStamp == 0 for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])), "bound imports"),
        ("resource directory time stamps 0", resource_stamps and not any(resource_stamps),
         sorted(set(map(hex, resource_stamps)))),
        (f"no imports {OLDEST[arch][0]} lacks", not missing, missing),
        ("only system DLLs imported", {dll.lower() for dll, _, _ in imported} <= ALLOWED_DLLS,
         sorted({dll for dll, _, _ in imported if dll.lower() not in ALLOWED_DLLS})),
        ("no TLS directory", not hasattr(pe, "DIRECTORY_ENTRY_TLS"), "thread-local storage or TLS callbacks"),
        # Start-up code would bring .CRT and .tls; zeroed statics belong in .bss, not in the file.
        ("no .data, .tls or .CRT section", not {".data", ".tls", ".CRT"} & set(section_names), section_names),
        ("exception directory (unwind tables) on x64 only",
         bool(getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", None)) == (arch == "x64"), ""),
        ("COMCTL32 imports ordinal 17 only, by ordinal", comctl32 == [(None, 17)], comctl32),
        ("InitCommonControls not imported by name", "InitCommonControls" not in names, ""),
        ("no file or registry function imported", not any(map(FORBIDDEN_IMPORT.match, names)),
         [name for name in names if FORBIDDEN_IMPORT.match(name)]),
        ("exactly one manifest, ID 1, one language", len(manifests) == 1 and manifests[0][0] == 1, manifests),
        *[(f"manifest: {problem}", False, "") for problem in (manifest_problems(
            tree[RT_MANIFEST][manifests[0][0]][manifests[0][1]]) if len(manifests) == 1 else [])],
        *[(f"resource type {kind} ID {name} in Japanese (1041) only",
           list(tree.get(kind, {}).get(name, {})) == [JAPANESE],
           [hex(language) for language in tree.get(kind, {}).get(name, {})] or "missing")
          for kind, name in JAPANESE_RESOURCES],
        ("file and product version", versions == (expected_version, expected_version), versions),
        ("version: no file flags, Windows NT 32-bit, an application",
         version_kind == (0, VOS_NT_WINDOWS32, VFT_APP), version_kind),
        ("version strings, Japanese and Unicode", version_tables == {"041104B0": expected_strings}, version_tables),
        ("version translation Japanese, Unicode", translations == ["0x0411 0x04b0"], translations),
    ]
    failures = [(what, found) for what, holds, found in checks if not holds]
    for what, found in failures:
        print(f"FAILED: {what}" + (f" (found: {found})" if found not in ("", None) else ""))
    print(f"{path}: {os.path.getsize(path)} bytes, {len(checks)} properties checked, {len(failures)} failed")
    return 1 if failures else 0


def imports_only(arch, *paths):
    """The test programs, which run on the same Windows: their imports only."""
    failed = 0
    for path in paths:
        imported = imports(pefile.PE(path))
        missing = missing_imports(imported, arch)
        print(f"{'FAILED: ' if missing else ''}{path}: {len(imported)} imports, "
              + (f"imports {OLDEST[arch][0]} lacks (found: {missing})" if missing else f"all in {OLDEST[arch][0]}"))
        failed += bool(missing)
    print(f"{len(paths)} programs checked, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["--imports-only"] and len(sys.argv) > 3 and sys.argv[2] in ARCH:
        sys.exit(imports_only(*sys.argv[2:]))
    if len(sys.argv) != 4 or sys.argv[2] not in ARCH:
        sys.exit("usage: check_executable.py nuporaku.exe x86|x64 VERSION\n"
                 "       check_executable.py --imports-only x86|x64 PROGRAM...")
    sys.exit(main(*sys.argv[1:]))
