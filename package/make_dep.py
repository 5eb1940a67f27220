#!/usr/bin/env python3
"""Writes a settings file (.dep) from its readable description.

    make_dep.py DESCRIPTION OUTPUT

DESCRIPTION has one "code = option index" per line; "#" starts a comment.
OUTPUT gets 256 bytes: 64 little-endian signed 32-bit values, value number
`code` holding that index, the others 0.
"""
import struct
import sys


def parse(path):
    values = [0] * 64
    seen = set()
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            try:
                code_text, value_text = (part.strip() for part in line.split("="))
                code, value = int(code_text), int(value_text)
            except ValueError:
                raise SystemExit(f"{path}:{number}: expected 'code = option index'")
            if not 0 <= code < 64:
                raise SystemExit(f"{path}:{number}: setting code {code} is not 0 to 63")
            if not -2**31 <= value < 2**31:
                raise SystemExit(f"{path}:{number}: {value} is not a 32-bit value")
            if code in seen:
                raise SystemExit(f"{path}:{number}: setting code {code} given twice")
            seen.add(code)
            values[code] = value
    return values


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: make_dep.py DESCRIPTION OUTPUT\n")
        return 2
    data = struct.pack("<64i", *parse(sys.argv[1]))
    assert len(data) == 256
    with open(sys.argv[2], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
