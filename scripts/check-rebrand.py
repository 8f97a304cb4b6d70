#!/usr/bin/env python3
"""Judges a rebranded PDF against the original it was made from, with poppler and qpdf only.

    check-rebrand.py ORIGINAL.pdf REBRANDED.pdf --map TAG=VALUE [--map TAG=VALUE ...] [--json]

TAG is the tag's text as it stands in the original ("[[AUTHOR]]"); a bare name ("AUTHOR") is
taken as "[[AUTHOR]]". Checks, per page:

  tag-left     no tag of the map is left in the page's text
  count        each value appears as often as the original, with its tags replaced, says
  words        the page's words are the original's with every tag replaced, in the same order
  position     each value starts where its tag started; a later value on a line may also stand
               where the earlier values' growth (value width minus tag width) pushed it
  size         the value's font size is the tag's (within 10 %; pdftohtml's text runs)
  face         the value's face is of the tag's kind (serif, sans, mono), weight and slant
  colour       the value's dominant ink colour is the tag's
  inked        the value's box holds ink
  faces        a font the page uses that the original page did not is of a kind (serif, sans,
               mono), weight and slant the original page had: no fallback to another face
  untouched    pixels outside the bands of the lines holding tags or values did not change
  qpdf         qpdf --check passes
  pages        both files have the same number of pages

Prints one line per failed check and a summary; exits 0 only when every check passes, 1 when a
check fails, 2 when the files cannot be judged at all.
"""

import argparse
import difflib
import html
import html.parser
import json
import os
import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

DPI = 100
POSITION_TOLERANCE_PT = 1.0
SIZE_TOLERANCE = 0.10
COLOUR_TOLERANCE = 80.0  # Euclidean distance in 0-255 RGB
INK_THRESHOLD = 96  # a pixel is ink when it is this far (sum of channels) from the background
BAND_MARGIN_PT = 2.0
PIXEL_TOLERANCE = 24  # per channel: renders of equal pages differ by less


class CannotJudge(Exception):
    pass


def run(args, check=True):
    try:
        proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except FileNotFoundError as error:
        raise CannotJudge(f"{args[0]} is not installed ({error})")
    if check and proc.returncode != 0:
        raise CannotJudge(f"{' '.join(args)} failed: {proc.stderr.decode(errors='replace').strip()}")
    return proc


# ---- words and lines -------------------------------------------------------------------------


@dataclass
class Word:
    text: str
    x0: float
    y0: float
    x1: float
    y1: float
    line: int  # index of the pdftotext line on its page

    @property
    def height(self):
        return self.y1 - self.y0


@dataclass
class Page:
    width: float
    height: float
    words: list = field(default_factory=list)
    lines: list = field(default_factory=list)  # (y0, y1) per line index


