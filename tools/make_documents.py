#!/usr/bin/python3
"""Builds the program's three help documents (PDF) from their sources in docs/.

    tools/make_documents.py [--out DIR] [--firmware DIR] [NAME ...]

NAME is one of Instruction, Instruction_eng, Changes (all three when none is given). The PDFs go to
resources/documents/ unless --out names another folder; they are committed there and embedded by the program's
build, which never runs this script.

Needs the Debian packages python3-reportlab (with its python3-pil) and fonts-dejavu-core. The fonts are
embedded (as subsets) so Cyrillic text renders in any viewer, and the output is deterministic: the same
sources, fonts and reportlab version give byte-identical files.

Source format (a small Markdown subset, one block per paragraph, blocks separated by blank lines):
    ---                       front matter up to the next "---": title, subject, author, lang, pdf-version,
    key: value                subtitle, body-size (points), footer (left part of the page footer) and
    ---                       page-label (with "{page}" and "{pages}")
    # Title                   document title;  "## Section", "### Subsection"
    text text                 paragraph; **bold**, `monospace`, {br} breaks the line
    - item / 1. item          bullet or numbered list; an indented line continues the item
    > text                    a shaded note
    | a | b |                 table; the first row is the header, an optional |---|------| row sets the
                              relative column widths by its dash counts
    ::window key="value" ...  drawing of the program's window; a list right after it is set beside it
    ::pagebreak               start a new page
    {version} {card-kb}       the program's version (major.minor of the project version in CMakeLists.txt) and
                              the free space a card needs for the four images, in KB rounded up (their lengths
                              from the firmware folder's images.txt, resources/firmware unless --firmware)
"""

import argparse
import os
import re
import sys

try:
    from reportlab.lib import colors
    from reportlab.lib.enums import TA_LEFT
    from reportlab.lib.pagesizes import A4
    from reportlab.lib.styles import ParagraphStyle
    from reportlab.lib.units import mm
    from reportlab.lib.utils import ImageReader
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen.canvas import Canvas
    from reportlab.platypus import (Flowable, KeepTogether, ListFlowable, ListItem, PageBreak, Paragraph,
                                    SimpleDocTemplate, Spacer, Table, TableStyle)
except ImportError:
    sys.exit("make_documents: reportlab is missing; install it with: apt-get install python3-reportlab")

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONTS = {"Sans": "DejaVuSans.ttf", "Sans-Bold": "DejaVuSans-Bold.ttf", "Mono": "DejaVuSansMono.ttf"}

# Resource name -> source file, relative to the repository root.
DOCUMENTS = {
    "Instruction": "docs/manual/Instruction.ru.md",
    "Instruction_eng": "docs/manual/Instruction_eng.en.md",
    "Changes": "docs/changes/Changes.ru.md",
}

INK = colors.HexColor("#1a1a1a")
ACCENT = colors.HexColor("#006b6b")  # the teal of the progress bar, darkened for text
RULE = colors.HexColor("#9aa5a5")
HEADER_FILL = colors.HexColor("#e3ecec")
NOTE_FILL = colors.HexColor("#f3f6f6")


def register_fonts():
    for name, file_name in FONTS.items():
        path = os.path.join(FONT_DIR, file_name)
        if not os.path.exists(path):
            sys.exit(f"make_documents: {path} is missing; install it with: apt-get install fonts-dejavu-core")
        pdfmetrics.registerFont(TTFont(name, path))
    pdfmetrics.registerFontFamily("Sans", normal="Sans", bold="Sans-Bold", italic="Sans", boldItalic="Sans-Bold")


