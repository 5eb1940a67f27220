#!/usr/bin/env python3
"""Checks the security flags in the PE headers of the programs that ship:
ASLR (DYNAMIC_BASE and a base relocation table to move the image with), DEP
(NX_COMPAT), high-entropy ASLR (HIGH_ENTROPY_VA, which only a 64-bit image
can have) and Control Flow Guard (GUARD_CF, required only with --cfg: MinGW
GCC has no -mguard=cf, so a GCC build cannot have it).

    check_pe.py [--cfg] [--json OUT] EXE...

Prints one line per program and exits 1 when a required flag is missing."""
import argparse
import json
import os
import struct
import sys

DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA, GUARD_CF = 0x40, 0x100, 0x20, 0x4000
RELOCS_STRIPPED = 0x1
BASERELOC = 5


def pe_flags(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ":
        raise ValueError("%s: no MZ header" % path)
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("%s: no PE signature" % path)
    machine, sections, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    (magic,) = struct.unpack_from("<H", data, opt)
    if magic not in (0x10B, 0x20B):
        raise ValueError("%s: optional header magic 0x%x" % (path, magic))
    (dll_characteristics,) = struct.unpack_from("<H", data, opt + 70)
    directories = opt + (96 if magic == 0x10B else 112)
    (count,) = struct.unpack_from("<I", data, directories - 4)
    reloc_size = struct.unpack_from("<II", data, directories + 8 * BASERELOC)[1] if count > BASERELOC else 0
    return {"path": path, "bits": 32 if magic == 0x10B else 64, "machine": machine,
            "dll_characteristics": dll_characteristics, "relocs_stripped": bool(characteristics & RELOCS_STRIPPED),
            "reloc_size": reloc_size}


def verdict(info, want_cfg):
    flags = info["dll_characteristics"]
    checks = [
        ("ASLR", bool(flags & DYNAMIC_BASE) and not info["relocs_stripped"] and info["reloc_size"] > 0, True),
        ("DEP", bool(flags & NX_COMPAT), True),
        ("high-entropy VA", bool(flags & HIGH_ENTROPY_VA), info["bits"] == 64),
        ("CFG", bool(flags & GUARD_CF), want_cfg),
    ]
    rows = []
    for name, present, required in checks:
        if present:
            state = "yes"
        elif name == "high-entropy VA" and not required:
            state = "n/a (32-bit image)"
        elif name == "CFG" and not required:
            state = "no (MinGW GCC has no CFG)"
        else:
            state = "MISSING"
        rows.append((name, state, present or not required))
    return rows


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cfg", action="store_true", help="the toolchain supports CFG: require it")
    p.add_argument("--json", default=None)
    p.add_argument("exe", nargs="+")
    args = p.parse_args()
    ok, out = True, []
    for path in args.exe:
        info = pe_flags(path)
        rows = verdict(info, args.cfg)
        ok &= all(good for _, _, good in rows)
        print("%s (PE32%s, DllCharacteristics 0x%04x, relocations %d bytes): %s" % (
            path, "" if info["bits"] == 32 else "+", info["dll_characteristics"], info["reloc_size"],
            ", ".join("%s %s" % (n, s) for n, s, _ in rows)))
        info["checks"] = {n: s for n, s, _ in rows}
        out.append(info)
    if args.json:
        os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
        with open(args.json, "w") as f:
            json.dump(out, f, indent=1)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