class BboxLayoutParser(html.parser.HTMLParser):
    """Reads pdftotext -bbox-layout: pages of lines of words, each with its box in points."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.pages = []
        self._word = None
        self._text = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "page":
            self.pages.append(Page(float(a["width"]), float(a["height"])))
        elif tag == "line" and self.pages:
            self.pages[-1].lines.append((float(a["ymin"]), float(a["ymax"])))
        elif tag == "word" and self.pages:
            self._word = a
            self._text = []

    def handle_data(self, data):
        if self._word is not None:
            self._text.append(data)

    def handle_endtag(self, tag):
        if tag == "word" and self._word is not None:
            page = self.pages[-1]
            a = self._word
            page.words.append(Word("".join(self._text).strip(), float(a["xmin"]), float(a["ymin"]),
                                   float(a["xmax"]), float(a["ymax"]), len(page.lines) - 1))
            self._word = None


def read_pages(pdf):
    out = run(["pdftotext", "-bbox-layout", "-enc", "UTF-8", pdf, "-"]).stdout.decode("utf-8", "replace")
    parser = BboxLayoutParser()
    parser.feed(out)
    parser.close()
    return parser.pages


def page_texts(pdf, count):
    texts = []
    for number in range(1, count + 1):
        out = run(["pdftotext", "-enc", "UTF-8", "-f", str(number), "-l", str(number), pdf, "-"])
        texts.append(" ".join(out.stdout.decode("utf-8", "replace").split()))
    return texts


@dataclass
class Chunk:
    """A run of text in one font, as pdftohtml -xml reports it (points, top-left origin)."""
    x0: float
    y0: float
    x1: float
    y1: float
    size: float
    family: str
    text: str = ""
    marks: list = field(default_factory=list)  # per character: "b", "i", "bi" or "" (as marked)
    marked: bool = False  # pdftohtml marked bold or italic inside the run

    def face_at(self, x, needle):
        """(kind, bold, italic) where needle starts nearest to x. pdftohtml merges runs of one
        size into one and marks the bold and italic stretches, so the family alone is not
        enough when the run holds marks."""
        kind, bold, italic = face_of(self.family)
        if not self.marked or not self.text:
            return kind, bold, italic
        starts = [m.start() for m in re.finditer(re.escape(needle), self.text)] if needle else []
        if not starts:
            return kind, bold, italic
        per_char = (self.x1 - self.x0) / max(1, len(self.text))
        at = min(starts, key=lambda i: abs(self.x0 + i * per_char - x))
        mark = self.marks[at]
        return kind, "b" in mark, "i" in mark


def parse_marked(inner):
    """Plain text and per-character bold/italic marks of pdftohtml's <text> contents."""
    text, marks, open_marks = [], [], []
    for m in re.finditer(r"<(/?)([a-z]+)[^>]*>|([^<]+)", inner):
        if m.group(3) is not None:
            chunk = html.unescape(m.group(3))
            text.append(chunk)
            marks.extend(["".join(sorted(set(open_marks)))] * len(chunk))
        elif m.group(2) in ("b", "i"):
            if m.group(1):
                if m.group(2) in open_marks:
                    open_marks.remove(m.group(2))
            else:
                open_marks.append(m.group(2))
    return "".join(text), marks


# pdftohtml rounds sizes and positions to whole units of its zoomed page, and zooms 3 times at
# most; its page width against the page's width in points gives the scale it used.
HTML_ZOOM = 3


def read_chunks(pdf, page_widths):
    """Per page, the text runs with their font's size (points) and name."""
    out = run(["pdftohtml", "-xml", "-i", "-q", "-stdout", "-hidden", "-fontfullname",
               "-zoom", str(HTML_ZOOM), pdf]).stdout.decode("utf-8", "replace")
    fonts, pages, scale = {}, [], 1.0
    for m in re.finditer(r'<page ([^>]*)>|<fontspec ([^>]*)/>|<text ([^>]*)>(.*?)</text>', out,
                         re.S):
        if m.group(1):
            a = dict(re.findall(r'(\w+)="([^"]*)"', m.group(1)))
            width_pt = page_widths[len(pages)] if len(pages) < len(page_widths) else 0
            scale = float(a["width"]) / width_pt if width_pt else HTML_ZOOM
            pages.append([])
        elif m.group(2):
            a = dict(re.findall(r'(\w+)="([^"]*)"', m.group(2)))
            # Font ids are shared by all pages; sizes stay in zoomed units until used.
            fonts[a["id"]] = (float(a["size"]), a["family"].split("+", 1)[-1])
        elif pages:
            a = dict(re.findall(r'(\w+)="([^"]*)"', m.group(3)))
            size, family = fonts.get(a.get("font"), (0.0, ""))
            x, y = float(a["left"]) / scale, float(a["top"]) / scale
            text, marks = parse_marked(m.group(4))
            pages[-1].append(Chunk(x, y, x + float(a["width"]) / scale,
                                   y + float(a["height"]) / scale, size / scale, family, text,
                                   marks, any(marks)))
    return pages


def chunk_at(chunks, x, y0, y1):
    """The run that holds the point x on the line from y0 to y1, if one does: of the runs that
    share most of the line's height, the one that spans x (or ends nearest before it)."""
    best, best_key = None, None
    for c in chunks:
        overlap = min(c.y1, y1) - max(c.y0, y0)
        if overlap < 0.5 * min(c.y1 - c.y0, y1 - y0) or c.x0 - 1.0 > x + 0.5:
            continue
        inside = x <= c.x1 + 0.5
        key = (inside, -abs((c.y0 + c.y1) - (y0 + y1)), c.x0)
        if best_key is None or key > best_key:
            best, best_key = c, key
    return best if best is not None and best_key[0] else None


# ---- renders ----------------------------------------------------------------------------------


@dataclass
class Image:
    width: int
    height: int
    pixels: bytes

    def rgb(self, x, y):
        i = 3 * (y * self.width + x)
        return self.pixels[i], self.pixels[i + 1], self.pixels[i + 2]