def make_styles(size):
    """Paragraph styles for a body text of `size` points; every other size keeps its proportion to it."""

    def k(value):
        return round(value * size / 8.8, 2)

    body = ParagraphStyle("body", fontName="Sans", fontSize=k(8.8), leading=k(11.2), textColor=INK,
                          alignment=TA_LEFT, spaceAfter=k(4), allowWidows=0, allowOrphans=0)
    return {
        "body": body,
        "title": ParagraphStyle("title", body, fontName="Sans-Bold", fontSize=k(13.5), leading=k(16.5),
                                spaceAfter=k(2), textColor=ACCENT),
        "subtitle": ParagraphStyle("subtitle", body, fontSize=k(9.5), leading=k(12), spaceAfter=k(8),
                                   textColor=colors.HexColor("#4a5555")),
        "h2": ParagraphStyle("h2", body, fontName="Sans-Bold", fontSize=k(11), leading=k(13.5), spaceBefore=k(7),
                             spaceAfter=k(3), textColor=ACCENT, keepWithNext=1),
        "h3": ParagraphStyle("h3", body, fontName="Sans-Bold", fontSize=k(9.5), leading=k(12), spaceBefore=k(4),
                             spaceAfter=k(2), keepWithNext=1),
        "item": ParagraphStyle("item", body, spaceAfter=k(2)),
        "cell": ParagraphStyle("cell", body, fontSize=k(8), leading=k(9.8), spaceAfter=0),
        "head": ParagraphStyle("head", body, fontName="Sans-Bold", fontSize=k(8), leading=k(9.8), spaceAfter=0),
        "note": ParagraphStyle("note", body, fontSize=k(8.8), leading=k(11.2), spaceAfter=0),
        "legend": ParagraphStyle("legend", body, fontSize=k(8.4), leading=k(10.4), spaceAfter=k(1.5)),
    }


# ---------------------------------------------------------------------------------------------------------
# Source parsing


def inline(text):
    """Turns the inline markup of a source line into reportlab's paragraph markup."""
    text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    text = re.sub(r"`([^`]+)`", r'<font name="Mono">\1</font>', text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"<b>\1</b>", text)
    return text.replace("{br}", "<br/>")


def split_front_matter(lines, path):
    meta = {}
    if not lines or lines[0].strip() != "---":
        sys.exit(f"make_documents: {path} must start with a front matter block")
    for index in range(1, len(lines)):
        line = lines[index].strip()
        if line == "---":
            return meta, lines[index + 1:]
        key, sep, value = line.partition(":")
        if not sep:
            sys.exit(f"make_documents: {path}:{index + 1}: expected 'key: value'")
        meta[key.strip()] = value.strip()
    sys.exit(f"make_documents: {path}: the front matter block is not closed")


def parse_blocks(lines):
    """Groups source lines into blocks: (kind, payload)."""
    blocks = []
    paragraph = []

    def flush():
        if paragraph:
            blocks.append(("para", " ".join(paragraph)))
            paragraph.clear()

    for raw in lines:
        line = raw.rstrip()
        stripped = line.strip()
        if not stripped:
            flush()
            continue
        bullet = re.match(r"^- (.*)$", line)
        number = re.match(r"^(\d+)\. (.*)$", line)
        if line.startswith("#"):
            flush()
            level = len(line) - len(line.lstrip("#"))
            blocks.append((f"h{level}", line[level:].strip()))
        elif line.startswith("::"):
            flush()
            blocks.append(("directive", line[2:].strip()))
        elif line.startswith("|"):
            flush()
            if blocks and blocks[-1][0] == "table":
                blocks[-1][1].append(line)
            else:
                blocks.append(("table", [line]))
        elif line.startswith(">"):
            flush()
            text = line[1:].strip()
            if blocks and blocks[-1][0] == "note":
                blocks[-1] = ("note", blocks[-1][1] + " " + text)
            else:
                blocks.append(("note", text))
        elif bullet or number:
            flush()
            kind = "bullets" if bullet else "numbers"
            item = (bullet.group(1),) if bullet else (number.group(2), int(number.group(1)))
            if blocks and blocks[-1][0] == kind:
                blocks[-1][1].append(list(item))
            else:
                blocks.append((kind, [list(item)]))
        elif line.startswith("  ") and blocks and blocks[-1][0] in ("bullets", "numbers") and not paragraph:
            blocks[-1][1][-1][0] += " " + stripped
        else:
            paragraph.append(stripped)
    flush()
    return blocks


