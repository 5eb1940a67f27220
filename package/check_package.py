#!/usr/bin/env python3
"""Checks an assembled package directory.

    check_package.py PACKAGE_DIR SETTINGS_TXT SECTION with-tool|without-tool

Every file present and not empty; .dep is 256 bytes and holds what the
description says; the INF has the model section and names no file that the
package does not carry; the manual is a Word
document whose parts are well-formed XML and whose text names every button
and every message of the tool. Prints each failure; exit status 1 if any.
"""
import os
import re
import struct
import sys
import zipfile
import xml.dom.minidom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_dep  # noqa: E402

BUTTONS = ["安装", "设置", "网站", "手册", "退出"]
MESSAGES = [
    "文件不全", "WINDOWS正在为您安装打印机，请稍等几分钟...", "参数错误！", "文件复制错误！",
    "安装N台打印机", "已安装", "未发现新打印机，请保持USB连接！",
    "发现多台打印机，请保持1台打印机USB连接！", "WINDOWS正在安装您的打印机，请稍候...",
    "WINDOWS正在安装您的打印机，退出后WINDOWS仍可能在后台进行安装任务",
    "请安装驱动或连接打印机！", "发现多台打印机，请保持1台联机打印机！", "设备移除或改变！",
    "WINDOWS没有默认浏览器", "WINDOWS没有安装打开", "的应用程序！",
    # The texts with a part filled in (a path, a code, a library): the fixed part.
    "无法启动安装程序：", "安装程序异常结束（代码 0x", "无法加载系统组件：",
]
SETTINGS = ["拖纸器页长", "自动切纸", "自动换行", "打印方向", "软件", "手动送纸等待时间"]

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def docx_text(path):
    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        for part in ("[Content_Types].xml", "_rels/.rels", "word/document.xml", "word/styles.xml"):
            check(part in names, f"manual has {part}")
        text = ""
        for name in names:
            if name.endswith(".xml") or name.endswith(".rels"):
                dom = xml.dom.minidom.parseString(archive.read(name))
                if name == "word/document.xml":
                    text = "".join(node.firstChild.data for node in dom.getElementsByTagName("w:t")
                                   if node.firstChild)
        return text


# INF directives whose values are file names (comma-separated lists).
FILE_DIRECTIVES = ("catalogfile", "datafile", "driverfile", "configfile", "helpfile", "include")


def inf_sections(text):
    """{lower-case section name: [lines]}, comments and blank lines left out."""
    sections, lines = {}, None
    for raw in text.splitlines():
        line = raw.split(";", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            lines = sections.setdefault(line[1:-1].strip().lower(), [])
        elif lines is not None:
            lines.append(line)
    return sections


def inf_named_files(text):
    """Every file the INF names: the file directives (CatalogFile.nt... too),
    CopyFiles' @files and the lines of the sections it names, the files of
    [SourceDisksFiles*] and the tag or cabinet files of [SourceDisksNames*]."""
    sections = inf_sections(text)
    named = set()

    def values(line):
        return [v.strip().strip('"') for v in line.split("=", 1)[1].split(",")] if "=" in line else []
    for name, lines in sections.items():
        for line in lines:
            key = line.split("=", 1)[0].strip().lower() if "=" in line else ""
            if key.split(".")[0] in FILE_DIRECTIVES:
                named.update(v for v in values(line) if v)
            elif key == "copyfiles":
                for value in values(line):
                    if value.startswith("@"):
                        named.add(value[1:])
                    else:
                        named.update(entry.split(",")[0].strip() for entry in
                                     sections.get(value.lower(), []))
            if name.startswith("sourcedisksfiles"):
                named.add(line.split("=", 1)[0].strip())
            elif name.startswith("sourcedisksnames") and len(values(line)) > 1:
                named.update(v for v in values(line)[1:2] if v)
    return {n for n in named if n}


def carried_files(package):
    return {name.lower() for _, _, names in os.walk(package) for name in names}


def main():
    package, settings_txt, section, tool = sys.argv[1:5]
    files = [".dep", "data/oemprnt.inf", "data/install32.exe", "data/install64.exe",
             "data/说明书.docx"]
    if tool == "with-tool":
        files.append("TavoSetup.exe")
    for name in files:
        path = os.path.join(package, name)
        check(os.path.isfile(path) and os.path.getsize(path) > 0, f"{name} present")
    for exe in ("data/install32.exe", "data/install64.exe", "TavoSetup.exe"):
        path = os.path.join(package, exe)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                check(f.read(2) == b"MZ", f"{exe} is a Windows program")

    dep = os.path.join(package, ".dep")
    if os.path.isfile(dep):
        data = open(dep, "rb").read()
        check(len(data) == 256, ".dep is 256 bytes")
        if len(data) == 256:
            check(list(struct.unpack("<64i", data)) == make_dep.parse(settings_txt),
                  ".dep holds the values of settings.txt")

    inf = os.path.join(package, "data/oemprnt.inf")
    if os.path.isfile(inf):
        raw = open(inf, "rb").read()
        check(b"\n" not in raw.replace(b"\r\n", b""), "INF lines end in CRLF")
        text = raw.decode("ascii", errors="replace")
        match = re.search(r"^\[" + re.escape(section) + r"\]\r\n((?:[^\[].*\r\n)*)", text, re.M)
        check(match is not None, f"INF has the section [{section}]")
        if match:
            models = [line for line in match.group(1).split("\r\n") if line.startswith('"')]
            check(len(models) >= 2, "the section lists at least two models")
        carried = carried_files(package)
        for name in sorted(inf_named_files(text)):
            check(os.path.basename(name.replace("\\", "/")).lower() in carried,
                  f"the package carries {name}, which the INF names")

    manual = os.path.join(package, "data/说明书.docx")
    if os.path.isfile(manual):
        text = docx_text(manual)
        for word in BUTTONS + MESSAGES + SETTINGS:
            check(word in text, f"the manual mentions {word}")

    print("PASS" if not failures else f"FAIL: {len(failures)} check(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