def read_ppm(path):
    with open(path, "rb") as f:
        return parse_ppm(f.read(), path)


def parse_ppm(data, name="image"):
    """The Image in the bytes of a binary 8-bit PPM."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise CannotJudge(f"{name}: not an 8-bit PPM")
    width, height = int(fields[1]), int(fields[2])
    pos += 1
    return Image(width, height, data[pos:pos + 3 * width * height])


def render(pdf, folder, name):
    prefix = os.path.join(folder, name)
    run(["pdftoppm", "-r", str(DPI), pdf, prefix])
    files = sorted((f for f in os.listdir(folder) if f.startswith(name + "-") and f.endswith(".ppm")),
                   key=lambda f: int(f[len(name) + 1:-4]))
    return [read_ppm(os.path.join(folder, f)) for f in files]


def px(points):
    return int(round(points * DPI / 72.0))


def ink_pixels(image, box):
    x0, y0, x1, y1 = box
    xs = range(max(0, px(x0)), min(image.width, px(x1) + 1))
    ys = range(max(0, px(y0)), min(image.height, px(y1) + 1))
    ink = []
    for y in ys:
        for x in xs:
            r, g, b = image.rgb(x, y)
            if 765 - (r + g + b) >= INK_THRESHOLD:
                ink.append((r, g, b))
    return ink


def dominant_ink(image, box):
    """The colour of the strongest third of the ink in the box (anti-aliased edges left out)."""
    ink = ink_pixels(image, box)
    if not ink:
        return None
    ink.sort(key=lambda p: sum(p))
    core = ink[:max(1, len(ink) // 3)]
    return tuple(sum(c[i] for c in core) / len(core) for i in range(3))


def colour_distance(a, b):
    return sum((a[i] - b[i]) ** 2 for i in range(3)) ** 0.5


# ---- the expected page ------------------------------------------------------------------------


@dataclass
class Occurrence:
    """One tag in the original and where its value is expected among the new words."""
    tag: str
    value: str
    word: Word  # the original word that holds the tag
    x: float  # where the tag starts
    width: float  # the tag's width
    first: int = -1  # index of the value's first word in the expected word list
    last: int = -1


def split_tags(text, tags):
    """Pieces of a word: plain strings and (tag,) tuples, left to right."""
    if not tags:
        return [text]
    pattern = re.compile("|".join(re.escape(t) for t in sorted(tags, key=len, reverse=True)))
    pieces, pos = [], 0
    for m in pattern.finditer(text):
        if m.start() > pos:
            pieces.append(text[pos:m.start()])
        pieces.append((m.group(0),))
        pos = m.end()
    if pos < len(text):
        pieces.append(text[pos:])
    return pieces


def expected_words(page, mapping):
    """The words the rebranded page should hold, and every tag occurrence mapped onto them."""
    words, occurrences = [], []
    for word in page.words:
        pieces = split_tags(word.text, mapping.keys())
        chars = sum(len(p[0]) if isinstance(p, tuple) else len(p) for p in pieces) or 1
        width_per_char = (word.x1 - word.x0) / chars
        text, offset = "", 0
        starts = []  # (tag, char offset in the substituted word, original offset, tag length)
        for p in pieces:
            if isinstance(p, tuple):
                starts.append((p[0], len(text), offset))
                text += mapping[p[0]]
                offset += len(p[0])
            else:
                text += p
                offset += len(p)
        # The substituted word may now be several words (values with spaces).
        parts = text.split()
        base = len(words)
        bounds, pos = [], 0
        for part in parts:
            start = text.index(part, pos)
            bounds.append((start, start + len(part)))
            pos = start + len(part)
        words.extend(parts)
        for tag, start, orig_offset in starts:
            value = mapping[tag]
            if not value.strip():
                continue
            first_char = start + (len(value) - len(value.lstrip()))
            last_char = start + len(value.rstrip()) - 1
            first = next(i for i, (s, e) in enumerate(bounds) if s <= first_char < e)
            last = next(i for i, (s, e) in enumerate(bounds) if s <= last_char < e)
            occurrences.append(Occurrence(tag, value, word, word.x0 + orig_offset * width_per_char,
                                          len(tag) * width_per_char, base + first, base + last))
    return words, occurrences


# ---- the checks -------------------------------------------------------------------------------


class Report:
    def __init__(self):
        self.results = []

    def add(self, check, ok, page=None, tag=None, detail=""):
        self.results.append({"check": check, "ok": bool(ok), "page": page, "tag": tag, "detail": detail})

    @property
    def failed(self):
        return [r for r in self.results if not r["ok"]]


def check_text(report, number, original_text, new_text, mapping):
    expected = original_text
    for tag in sorted(mapping, key=len, reverse=True):
        expected = expected.replace(tag, mapping[tag])
    for tag, value in mapping.items():
        left = new_text.count(tag)
        if tag in original_text or left:
            report.add("tag-left", left == 0 or tag in value, number, tag,
                       f"{left} left" if left else "")
        if tag in original_text:
            want, got = expected.count(value), new_text.count(value)
            report.add("count", want == got, number, tag, f"expected {want}, found {got}")


def check_words(report, number, expected, new_words):
    got = [w.text for w in new_words]
    if expected == got:
        report.add("words", True, number)
        return list(range(len(expected)))
    matcher = difflib.SequenceMatcher(a=expected, b=got, autojunk=False)
    where = {}
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            where[block.a + k] = block.b + k
    first_diff = next(op for op in matcher.get_opcodes() if op[0] != "equal")
    _, a0, a1, b0, b1 = first_diff
    context = " ".join(expected[max(0, a0 - 3):a1 + 3])
    report.add("words", False, number, None,
               f"expected ...{context}... but found ...{' '.join(got[max(0, b0 - 3):b1 + 3])}...")
    return [where.get(i) for i in range(len(expected))]


def value_box(new_words, first, last):
    ws = [new_words[i] for i in range(first, last + 1) if new_words[i].line == new_words[first].line]
    return (min(w.x0 for w in ws), min(w.y0 for w in ws), max(w.x1 for w in ws), max(w.y1 for w in ws))


def check_size_and_face(report, number, occ, box, old_chunks, new_chunks, first_word):
    """The value's font size and face against the tag's, from pdftohtml's runs; a run that
    cannot be told falls back to comparing word box heights."""
    tag_run = chunk_at(old_chunks, occ.x, occ.word.y0, occ.word.y1)
    value_run = chunk_at(new_chunks, box[0], box[1], box[3])
    if tag_run and value_run and tag_run.size > 0:
        report.add("size", abs(value_run.size - tag_run.size) <= SIZE_TOLERANCE * tag_run.size,
                   number, occ.tag, f"value in {value_run.size:.2f} pt, tag in {tag_run.size:.2f} pt")
        want = tag_run.face_at(occ.x, occ.tag)
        got = value_run.face_at(box[0], first_word)
        report.add("face", want == got, number, occ.tag,
                   f"value in {value_run.family} {describe_face(got)}, "
                   f"tag in {tag_run.family} {describe_face(want)}")
        return
    tag_h, value_h = occ.word.height, box[3] - box[1]
    report.add("size", abs(value_h - tag_h) <= SIZE_TOLERANCE * tag_h, number, occ.tag,
               f"value box {value_h:.1f} pt high, tag box {tag_h:.1f} pt")


def describe_face(face):
    kind, bold, italic = face
    return "(" + " ".join([kind] + (["bold"] if bold else []) + (["italic"] if italic else [])) + ")"


def check_values(report, number, occurrences, new_words, index, original_image, new_image,
                 old_chunks, new_chunks):
    growth_by_line = {}  # original line -> [(x of tag, growth)]
    placed = []
    for occ in occurrences:
        first = index[occ.first] if occ.first < len(index) else None
        last = index[occ.last] if occ.last < len(index) else None
        if first is None or last is None or last < first:
            report.add("position", False, number, occ.tag, f"value {occ.value!r} not found in its place")
            continue
        box = value_box(new_words, first, last)
        placed.append((occ, box))
        # Growth of the words that held the tag: the same prefix and suffix stand on both sides.
        growth = (box[2] - box[0]) - (occ.word.x1 - occ.word.x0)
        growth_by_line.setdefault(occ.word.line, []).append((occ.x, growth))

    for occ, box in placed:
        x, y = box[0], box[1]
        earlier = sum(g for gx, g in growth_by_line[occ.word.line] if gx < occ.x - 0.01)
        # The value's first word starts where the tag's word started (with any prefix it had).
        dx = min(abs(x - occ.word.x0), abs(x - (occ.word.x0 + earlier)))
        # Vertically a box's top also moves with the face's ascent; three tenths of the tag's height
        # still tells the tag's own line from the next.
        dy = abs(y - occ.word.y0)
        dy_ok = dy <= max(POSITION_TOLERANCE_PT, 0.3 * occ.word.height)
        report.add("position", dx <= POSITION_TOLERANCE_PT and dy_ok, number,
                   occ.tag, f"value at ({x:.1f}, {y:.1f}), tag at ({occ.word.x0:.1f}, {occ.word.y0:.1f})"
                   + (f", earlier growth {earlier:+.1f}" if earlier else ""))
        first_word = occ.value.split()[0] if occ.value.split() else occ.value
        check_size_and_face(report, number, occ, box, old_chunks, new_chunks, first_word)
        tag_box = (occ.x, occ.word.y0, occ.x + occ.width, occ.word.y1)
        inked = len(ink_pixels(new_image, box))
        report.add("inked", inked >= 3, number, occ.tag, f"{inked} ink pixels")
        want, got = dominant_ink(original_image, tag_box), dominant_ink(new_image, box)
        if want is not None and got is not None:
            d = colour_distance(want, got)
            report.add("colour", d <= COLOUR_TOLERANCE, number, occ.tag,
                       "value ink rgb(%d,%d,%d), tag ink rgb(%d,%d,%d)" % (got + want))
    return [box for _, box in placed]


def check_untouched(report, number, original_page, original_image, new_image, tag_lines, value_boxes,
                    new_page, value_lines):
    if (original_image.width, original_image.height) != (new_image.width, new_image.height):
        report.add("untouched", False, number, None, "page size changed")
        return
    masked = [False] * original_image.height
    bands = [original_page.lines[i] for i in tag_lines]
    bands += [new_page.lines[i] for i in value_lines]
    bands += [(b[1], b[3]) for b in value_boxes]
    for y0, y1 in bands:
        # Accents and brackets of a value may reach a little past its face's ascent and descent.
        margin = max(BAND_MARGIN_PT, 0.35 * (y1 - y0))
        for y in range(max(0, px(y0 - margin)), min(original_image.height, px(y1 + margin) + 1)):
            masked[y] = True
    row = 3 * original_image.width
    changed_rows, xs = [], []
    a, b = original_image.pixels, new_image.pixels
    for y in range(original_image.height):
        if masked[y]:
            continue
        ra, rb = a[y * row:(y + 1) * row], b[y * row:(y + 1) * row]
        if ra == rb:
            continue
        bad = [i // 3 for i, (p, q) in enumerate(zip(ra, rb)) if abs(p - q) > PIXEL_TOLERANCE]
        if bad:
            changed_rows.append(y)
            xs += [bad[0], bad[-1]]
    detail = ""
    if changed_rows:
        spans, start = [], changed_rows[0]
        for prev, cur in zip(changed_rows, changed_rows[1:] + [None]):
            if cur != prev + 1:
                spans.append(f"{start * 72 / DPI:.0f}-{prev * 72 / DPI:.0f}")
                if cur is not None:
                    start = cur
        detail = (f"changed outside the tag lines at y {', '.join(spans[:6])} pt, "
                  f"x {min(xs) * 72 / DPI:.0f}-{max(xs) * 72 / DPI:.0f} pt")
    report.add("untouched", not changed_rows, number, None, detail)


def face_of(name):
    """(kind, bold, italic) read from a font's name, as far as a name tells."""
    base = name.split("+", 1)[-1]
    low = base.lower()
    if re.search(r"mono|courier|cousine|typewriter|lmmono|cmtt", low):
        kind = "mono"
    elif re.search(r"sans|helvetica|arial|verdana|carlito|calibri|gothic|lmsans|cmss", low):
        kind = "sans"
    else:
        kind = "serif"
    bold = bool(re.search(r"bold|medi|semibold|demi|black|heavy|bx|cmb", low))
    italic = bool(re.search(r"italic|oblique|ital|slant|cmti|cmsl", low))
    return kind, bold, italic