# ---------------------------------------------------------------------------------------------------------
# The window drawing


class WindowDrawing(Flowable):
    """The program's main window at `scale` points per screen pixel, with numbered markers on its controls.

    Geometry in client pixels follows the program's window: client area 311 x 83, the drive list 10 pixels
    right of its label, the language selector at 224, the bar at 8,32 297 x 12, the write button at 8,52
    217 x 25 and the three image buttons at 232, 256 and 280 (manual, change log, contents)."""

    TITLE_BAR = 22  # pixels of title bar drawn above the client area
    FONT_PX = 8.6  # text height of the window's font, in pixels

    def __init__(self, options, scale=1.02):
        super().__init__()
        self.options = options
        self.scale = scale
        self.width = (311 + 4) * scale
        self.height = (83 + self.TITLE_BAR + 4) * scale

    def _image(self, relative_path):
        return ImageReader(os.path.join(ROOT, relative_path))

    def draw(self):
        c = self.canv
        s = self.scale
        options = self.options
        client_top = 83  # client pixels grow downwards from the top of the client area

        def box(x, y, w, h):
            """Client rectangle (left, top, width, height) to PDF (x, y, w, h)."""
            return (2 + x) * s, (2 + client_top - y - h) * s, w * s, h * s

        def text(x, y, value, bold=False, size=self.FONT_PX, color=INK):
            c.setFillColor(color)
            c.setFont("Sans-Bold" if bold else "Sans", size * s)
            c.drawString((2 + x) * s, (2 + client_top - y) * s, value)

        def width_of(value, size=self.FONT_PX):
            return pdfmetrics.stringWidth(value, "Sans", size)

        # Frame, title bar with icon, caption and close box.
        c.setLineWidth(0.6)
        c.setStrokeColor(colors.HexColor("#5a6464"))
        c.setFillColor(colors.HexColor("#dfe6ee"))
        c.rect(0, 0, self.width, self.height, fill=1, stroke=1)
        c.drawImage(self._image("resources/icon/scaleboot.png"), *box(4, -self.TITLE_BAR + 3, 16, 16), mask="auto")
        text(25, -7, options["title"], size=8.8)
        c.setStrokeColor(INK)
        c.setLineWidth(0.8)
        cx, cy, cw, ch = box(311 - 16, -self.TITLE_BAR + 7, 8, 8)
        c.line(cx, cy, cx + cw, cy + ch)
        c.line(cx, cy + ch, cx + cw, cy)

        # Client area in the button-face colour.
        c.setFillColor(colors.HexColor("#f0f0f0"))
        c.setStrokeColor(colors.HexColor("#b8c0c0"))
        c.setLineWidth(0.4)
        c.rect(*box(0, 0, 311, 83), fill=1, stroke=1)

        # Label1 and ComboBox1, 10 pixels right of the label's text.
        label = options["label"]
        text(8, 8 + 10, label)
        combo_left = 8 + width_of(label) + 10
        self._field(box(combo_left, 5, 81, 21))
        text(combo_left + 4, 5 + 15, options["drive"])
        self._arrow(box(combo_left + 81 - 17, 5, 17, 21))

        # ComboBoxEx1: flag and language name.
        self._field(box(224, 5, 81, 22))
        flag = "resources/flags/russia.bmp" if options["language"] == "RUS" else "resources/flags/uk.bmp"
        c.drawImage(self._image(flag), *box(228, 8, 24, 16))
        text(256, 5 + 15, options["language"])
        self._arrow(box(224 + 81 - 17, 5, 17, 22))

        # Gauge1 at rest: white area in a one-pixel black frame.
        c.setFillColor(colors.white)
        c.setStrokeColor(colors.black)
        c.setLineWidth(s)
        c.rect(*box(8.5, 32.5, 296, 11), fill=1, stroke=1)

        # Button1.
        c.setFillColor(colors.HexColor("#e6e6e6"))
        c.setStrokeColor(colors.HexColor("#7a7a7a"))
        c.setLineWidth(0.6)
        c.roundRect(*box(8, 52, 217, 25), 1.5 * s, fill=1, stroke=1)
        caption = options["button"]
        text(8 + (217 - width_of(caption)) / 2, 52 + 16.5, caption)

        # The three flat image buttons with their glyphs centred; the bottom-left pixel colour is transparent.
        for left, glyph, size in ((232, "manual", 13), (256, "changes", 16), (280, "contents", 16)):
            offset = (25 - size) / 2
            c.drawImage(self._image(f"resources/glyphs/{glyph}.bmp"), *box(left + offset, 52 + offset, size, size),
                        mask=[250, 255, 0, 5, 250, 255])

        # Markers, numbered as the legend beside the drawing.
        for number, (x, y) in enumerate(((combo_left + 40, 5), (264, 5), (156, 32), (116, 52), (244.5, 52),
                                         (268.5, 52), (292.5, 52)), start=1):
            self._marker(number, box(x, y, 0, 0)[:2])

    def _field(self, rect):
        c = self.canv
        c.setFillColor(colors.white)
        c.setStrokeColor(colors.HexColor("#7a8a8a"))
        c.setLineWidth(0.6)
        c.rect(*rect, fill=1, stroke=1)

    def _arrow(self, rect):
        c = self.canv
        x, y, w, h = rect
        c.setFillColor(INK)
        path = c.beginPath()
        path.moveTo(x + w * 0.3, y + h * 0.58)
        path.lineTo(x + w * 0.7, y + h * 0.58)
        path.lineTo(x + w * 0.5, y + h * 0.38)
        path.close()
        c.drawPath(path, fill=1, stroke=0)

    def _marker(self, number, point):
        c = self.canv
        x, y = point
        radius = 5.2
        c.setFillColor(colors.HexColor("#c0392b"))
        c.setStrokeColor(colors.white)
        c.setLineWidth(0.8)
        c.circle(x, y, radius, fill=1, stroke=1)
        c.setFillColor(colors.white)
        c.setFont("Sans-Bold", 7)
        c.drawCentredString(x, y - 2.5, str(number))


