#!/usr/bin/python3
"""Makes the test and demo prefixes' stand-in for Arial as Windows shows it: Windows links a Korean
font into Arial, so Hangul drawn in Arial (the English window's title) appears; Wine 8 does not
follow that link. The stand-in is Liberation Sans (Arial's metrics) with NanumGothic's Hangul added,
one family "Liberation Sans Hangul" in a regular and a bold face. Made from Debian's fonts with
Debian's fontTools (python3-fonttools).

Usage: make_test_arial.py OUTPUT_DIR
"""

import os
import sys

from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

FAMILY = "Liberation Sans Hangul"
LIBERATION = "/usr/share/fonts/truetype/liberation/LiberationSans-%s.ttf"
NANUM = "/usr/share/fonts/truetype/nanum/NanumGothic%s.ttf"
FACES = (("Regular", "", "Regular"), ("Bold", "Bold", "Bold"))
HANGUL = ((0x1100, 0x11FF), (0x3130, 0x318F), (0xAC00, 0xD7A3))
# Tables with an entry per glyph that the added glyphs would leave stale; the font works without them.
PER_GLYPH_TABLES = ("hdmx", "LTSH", "VDMX")


def is_hangul(code):
    return any(lo <= code <= hi for lo, hi in HANGUL)


def add_hangul(base, extra):
    """Adds every Hangul character of extra that base lacks, scaled to base's units per em."""
    scale = base["head"].unitsPerEm / extra["head"].unitsPerEm
    have = base.getBestCmap()
    glyf, hmtx = base["glyf"], base["hmtx"]
    extra_glyphs, extra_hmtx = extra.getGlyphSet(), extra["hmtx"]
    order = list(base.getGlyphOrder())
    added = {}
    for code, source in sorted(extra.getBestCmap().items()):
        if not is_hangul(code) or code in have:
            continue
        name = "uni%04X" % code
        outline = DecomposingRecordingPen(extra_glyphs)  # composites become plain outlines
        extra_glyphs[source].draw(outline)
        pen = TTGlyphPen(None)
        outline.replay(TransformPen(pen, (scale, 0, 0, scale, 0, 0)))
        glyph = pen.glyph()
        glyph.recalcBounds(glyf)
        glyf.glyphs[name] = glyph
        order.append(name)
        hmtx.metrics[name] = (round(extra_hmtx[source][0] * scale), getattr(glyph, "xMin", 0))
        added[code] = name
    base.setGlyphOrder(order)
    glyf.setGlyphOrder(order)
    for table in base["cmap"].tables:
        if table.isUnicode():
            table.cmap.update(added)
    for tag in PER_GLYPH_TABLES:
        if tag in base:
            del base[tag]
    return len(added)


def rename(font, style):
    names = font["name"]
    for record in list(names.names):
        if record.nameID in (1, 2, 3, 4, 6, 16, 17):
            names.removeNames(nameID=record.nameID)
    full = FAMILY if style == "Regular" else "%s %s" % (FAMILY, style)
    for name_id, text in ((1, FAMILY), (2, style), (3, full), (4, full), (6, full.replace(" ", ""))):
        names.setName(text, name_id, 3, 1, 0x409)
        names.setName(text, name_id, 1, 0, 0)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    os.makedirs(argv[1], exist_ok=True)
    for style, nanum_style, liberation_style in FACES:
        base, extra = TTFont(LIBERATION % liberation_style), TTFont(NANUM % nanum_style)
        count = add_hangul(base, extra)
        rename(base, style)
        path = os.path.join(argv[1], "LiberationSansHangul-%s.ttf" % style)
        base.save(path)
        print("%s: %d Hangul glyphs added" % (path, count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