def page_fonts(pdf, number):
    out = run(["pdffonts", "-f", str(number), "-l", str(number), pdf]).stdout.decode("utf-8", "replace")
    names = set()
    for line in out.splitlines()[2:]:
        if line.strip():
            names.add(line.split()[0].split("+", 1)[-1])
    return names


def check_faces(report, number, original, rebranded):
    old, new = page_fonts(original, number), page_fonts(rebranded, number)
    known = {face_of(n) for n in old}
    strangers = sorted(n for n in new - old if face_of(n) not in known)
    report.add("faces", not strangers, number, None,
               "new faces unlike the page's own: " + ", ".join(strangers) if strangers else "")


def check_qpdf(report, original, rebranded):
    new = run(["qpdf", "--check", rebranded], check=False)
    old = run(["qpdf", "--check", original], check=False)
    ok = new.returncode == 0 or (new.returncode == 3 and old.returncode == 3)
    detail = "" if ok else (new.stdout + new.stderr).decode(errors="replace").strip().splitlines()[-1:]
    report.add("qpdf", ok, None, None, " ".join(detail) if detail else "")


def judge(original, rebranded, mapping):
    report = Report()
    for path in (original, rebranded):
        if not os.path.isfile(path):
            raise CannotJudge(f"{path}: no such file")
    check_qpdf(report, original, rebranded)
    old_pages, new_pages = read_pages(original), read_pages(rebranded)
    report.add("pages", len(old_pages) == len(new_pages), None, None,
               f"{len(old_pages)} pages before, {len(new_pages)} after")
    count = min(len(old_pages), len(new_pages))
    old_texts, new_texts = page_texts(original, count), page_texts(rebranded, count)
    old_chunks = read_chunks(original, [p.width for p in old_pages])
    new_chunks = read_chunks(rebranded, [p.width for p in new_pages])
    with tempfile.TemporaryDirectory(prefix="check-rebrand-") as folder:
        old_images = render(original, folder, "original")
        new_images = render(rebranded, folder, "rebranded")
        for i in range(count):
            number = i + 1
            old_page, new_page = old_pages[i], new_pages[i]
            check_text(report, number, old_texts[i], new_texts[i], mapping)
            check_faces(report, number, original, rebranded)
            expected, occurrences = expected_words(old_page, mapping)
            index = check_words(report, number, expected, new_page.words)
            boxes = check_values(report, number, occurrences, new_page.words, index, old_images[i],
                                 new_images[i], old_chunks[i] if i < len(old_chunks) else [],
                                 new_chunks[i] if i < len(new_chunks) else [])
            tag_lines = sorted({o.word.line for o in occurrences})
            value_lines = sorted({new_page.words[index[o.first]].line for o in occurrences
                                  if o.first < len(index) and index[o.first] is not None})
            check_untouched(report, number, old_page, old_images[i], new_images[i], tag_lines, boxes,
                            new_page, value_lines)
    return report