# ---------------------------------------------------------------------------------------------------------
# Blocks to flowables


def table_style(*commands):
    # A table sets its cell font even around paragraphs; naming the embedded font keeps the document free of
    # references to the viewer's standard fonts.
    return TableStyle([("FONT", (0, 0), (-1, -1), "Sans")] + list(commands))


def make_table(rows, styles, frame_width):
    widths = None
    cells = []
    for row in rows:
        parts = [part.strip() for part in row.strip().strip("|").split("|")]
        if all(re.fullmatch(r":?-+:?", part) for part in parts):
            dashes = [part.count("-") for part in parts]
            widths = [frame_width * d / sum(dashes) for d in dashes]
            continue
        cells.append(parts)
    columns = max(len(row) for row in cells)
    data = []
    for index, row in enumerate(cells):
        style = styles["head"] if index == 0 else styles["cell"]
        data.append([Paragraph(inline(part), style) for part in row + [""] * (columns - len(row))])
    table = Table(data, colWidths=widths, repeatRows=1, hAlign="LEFT")
    table.setStyle(table_style(
        ("GRID", (0, 0), (-1, -1), 0.4, RULE),
        ("BACKGROUND", (0, 0), (-1, 0), HEADER_FILL),
        ("VALIGN", (0, 0), (-1, -1), "TOP"),
        ("LEFTPADDING", (0, 0), (-1, -1), 3.5),
        ("RIGHTPADDING", (0, 0), (-1, -1), 3.5),
        ("TOPPADDING", (0, 0), (-1, -1), 1.5),
        ("BOTTOMPADDING", (0, 0), (-1, -1), 2.5),
    ))
    # A table that fits on a page is not split; a longer one breaks between rows and repeats its header.
    return [KeepTogether([table]), Spacer(1, 5)]


