#!/usr/bin/env python3
"""Static checks of the programs in an assembled package directory, read from
their PE files alone, so they need no Wine and hold on a host that cannot run
the package's code.

    check_shipped_pe.py [--cfg] PACKAGE_DIR i386|x64

For TavoSetup.exe, tavoctl.exe, data/install32.exe and data/install64.exe:
the machine and optional header magic of the build (i386: 0x14c, PE32;
x64: 0x8664, PE32+), an executable image and not a DLL, the subsystem, the
security flags (tests/hardening/check_pe.py), the tool's size ceiling, the
tool's resources (icon groups with their images, the string table with the
window class name and title, the manifest) and the imported DLLs, none of them
a MinGW runtime DLL. Prints one line per program and each failure; exit
status 1 if any check fails.
"""
import argparse
import fnmatch
import os
import struct
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "hardening"))
import check_pe  # noqa: E402

# IMAGE_FILE_HEADER.Machine and IMAGE_OPTIONAL_HEADER.Magic of each build.
MACHINES = {"i386": (0x14C, 0x10B, "PE32"), "x64": (0x8664, 0x20B, "PE32+")}
# The processorArchitecture an application manifest's identity gives for
# each (Microsoft's manifest schema: x86, amd64, arm, arm64).
MANIFEST_ARCH = {"i386": "x86", "x64": "amd64"}
SUBSYSTEM_GUI, SUBSYSTEM_CONSOLE = 2, 3
SUBSYSTEM_NAMES = {SUBSYSTEM_GUI: "GUI", SUBSYSTEM_CONSOLE: "console"}
FILE_EXECUTABLE_IMAGE, FILE_DLL = 0x0002, 0x2000
DIR_IMPORT, DIR_RESOURCE, DIR_DELAY_IMPORT = 1, 2, 13
RT_ICON, RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 3, 6, 14, 24

# The stripped, size-optimised tool measures about 45 KB (docs/benchmarks.md;
# the documented goal is under 150 KB). 64 KiB leaves room for ordinary
# growth but not for a build that lost its stripping, -Os or --gc-sections,
# or that pulled in iostreams or exceptions: each of those costs tens of KB.
TOOL_MAX_BYTES = 64 * 1024

# The tool's string table (resources/resource.h, resources/tool.rc): main.cpp
# loads the window class name and the title by these ids.
TOOL_STRINGS = {103: "安装打印机", 109: "TAVO_WIN32"}
TOOL_ICON_GROUPS = (107, 108)
TOOL_MANIFEST_ID = 1  # CREATEPROCESS_MANIFEST_RESOURCE_ID
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}assembly"

# The package must run on a bare Windows: the runtimes are linked statically.
MINGW_DLLS = ("libgcc*", "libstdc++*", "libwinpthread*")

# Windows 7 SP1's KnownDLLs, the oldest Windows the package supports: the
# values under HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
# of a Windows 7 SP1 installation (Microsoft's "Dynamic-Link Library
# Security" and "Dynamic-Link Library Search Order" pages describe the key),
# plus ntdll.dll, which the loader maps before any search. Such a library is
# always mapped from System32; any other load-time import is searched for in
# the program's own directory first, where a planted copy would win, so the
# shipped programs must delay-load it instead.
KNOWN_DLLS_WINDOWS_7 = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "iertutil.dll",
    "imagehlp.dll", "imm32.dll", "kernel32.dll", "lpk.dll", "msctf.dll", "msvcrt.dll",
    "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
    "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll",
    "usp10.dll", "wininet.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}

# The installers are console programs (tools/installer/CMakeLists.txt builds
# them without WIN32); the tool starts them hidden.
PROGRAMS = [
    # path in the package, subsystem, size ceiling, checks its resources
    ("TavoSetup.exe", SUBSYSTEM_GUI, TOOL_MAX_BYTES, True),
    ("tavoctl.exe", SUBSYSTEM_CONSOLE, None, False),
    ("data/install32.exe", SUBSYSTEM_CONSOLE, None, False),
    ("data/install64.exe", SUBSYSTEM_CONSOLE, None, False),
]


