#!/usr/bin/env python3
"""Turns the manual's markdown into a Word document (.docx).

    make_docx.py MANUAL.md OUTPUT.docx

Understands the little markdown the manual uses: "# " title, "## " and
"### " headings, "- " list items and paragraphs (lines joined until a blank
line), and **bold** within a line. The indented lines under a list item
continue it on lines of their own: a message in bold, its meaning below.
Writes minimal WordprocessingML with python's zipfile; the archive's time
stamps are fixed, so the same text gives the same bytes.
"""
import re
import sys
import zipfile
from xml.sax.saxutils import escape

FONT = "宋体"
FIXED_TIME = (2024, 6, 18, 0, 0, 0)

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>
<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>
<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/>
</Types>"""

ROOT_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>
<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>
</Relationships>"""

DOCUMENT_RELS = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>
</Relationships>"""

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'


def style(style_id, name, size_half_points, bold, space_before, space_after, outline=None):
    outline_xml = f'<w:outlineLvl w:val="{outline}"/>' if outline is not None else ""
    return (f'<w:style w:type="paragraph" w:styleId="{style_id}"><w:name w:val="{name}"/>'
            '<w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/>'
            f'<w:pPr><w:keepNext/><w:spacing w:before="{space_before}" w:after="{space_after}"/>'
            f'{outline_xml}</w:pPr>'
            f'<w:rPr>{"<w:b/>" if bold else ""}<w:sz w:val="{size_half_points}"/></w:rPr></w:style>')


STYLES = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:styles {W}>'
          '<w:docDefaults><w:rPrDefault><w:rPr>'
          f'<w:rFonts w:ascii="{FONT}" w:hAnsi="{FONT}" w:eastAsia="{FONT}" w:cs="{FONT}"/>'
          '<w:sz w:val="21"/><w:lang w:val="en-US" w:eastAsia="zh-CN"/></w:rPr></w:rPrDefault>'
          '<w:pPrDefault><w:pPr><w:spacing w:after="120" w:line="300" w:lineRule="auto"/>'
          '</w:pPr></w:pPrDefault></w:docDefaults>'
          '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/>'
          '<w:qFormat/></w:style>'
          + style("Title", "Title", 36, True, 0, 240)
          + style("Heading1", "heading 1", 30, True, 360, 120, 0)
          + style("Heading2", "heading 2", 24, True, 240, 80, 1)
          + '<w:style w:type="paragraph" w:styleId="ListItem"><w:name w:val="List Paragraph"/>'
          '<w:basedOn w:val="Normal"/><w:pPr><w:spacing w:after="60"/>'
          '<w:ind w:left="420" w:hanging="300"/></w:pPr></w:style>'
          '</w:styles>')


def runs(text):
    """The runs of a text: "**" switches bold on and off, "\\n" breaks the line."""
    out = []
    for i, piece in enumerate(re.split(r"\*\*", text)):
        bold = "<w:rPr><w:b/></w:rPr>" if i % 2 else ""
        for j, line in enumerate(piece.split("\n")):
            brk = "<w:br/>" if j else ""
            if line or brk:
                out.append(f'<w:r>{bold}{brk}<w:t xml:space="preserve">{escape(line)}</w:t></w:r>')
    return "".join(out)


def paragraph(text, style_id=None):
    ppr = f'<w:pPr><w:pStyle w:val="{style_id}"/></w:pPr>' if style_id else ""
    return f'<w:p>{ppr}{runs(text)}</w:p>'


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


def document(markdown):
    body = "".join(paragraph(text, style_id) for style_id, text in parse(markdown))
    section = ('<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
               '<w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800" '
               'w:header="851" w:footer="992" w:gutter="0"/></w:sectPr>')
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document {W}>'
            f'<w:body>{body}{section}</w:body></w:document>')


def title_of(markdown):
    for style_id, text in parse(markdown):
        if style_id == "Title":
            return text
    return ""


def core(title):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
            'xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
            f'<dc:title>{escape(title)}</dc:title><dc:creator>TAVO</dc:creator><dc:language>zh-CN</dc:language>'
            '<dcterms:created xsi:type="dcterms:W3CDTF">2024-06-18T00:00:00Z</dcterms:created>'
            '</cp:coreProperties>')


APP = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
       '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
       '<Application>make_docx.py</Application></Properties>')


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: make_docx.py MANUAL.md OUTPUT.docx\n")
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        markdown = f.read()
    parts = [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", ROOT_RELS),
        ("word/document.xml", document(markdown)),
        ("word/_rels/document.xml.rels", DOCUMENT_RELS),
        ("word/styles.xml", STYLES),
        ("docProps/core.xml", core(title_of(markdown))),
        ("docProps/app.xml", APP),
    ]
    with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
