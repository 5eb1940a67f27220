#!/usr/bin/env python3
"""Writes the small seed corpus of each fuzzer into fuzz/corpus/<fuzzer>/.

The seeds are committed; this script only documents how they were made and
can remake them. Inputs that FuzzedDataProvider reads take their integers
from the end, so a few deterministic pseudo-random inputs of different
lengths serve those fuzzers as well as crafted ones would.
"""
import os
import random
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(fuzzer, name, data):
    folder = os.path.join(ROOT, fuzzer)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def units(text):
    return text.encode("utf-16-le")


def settings_block():
    values = [0] * 64
    values[5], values[7], values[9], values[10], values[11], values[36] = 13, 1, 0, 2, 0, 1
    write("settings_block", "defaults-256", struct.pack("<64i", *values))
    write("settings_block", "short-40", struct.pack("<10i", *range(10)))
    write("settings_block", "minus-one", struct.pack("<64i", *([-1] * 64)))
    write("settings_block", "long-300", bytes(range(256)) + bytes(44))
    write("settings_block", "odd-7", b"\x01\x02\x03\x04\x05\x06\x07")


def model_list():
    needle = "Model X"
    lines = "[TAVO]\0Model X = Install, USB\\VID_1234\0Model X Plus = Install\0\0"
    write("model_list", "terminated", bytes([len(needle)]) + units(needle) + units(lines))
    write("model_list", "unterminated", bytes([5]) + units("Dot 9") + units("Dot 24\0Dot 9"))
    write("model_list", "empty-list", bytes([3]) + units("abc") + units("\0"))
    write("model_list", "case", bytes([7]) + units("model x") + units("Model X\0\0"))
    write("model_list", "chinese", bytes([2]) + units("打印") + units("针式打印机 = x\0\0"))


def random_inputs(fuzzer, sizes, seed):
    generator = random.Random(seed)
    for size in sizes:
        write(fuzzer, "random-%d" % size, bytes(generator.randrange(256) for _ in range(size)))


def setting_command():
    tag = b"DOTM"
    for row, index in [(4, 1), (1, 17), (1, -1)]:
        code = [43, 5, 7, 9, 10, 11, 36][row]
        low, high = index & 0xFF, (index >> 8) & 0xFF
        command = bytes([0x1B, 0x05, code, low, high, high ^ code ^ low ^ 0xA2, 0x1B, 0x05]) + tag
        # The row and index are read from the end of the input.
        trailer = struct.pack(">i", index) + bytes([1, row])
        write("setting_command", "row%d-index%d" % (row, index), command + trailer)


settings_block()
model_list()
random_inputs("printer_match", [16, 64, 256, 1024], 1)
random_inputs("package_paths", [8, 100, 400, 1200], 2)
setting_command()
random_inputs("setting_command", [3, 40], 3)
