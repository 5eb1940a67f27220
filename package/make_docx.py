#!/usr/bin/env python3
"""Turns the manual's markdown into a Word document (.docx).

    make_docx.py MANUAL.md OUTPUT.docx

Understands the little markdown the manual uses: "# " title, "## " and
"### " headings, "- " list items and paragraphs (lines joined until a blank
line), and **bold** within a line. The indented lines under a list item
continue it on lines of their own: a message in bold, its meaning below.
The document is built with python-docx (Debian's python3-docx) on its
default template, with the manual's own styles; the archive's time stamps
are fixed, so the same text gives the same bytes.
"""
import datetime
import io
import os
import re
import sys
import zipfile

try:
    import docx
except ImportError:
    # Debian's package is seen by Debian's own interpreter, which the build
    # uses (Python3_EXECUTABLE, the top-level CMakeLists.txt); a python3 that
    # comes first on PATH (pyenv, a virtualenv) may not have it.
    sys.exit("make_docx.py: python-docx is missing (Debian: python3-docx; "
             "scripts/setup.sh installs it)")
from docx.opc.constants import RELATIONSHIP_TYPE as RT  # noqa: E402
from docx.oxml import OxmlElement  # noqa: E402
from docx.oxml.ns import qn  # noqa: E402
from docx.shared import Pt, Twips  # noqa: E402

FONT = "宋体"
FIXED_TIME = (2024, 6, 18, 0, 0, 0)

# The manual's paragraph styles: python-docx's name of the template style,
# the size in points, bold, the space before and after in twips and the
# outline level.
HEADINGS = {
    "Title": ("Title", 18, True, 0, 240, None),
    "Heading1": ("Heading 1", 15, True, 360, 120, 0),
    "Heading2": ("Heading 2", 12, True, 240, 80, 1),
}
LIST_ITEM = "List Paragraph"

# Parts of the default template that the manual has no use for: its
# thumbnail (a picture of another document), its application properties
# (they name the Word that made the template), the Word 2010 copy of the
# styles and the custom XML item.
UNUSED_PACKAGE_PARTS = (RT.THUMBNAIL, RT.EXTENDED_PROPERTIES)
UNUSED_DOCUMENT_PARTS = ("http://schemas.microsoft.com/office/2007/relationships/stylesWithEffects",
                         RT.CUSTOM_XML)


def oxml(tag, children=(), **attrs):
    """A WordprocessingML element for what python-docx has no call for."""
    element = OxmlElement(tag)
    for key, value in attrs.items():
        element.set(qn("w:" + key), str(value))
    for child in children:
        element.append(child)
    return element


def set_defaults(styles):
    """The document's defaults: the manual's font for every script at 10.5
    points, Chinese as the East Asian language, 6 points after a paragraph
    and lines at 1.25. They replace the template's theme fonts and Latin
    languages."""
    defaults = styles.element.find(qn("w:docDefaults"))
    for child in list(defaults):
        defaults.remove(child)
    fonts = oxml("w:rFonts", ascii=FONT, hAnsi=FONT, eastAsia=FONT, cs=FONT)
    defaults.append(oxml("w:rPrDefault", [oxml("w:rPr", [
        fonts, oxml("w:sz", val=21), oxml("w:lang", val="en-US", eastAsia="zh-CN")])]))
    defaults.append(oxml("w:pPrDefault", [oxml("w:pPr", [
        oxml("w:spacing", after=120, line=300, lineRule="auto")])]))


def cleared(style):
    """The template's style with its own paragraph and character formatting
    taken away, so that only the defaults and what is set here apply."""
    for child in (style.element.pPr, style.element.rPr):
        if child is not None:
            style.element.remove(child)
    return style