def make_list(kind, items, style):
    flowables = [ListItem(Paragraph(inline(item[0]), style), **({"value": item[1]} if kind == "numbers" else {}))
                 for item in items]
    if kind == "numbers":
        return ListFlowable(flowables, bulletType="1", bulletFormat="%s.", bulletFontName="Sans-Bold",
                            bulletFontSize=style.fontSize, leftIndent=13, bulletDedent=13,
                            start=items[0][1], spaceAfter=3)
    return ListFlowable(flowables, bulletType="bullet", start="•", bulletFontName="Sans",
                        bulletFontSize=style.fontSize, leftIndent=11, bulletDedent=9, spaceAfter=3)


def make_note(text, styles, frame_width):
    table = Table([[Paragraph(inline(text), styles["note"])]], colWidths=[frame_width])
    table.setStyle(table_style(
        ("BACKGROUND", (0, 0), (-1, -1), NOTE_FILL),
        ("LINEBEFORE", (0, 0), (0, -1), 2, ACCENT),
        ("LEFTPADDING", (0, 0), (-1, -1), 6),
        ("RIGHTPADDING", (0, 0), (-1, -1), 6),
        ("TOPPADDING", (0, 0), (-1, -1), 3),
        ("BOTTOMPADDING", (0, 0), (-1, -1), 4),
    ))
    return [table, Spacer(1, 5)]


def parse_directive(text):
    """'name key="value" ...' -> (name, {key: value}); values are taken literally (backslashes included)."""
    name, _, rest = text.partition(" ")
    options = dict(re.findall(r'(\w+)="([^"]*)"', rest))
    return name, options


def build_story(blocks, meta, styles, frame_width):
    story = []
    index = 0
    while index < len(blocks):
        kind, payload = blocks[index]
        if kind == "h1":
            story.append(Paragraph(inline(payload), styles["title"]))
            if meta.get("subtitle"):
                story.append(Paragraph(inline(meta["subtitle"]), styles["subtitle"]))
        elif kind in ("h2", "h3"):
            story.append(Paragraph(inline(payload), styles[kind]))
        elif kind == "para":
            # A paragraph that introduces a table stays on the same page as the table.
            introduces_table = index + 1 < len(blocks) and blocks[index + 1][0] == "table"
            style = ParagraphStyle("intro", styles["body"], keepWithNext=1) if introduces_table else styles["body"]
            story.append(Paragraph(inline(payload), style))
        elif kind in ("bullets", "numbers"):
            story.append(make_list(kind, payload, styles["item"]))
        elif kind == "table":
            story.extend(make_table(payload, styles, frame_width))
        elif kind == "note":
            story.extend(make_note(payload, styles, frame_width))
        elif kind == "directive":
            name, options = parse_directive(payload)
            if name == "pagebreak":
                story.append(PageBreak())
            elif name == "window":
                drawing = WindowDrawing(options)
                legend = None
                if index + 1 < len(blocks) and blocks[index + 1][0] in ("bullets", "numbers"):
                    index += 1
                    legend = make_list(blocks[index][0], blocks[index][1], styles["legend"])
                cells = [[drawing, legend]] if legend else [[drawing]]
                widths = [drawing.width + 10, frame_width - drawing.width - 10] if legend else None
                table = Table(cells, colWidths=widths, hAlign="LEFT")
                table.setStyle(table_style(("VALIGN", (0, 0), (-1, -1), "TOP"),
                                           ("LEFTPADDING", (0, 0), (-1, -1), 0),
                                           ("RIGHTPADDING", (0, 0), (-1, -1), 0),
                                           ("TOPPADDING", (0, 0), (-1, -1), 2),
                                           ("BOTTOMPADDING", (0, 0), (-1, -1), 4)))
                story.append(KeepTogether([table]))
            else:
                sys.exit(f"make_documents: unknown directive ::{name}")
        index += 1
    return story


# ---------------------------------------------------------------------------------------------------------
# Output