class Image:
    """The headers, section table and data directories of one PE file."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        (self.magic,) = struct.unpack_from("<H", data, opt)
        if self.magic not in (0x10B, 0x20B):
            raise ValueError("optional header magic 0x%x" % self.magic)
        pe32 = self.magic == 0x10B
        self.image_base = struct.unpack_from("<I" if pe32 else "<Q", data, opt + (28 if pe32 else 24))[0]
        (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
        directories = opt + (96 if pe32 else 112)
        (count,) = struct.unpack_from("<I", data, directories - 4)
        self.dirs = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def offset(self, rva):
        for vaddr, span, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + span and rva - vaddr < raw_size:
                return raw_ptr + rva - vaddr
        raise ValueError("RVA 0x%x lies in no section's file data" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii")

    def imports(self):
        """The DLL names of the import directory, in table order."""
        rva, size = self.directory(DIR_IMPORT)
        names = []
        # 20-byte descriptors up to an all-zero one or the directory's end.
        for entry in range(rva, rva + size - 19 if rva else 0, 20):
            if not any(self.u32(entry + k) for k in (0, 4, 8, 12, 16)):
                break
            names.append(self.cstring(self.u32(entry + 12)))  # Name
        return names

    def delay_imports(self):
        """The DLL names of the delay-load directory (none if absent)."""
        rva, size = self.directory(DIR_DELAY_IMPORT)
        names = []
        # 32-byte descriptors up to one with no DLL name or the directory's end.
        for entry in range(rva, rva + size - 31 if rva else 0, 32):
            attributes, name = self.u32(entry), self.u32(entry + 4)
            if not name:
                break
            # Attribute bit 0 clear: the old form, with VAs in place of RVAs.
            names.append(self.cstring(name if attributes & 1 else name - self.image_base))
        return names

    def resources(self):
        """{(type, name): [(language, bytes)]} from the three-level resource
        tree; a type or name given as a string is that string."""
        rva, size = self.directory(DIR_RESOURCE)
        if not rva or not size:
            return {}
        base = self.offset(rva)
        data = self.data

        def entries(offset):
            named, ids = struct.unpack_from("<HH", data, base + offset + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
                if key & 0x80000000:
                    (length,) = struct.unpack_from("<H", data, base + (key & 0x7FFFFFFF))
                    start = base + (key & 0x7FFFFFFF) + 2
                    key = data[start:start + 2 * length].decode("utf-16-le")
                yield key, target

        found = {}
        for kind, names in entries(0):
            if not names & 0x80000000:
                raise ValueError("resource type %r is a leaf, not a directory" % (kind,))
            for name, languages in entries(names & 0x7FFFFFFF):
                if not languages & 0x80000000:
                    raise ValueError("resource %r/%r is a leaf, not a directory" % (kind, name))
                for language, leaf in entries(languages & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise ValueError("resource %r/%r has a fourth level" % (kind, name))
                    data_rva, data_size = struct.unpack_from("<II", data, base + leaf)
                    start = self.offset(data_rva)
                    if start + data_size > len(data):
                        raise ValueError("resource %r/%r runs past the end of the file" % (kind, name))
                    found.setdefault((kind, name), []).append((language, data[start:start + data_size]))
        return found


def string_table(found):
    """{id: text} from the RT_STRING blocks: block n holds ids 16(n-1)..16n-1,
    each a UTF-16 count followed by that many units."""
    strings = {}
    for (kind, block), variants in found.items():
        if kind != RT_STRING or not isinstance(block, int):
            continue
        raw = variants[0][1]
        pos = 0
        for index in range(16):
            (length,) = struct.unpack_from("<H", raw, pos)
            text = raw[pos + 2:pos + 2 + 2 * length]
            if len(text) != 2 * length:
                raise ValueError("string block %d is cut short" % block)
            if length:
                strings[(block - 1) * 16 + index] = text.decode("utf-16-le")
            pos += 2 + 2 * length
    return strings


def check_resources(image, check, machine):
    found = image.resources()
    check(found, "has a resource directory")
    for group in TOOL_ICON_GROUPS:
        variants = found.get((RT_GROUP_ICON, group))
        check(variants, "icon group %d (RT_GROUP_ICON)" % group)
        if not variants:
            continue
        raw = variants[0][1]
        reserved, kind, count = struct.unpack_from("<HHH", raw, 0)
        check(reserved == 0 and kind == 1 and count > 0 and len(raw) == 6 + 14 * count,
              "icon group %d is an icon directory with %d image(s)" % (group, count))
        for i in range(count if len(raw) == 6 + 14 * count else 0):
            size, icon = struct.unpack_from("<IH", raw, 6 + 14 * i + 8)
            image_variants = found.get((RT_ICON, icon))
            check(image_variants and len(image_variants[0][1]) == size,
                  "icon group %d: image %d present as RT_ICON with its %d bytes" % (group, icon, size))
    strings = string_table(found)
    for sid, text in TOOL_STRINGS.items():
        check(strings.get(sid) == text, "string %d is %r (found %r)" % (sid, text, strings.get(sid)))
    manifest = found.get((RT_MANIFEST, TOOL_MANIFEST_ID))
    check(manifest, "manifest (RT_MANIFEST %d)" % TOOL_MANIFEST_ID)
    if manifest:
        arch = None
        try:
            xml = ET.fromstring(manifest[0][1])
            root = xml.tag
            identity = xml.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
            arch = identity.get("processorArchitecture") if identity is not None else None
        except ET.ParseError as e:
            root = "not well-formed XML: %s" % e
        check(root == ASM_V1, "the manifest is an asm.v1 <assembly> (found %s)" % root)
        check(arch == MANIFEST_ARCH[machine], "the manifest's identity is for %s (found %s)"
              % (MANIFEST_ARCH[machine], arch))
    nonneutral = sorted({"%r/%r" % key for key, variants in found.items() for lang, _ in variants if lang != 0})
    check(not nonneutral, "every resource is language neutral (not: %s)" % ", ".join(nonneutral))
    return "icon groups %s, strings %s, manifest %s" % (
        "/".join(str(g) for g in TOOL_ICON_GROUPS if (RT_GROUP_ICON, g) in found) or "none",
        ", ".join("%d %s" % (sid, strings[sid]) for sid in sorted(strings)) or "none",
        "yes" if manifest else "no")


def check_program(package, rel, subsystem, max_bytes, with_resources, machine, want_cfg):
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    path = os.path.join(package, rel)
    if not os.path.isfile(path):
        return rel + ": missing", ["%s is in the package" % rel]
    size = os.path.getsize(path)
    want_machine, want_magic, want_format = MACHINES[machine]
    parts = []
    try:
        with open(path, "rb") as f:
            image = Image(f.read())
        check(image.machine == want_machine, "machine 0x%x, not 0x%x" % (image.machine, want_machine))
        check(image.magic == want_magic, "optional header magic 0x%x, not 0x%x (%s)"
              % (image.magic, want_magic, want_format))
        check(image.characteristics & FILE_EXECUTABLE_IMAGE and not image.characteristics & FILE_DLL,
              "an executable image, not a DLL (characteristics 0x%04x)" % image.characteristics)
        check(image.subsystem == subsystem, "subsystem %d, not %d (%s)"
              % (image.subsystem, subsystem, SUBSYSTEM_NAMES[subsystem]))
        parts.append("%s machine 0x%x, %s" % ("PE32" if image.magic == 0x10B else "PE32+", image.machine,
                                              SUBSYSTEM_NAMES.get(image.subsystem, str(image.subsystem))))

        rows = check_pe.verdict(check_pe.pe_flags(path), want_cfg)
        for name, state, good in rows:
            check(good, "%s %s" % (name, state))
        parts.append(", ".join("%s %s" % (name, state) for name, state, _ in rows))

        if max_bytes:
            check(size <= max_bytes, "%d bytes, over the ceiling of %d" % (size, max_bytes))
            parts.append("%d bytes (ceiling %d)" % (size, max_bytes))
        else:
            parts.append("%d bytes" % size)

        if with_resources:
            parts.append(check_resources(image, check, machine))

        dlls, delayed = image.imports(), image.delay_imports()
        # Every Win32 program imports KERNEL32; without it the table was not read.
        check("kernel32.dll" in (d.lower() for d in dlls), "KERNEL32.dll among the imports")
        for dll in dlls + delayed:
            check(not any(fnmatch.fnmatch(dll.lower(), p) for p in MINGW_DLLS),
                  "imports %s, a MinGW runtime DLL" % dll)
        for dll in dlls:
            check(dll.lower() in KNOWN_DLLS_WINDOWS_7,
                  "imports %s at load time, not a KnownDLL of Windows 7 (a copy beside the "
                  "program would be loaded instead)" % dll)
        parts.append("imports " + (" ".join(dlls) or "none"))
        # GNU ld leaves the header's delay-load directory unset although the
        # descriptors are there and work: "none" would claim what was not read.
        if image.directory(DIR_DELAY_IMPORT)[0]:
            parts.append("delay-loads " + (" ".join(delayed) or "none"))
        else:
            parts.append("delay-load directory not set in the header")
    except (ValueError, struct.error, UnicodeDecodeError) as e:
        check(False, "unreadable PE file: %s" % e)
    return "%s: %s" % (rel, "; ".join(parts)), failures


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cfg", action="store_true", help="the toolchain supports CFG: require it")
    p.add_argument("package")
    p.add_argument("machine", choices=sorted(MACHINES))
    args = p.parse_args()
    total = 0
    for rel, subsystem, max_bytes, with_resources in PROGRAMS:
        line, failures = check_program(args.package, rel, subsystem, max_bytes, with_resources,
                                       args.machine, args.cfg)
        print(line)
        for what in failures:
            print("  FAILED: %s: %s" % (rel, what))
        total += len(failures)
    print("PASS" if not total else "FAIL: %d check(s)" % total)
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