def set_styles(document):
    styles = document.styles
    set_defaults(styles)
    cleared(styles["Normal"])
    for name, size, bold, before, after, outline in HEADINGS.values():
        style = cleared(styles[name])
        style.font.size = Pt(size)
        style.font.bold = bold
        style.paragraph_format.keep_with_next = True
        style.paragraph_format.space_before = Twips(before)
        style.paragraph_format.space_after = Twips(after)
        if outline is not None:
            style.element.get_or_add_pPr().append(oxml("w:outlineLvl", val=outline))

    item = cleared(styles[LIST_ITEM])
    item.paragraph_format.space_after = Twips(60)
    item.paragraph_format.left_indent = Twips(420)
    item.paragraph_format.first_line_indent = Twips(-300)

    # The space after a paragraph and the space before the next add up (a
    # heading keeps its distance from the text above it). Without this the
    # template's settings let a reader such as LibreOffice take only the
    # larger of the two. (The default template's settings have a w:compat.)
    compat = document.settings.element.find(qn("w:compat"))
    compat.insert(0, oxml("w:doNotUseHTMLParagraphAutoSpacing"))


def add_runs(paragraph, text):
    """The runs of a text: "**" switches bold on and off, "\\n" breaks the
    line and "\\t" is a tab (python-docx writes both as elements of their
    own)."""
    for i, piece in enumerate(re.split(r"\*\*", text)):
        if piece:
            run = paragraph.add_run(piece)
            if i % 2:
                run.bold = True


def parse(markdown):
    """Yields (style, text) blocks."""
    pending = []
    item = []  # the lines of the list item being read

    def flush():
        if pending:
            yield (None, "".join(pending))
            pending.clear()
        if item:
            yield ("ListItem", "•\t" + "\n".join(item))
            item.clear()
    for raw in markdown.splitlines():
        line = raw.strip()
        if not line:
            yield from flush()
        elif item and raw[:1] in (" ", "\t") and not line.startswith("- "):
            item.append(line)
        elif line.startswith("### "):
            yield from flush()
            yield ("Heading2", line[4:])
        elif line.startswith("## "):
            yield from flush()
            yield ("Heading1", line[3:])
        elif line.startswith("# "):
            yield from flush()
            yield ("Title", line[2:])
        elif line.startswith("- "):
            yield from flush()
            item.append(line[2:])
        else:
            if item:
                yield from flush()
            pending.append(line)
    yield from flush()


def title_of(markdown):
    for style_id, text in parse(markdown):
        if style_id == "Title":
            return text
    return ""


def build(markdown):
    document = docx.Document()
    set_styles(document)
    body = document.element.body
    for paragraph in document.paragraphs:  # the template's empty one
        body.remove(paragraph._p)
    for style_id, text in parse(markdown):
        if style_id is None:
            style = None
        elif style_id == "ListItem":
            style = LIST_ITEM
        else:
            style = HEADINGS[style_id][0]
        add_runs(document.add_paragraph(style=style), text)

    # A4 portrait, the margins of a Chinese Word document.
    section = document.sections[0]
    section.page_width, section.page_height = Twips(11906), Twips(16838)
    section.top_margin = section.bottom_margin = Twips(1440)
    section.left_margin = section.right_margin = Twips(1800)
    section.header_distance, section.footer_distance = Twips(851), Twips(992)
    section.gutter = Twips(0)

    properties = document.core_properties
    properties.title = title_of(markdown)
    properties.author = "TAVO"
    properties.language = "zh-CN"
    properties.created = properties.modified = datetime.datetime(*FIXED_TIME)
    properties.last_modified_by = ""
    properties.comments = ""
    properties.revision = 1

    package_rels = document.part.package.rels
    for rid in [rid for rid, rel in package_rels.items() if rel.reltype in UNUSED_PACKAGE_PARTS]:
        del package_rels[rid]
    for rid in [rid for rid, rel in document.part.rels.items()
                if rel.reltype in UNUSED_DOCUMENT_PARTS]:
        del document.part.rels[rid]
    return document


def fixed_times(data):
    """The archive again, every member with the same fixed time stamp."""
    out = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(data)) as source, \
            zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for member in source.infolist():
            info = zipfile.ZipInfo(member.filename, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, source.read(member))
    return out.getvalue()


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: make_docx.py MANUAL.md OUTPUT.docx\n")
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        markdown = f.read()
    saved = io.BytesIO()
    build(markdown).save(saved)
    with open(sys.argv[2], "wb") as f:
        f.write(fixed_times(saved.getvalue()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