def project_facts(firmware_dir):
    """The figures the manuals state that follow from the project: {version} and {card-kb}."""
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as handle:
        found = re.search(r"^project\(scaleboot VERSION ([0-9]+)\.([0-9]+)[0-9.]*[ )]", handle.read(), re.M)
    if not found:
        sys.exit("make_documents: no project version in CMakeLists.txt")
    description = os.path.join(firmware_dir, "images.txt")
    try:
        with open(description, encoding="utf-8") as handle:
            rows = [line.split() for line in handle if line.strip() and not line.lstrip().startswith("#")]
        total = sum(int(row[1]) for row in rows)
    except (OSError, ValueError, IndexError) as error:
        sys.exit(f"make_documents: {description}: {error}")
    return {"{version}": f"{found.group(1)}.{found.group(2)}", "{card-kb}": str(-(-total // 1024))}


def render(source_path, output_path, facts):
    with open(source_path, encoding="utf-8") as handle:
        text = handle.read()
    for token, value in facts.items():
        text = text.replace(token, value)
    lines = text.splitlines()
    meta, body = split_front_matter(lines, source_path)
    styles = make_styles(float(meta.get("body-size", "8.8")))
    version = tuple(int(part) for part in meta.get("pdf-version", "1.4").split("."))
    margin = 17 * mm
    frame_width = A4[0] - 2 * margin

    def footer(canvas, doc, pages):
        canvas.saveState()
        canvas.setStrokeColor(RULE)
        canvas.setLineWidth(0.4)
        canvas.line(margin, 12 * mm, A4[0] - margin, 12 * mm)
        canvas.setFont("Sans", 7.5)
        canvas.setFillColor(colors.HexColor("#4a5555"))
        canvas.drawString(margin, 8.5 * mm, meta.get("footer", ""))
        label = meta.get("page-label", "{page} / {pages}").format(page=doc.page, pages=pages)
        canvas.drawRightString(A4[0] - margin, 8.5 * mm, label)
        canvas.restoreState()

    def build(pages):
        doc = SimpleDocTemplate(output_path, pagesize=A4, leftMargin=margin, rightMargin=margin,
                                topMargin=12 * mm, bottomMargin=16 * mm, title=meta.get("title", ""),
                                subject=meta.get("subject", ""), author=meta.get("author", ""),
                                creator="tools/make_documents.py", lang=meta.get("lang"), invariant=1,
                                initialFontName="Sans")  # so that no unembedded standard font is referenced
        story = build_story(parse_blocks(body), meta, styles, frame_width)

        def canvas_maker(*args, **kwargs):
            return Canvas(*args, pdfVersion=version, **kwargs)

        doc.build(story, onFirstPage=lambda c, d: footer(c, d, pages),
                  onLaterPages=lambda c, d: footer(c, d, pages), canvasmaker=canvas_maker)
        return doc.page

    # The footer names the page count, so lay the document out once to learn it, then again with it.
    first = build("?")
    pages = build(first)
    if pages != first:
        sys.exit(f"make_documents: {output_path} changed its page count between passes")
    return pages


def main():
    parser = argparse.ArgumentParser(description="Build the help documents from docs/.")
    parser.add_argument("--out", default=os.path.join(ROOT, "resources", "documents"),
                        help="folder for the PDF files (default: resources/documents)")
    parser.add_argument("--firmware", default=os.path.join(ROOT, "resources", "firmware"),
                        help="the firmware folder whose images.txt gives the images' lengths")
    parser.add_argument("names", nargs="*", metavar="NAME", help="documents to build: " + ", ".join(DOCUMENTS))
    args = parser.parse_args()
    unknown = [name for name in args.names if name not in DOCUMENTS]
    if unknown:
        parser.error("unknown document: " + ", ".join(unknown))
    register_fonts()
    facts = project_facts(args.firmware)
    os.makedirs(args.out, exist_ok=True)
    for name in args.names or list(DOCUMENTS):
        output = os.path.join(args.out, name + ".pdf")
        pages = render(os.path.join(ROOT, DOCUMENTS[name]), output, facts)
        print(f"{output}: {pages} pages")


if __name__ == "__main__":
    main()