def parse_map(items):
    mapping = {}
    for item in items:
        if "=" not in item:
            raise CannotJudge(f"--map {item!r}: expected TAG=VALUE")
        tag, value = item.split("=", 1)
        if not tag:
            raise CannotJudge(f"--map {item!r}: empty tag")
        if not tag.startswith("[["):
            tag = f"[[{tag}]]"
        mapping[tag] = value
    return mapping


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("original")
    parser.add_argument("rebranded")
    parser.add_argument("--map", action="append", default=[], metavar="TAG=VALUE",
                        help="a tag and the value that replaced it (repeat for each tag)")
    parser.add_argument("--json", action="store_true", help="print every result as JSON")
    args = parser.parse_args(argv)
    try:
        mapping = parse_map(args.map)
        if not mapping:
            raise CannotJudge("no --map TAG=VALUE given")
        report = judge(args.original, args.rebranded, mapping)
    except CannotJudge as error:
        print(f"check-rebrand: {error}", file=sys.stderr)
        return 2
    failed = report.failed
    if args.json:
        json.dump({"original": args.original, "rebranded": args.rebranded, "map": mapping,
                   "passed": len(report.results) - len(failed), "failed": len(failed),
                   "results": report.results}, sys.stdout, ensure_ascii=False, indent=1)
        print()
    else:
        for r in failed:
            where = f"page {r['page']}" if r["page"] is not None else "document"
            tag = f" {r['tag']}" if r["tag"] else ""
            print(f"FAIL {r['check']}: {where}{tag}: {r['detail']}")
        print(f"{len(report.results) - len(failed)} passed, {len(failed)} failed")
    return 0 if not failed else 1


if __name__ == "__main__":
    sys.exit(main())
