#!/usr/bin/python3
"""Draws the program's bitmap resources and writes them as 8-bit palettised BMP files.

Every picture is drawn at four times its size and boxed down, so edges come out anti-aliased;
a second set (resource id + 1000) is drawn at twice the layout's size for screens above 96 DPI, where
the program boxes it down to the window's scale;
the result is quantised to one 256-colour table per file. Elements that sit on another picture
(buttons and banner on the main background, icons and buttons on the message-box panel) are
drawn over the very pixels they cover, so their corners blend into what lies behind them.

Usage: artwork.py OUTPUT_DIR [RC2_FILE]
"""

import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter

OUT = 1  # pixels of the written picture per layout pixel (1, or 2 for the high-DPI set)
SS = 4  # supersampling factor: canvas pixels per layout pixel (4 per output pixel)
HIGH_DPI_ID_OFFSET = 1000

# Palette of the product: dark slate chrome, amber brand accent, light steel-blue body.
SLATE_TOP = (50, 72, 100)
SLATE_BOTTOM = (21, 32, 47)
SLATE_EDGE = (14, 22, 33)
AMBER = (247, 181, 0)
AMBER_LIGHT = (255, 214, 74)
AMBER_DEEP = (222, 146, 0)
WHITE = (255, 255, 255)
BODY_TOP = (229, 233, 238)
BODY_BOTTOM = (205, 212, 221)
CARD = (247, 248, 250)
CARD_EDGE = (188, 197, 208)
PANEL = (58, 60, 65)        # message-box body; also the background of every icon
PANEL_BAND_TOP = (40, 42, 47)
PANEL_BAND_BOTTOM = (27, 28, 32)
YELLOW = (255, 202, 24)
YELLOW_LIGHT = (255, 226, 92)
YELLOW_DEEP = (240, 170, 0)

MAIN_SIZE = (562, 598)
BANNER_POS = (40, 71, 490, 75)
COMMAND_POS = ((140, 265), (310, 265))
COMMAND_SIZE = (136, 42)
EXIT_POS = (506, 9, 54, 38)
BOX_SIZE = (564, 280)
ICON_SIZE = 136
BOX_BUTTON_SIZE = (175, 55)


# ---------------------------------------------------------------------------------------------
# Drawing helpers (coordinates in output pixels; a pixel (i, j) covers [i, i+1) x [j, j+1))

class Gradient:
    """Linear colour ramp along 'v' (top to bottom) or 'h' (left to right) over [start, end) in
    output pixels (the filled shape's extent by default); stops are (position 0..1, colour)."""

    def __init__(self, direction, stops, start=None, end=None):
        self.direction = direction
        self.stops = stops
        self.start = start
        self.end = end

    def colour_at(self, t):
        t = min(max(t, 0.0), 1.0)
        for (t0, c0), (t1, c1) in zip(self.stops, self.stops[1:]):
            if t <= t1:
                f = 0.0 if t1 == t0 else (t - t0) / (t1 - t0)
                return tuple(round(a + (b - a) * f) for a, b in zip(c0, c1))
        return tuple(self.stops[-1][1])


def ramp(direction, *colours, start=None, end=None):
    """A gradient through evenly spaced colours."""
    return Gradient(direction, [(i / (len(colours) - 1), c) for i, c in enumerate(colours)], start, end)


class Canvas:
    def __init__(self, width, height, fill=(0, 0, 0), base=None):
        self.w, self.h = width, height
        if base is not None:
            self.img = base.convert("RGBA").resize((width * SS, height * SS), Image.NEAREST)
        else:
            self.img = Image.new("RGBA", (width * SS, height * SS), tuple(fill) + (255,))

    # -- masks ------------------------------------------------------------------------------
    def mask(self, *ops):
        """Builds a full-size L mask from ('+'|'-', shape) pairs; a bare shape means '+'."""
        m = Image.new("L", self.img.size, 0)
        d = ImageDraw.Draw(m)
        for op in ops:
            sign, shape = op if isinstance(op, tuple) else ("+", op)
            shape(d, 255 if sign == "+" else 0)
        return m

    def _paint_image(self, paint, bbox):
        x0, y0, x1, y1 = bbox
        w, h = x1 - x0, y1 - y0
        if not isinstance(paint, Gradient):
            return Image.new("RGBA", (w, h), tuple(paint[:3]) + (255,))
        vertical = paint.direction == "v"
        lo = (paint.start * SS) if paint.start is not None else (y0 if vertical else x0)
        hi = (paint.end * SS) if paint.end is not None else (y1 if vertical else x1)
        n = h if vertical else w
        first = y0 if vertical else x0
        cols = [paint.colour_at((first + i + 0.5 - lo) / max(hi - lo, 1)) + (255,) for i in range(n)]
        strip = Image.new("RGBA", (1, n) if vertical else (n, 1))
        strip.putdata(cols)
        return strip.resize((w, h), Image.NEAREST)

    def fill(self, shape_mask, paint, opacity=1.0):
        bbox = shape_mask.getbbox()
        if bbox is None:
            return
        alpha = shape_mask.crop(bbox)
        if opacity < 1.0:
            alpha = alpha.point(lambda v: round(v * opacity))
        layer = self._paint_image(paint, bbox)
        layer.putalpha(alpha)
        region = self.img.crop(bbox)
        self.img.paste(Image.alpha_composite(region, layer), bbox[:2])

    def shadow(self, shape_mask, colour=(0, 0, 0), opacity=0.35, blur=3.0, dx=0.0, dy=2.0):
        m = shape_mask.transform(shape_mask.size, Image.AFFINE, (1, 0, -dx * SS, 0, 1, -dy * SS))
        m = m.filter(ImageFilter.GaussianBlur(blur * SS))
        self.fill(m, colour, opacity)

    def result(self):
        return self.img.convert("RGB").resize((self.w * OUT, self.h * OUT), Image.BOX)


def px(*values):
    """Layout pixels as pixels of the written pictures (for crops and pastes)."""
    return tuple(v * OUT for v in values) if len(values) > 1 else values[0] * OUT


def s(v):
    return v * SS


def rrect(x0, y0, x1, y1, r=0):
    def draw(d, f):
        box = (s(x0), s(y0), s(x1) - 1, s(y1) - 1)
        if r > 0:
            d.rounded_rectangle(box, radius=s(r), fill=f)
        else:
            d.rectangle(box, fill=f)
    return draw


def ellipse(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry

    def draw(d, f):
        d.ellipse((s(cx - rx), s(cy - ry), s(cx + rx) - 1, s(cy + ry) - 1), fill=f)
    return draw


def poly(points):
    def draw(d, f):
        d.polygon([(s(x), s(y)) for x, y in points], fill=f)
    return draw


def stroke(points, width, round_caps=True):
    """A thick polyline with round joints (and round caps unless told otherwise)."""
    def draw(d, f):
        pts = [(s(x), s(y)) for x, y in points]
        d.line(pts, fill=f, width=round(s(width)), joint="curve")
        if round_caps:
            r = s(width) / 2
            for x, y in (pts[0], pts[-1]):
                d.ellipse((x - r, y - r, x + r, y + r), fill=f)
    return draw


def arc(cx, cy, r, width, start_deg, end_deg, round_caps=True):
    """Arc of a circle of centre radius r (to the middle of the stroke); angles clockwise from 3 o'clock."""
    def draw(d, f):
        ro = r + width / 2
        d.arc((s(cx - ro), s(cy - ro), s(cx + ro), s(cy + ro)), start_deg, end_deg, fill=f,
              width=round(s(width)))
        if round_caps:
            for a in (start_deg, end_deg):
                x = cx + r * math.cos(math.radians(a))
                y = cy + r * math.sin(math.radians(a))
                ellipse(x, y, width / 2)(d, f)
    return draw


def bezier(ctrl, steps=24):
    """Points along a cubic Bezier curve given by four control points."""
    (x0, y0), (x1, y1), (x2, y2), (x3, y3) = ctrl
    pts = []
    for i in range(steps + 1):
        t = i / steps
        a, b, c, d = (1 - t) ** 3, 3 * t * (1 - t) ** 2, 3 * t * t * (1 - t), t ** 3
        pts.append((a * x0 + b * x1 + c * x2 + d * x3, a * y0 + b * y1 + c * y2 + d * y3))
    return pts


def ring(cx, cy, r, width):
    return [ellipse(cx, cy, r + width / 2), ("-", ellipse(cx, cy, r - width / 2))]


def bevel_face(cv, x0, y0, x1, y1, r, edge, face, highlight=None, highlight_opacity=0.55,
               edge_width=1.0):
    """A rounded face with a one-pixel edge and an optional inner top highlight line."""
    cv.fill(cv.mask(rrect(x0, y0, x1, y1, r)), edge)
    e = edge_width
    cv.fill(cv.mask(rrect(x0 + e, y0 + e, x1 - e, y1 - e, max(r - e, 0))), face)
    if highlight is not None:
        cv.fill(cv.mask(rrect(x0 + e, y0 + e, x1 - e, y1 - e, max(r - e, 0)),
                        ("-", rrect(x0 + e, y0 + e + 1, x1 - e, y1 - e + 1, max(r - e, 0)))),
                highlight, highlight_opacity)


# ---------------------------------------------------------------------------------------------
# Brand: a hexagon-nut mark crossed by a diagnostic pulse, and the geometric TALVIX wordmark

def draw_logo_mark(cv, cx, cy, size, nut=AMBER, pulse=WHITE):
    r = size / 2
    w = size * 0.11
    outer = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
             for a in range(30, 390, 60)]
    ri = r - w / math.cos(math.radians(30))
    inner = [(cx + ri * math.cos(math.radians(a)), cy + ri * math.sin(math.radians(a)))
             for a in range(30, 390, 60)]
    cv.fill(cv.mask(poly(outer), ("-", poly(inner))), nut)
    u = size / 36
    pts = [(-13, 0), (-6, 0), (-3, -8), (1, 9), (4, -3), (6, 0), (13, 0)]
    cv.fill(cv.mask(stroke([(cx + x * u, cy + y * u) for x, y in pts], 2.6 * u)), pulse)


def _letter_shapes(ch, x, y, h, sw):
    """Polygons of one wordmark letter whose box starts at (x, y), height h, stroke sw; returns
    (shapes, advance)."""
    def rect(a, b, c, d):
        return poly([(a, b), (c, b), (c, d), (a, d)])

    def slant(xt, xb, wh, top, bottom):
        return poly([(xt, top), (xt + wh, top), (xb + wh, bottom), (xb, bottom)])

    wh = sw * 1.12  # horizontal width of a slanted stroke
    if ch == "T":
        w = h * 0.78
        return [rect(x, y, x + w, y + sw), rect(x + (w - sw) / 2, y, x + (w + sw) / 2, y + h)], w
    if ch == "A":
        w = h * 0.92
        apex = x + (w - wh) / 2
        bar_y = y + h * 0.60
        return [slant(apex, x, wh, y, y + h), slant(apex, x + w - wh, wh, y, y + h),
                rect(x + w * 0.25, bar_y, x + w * 0.75, bar_y + sw * 0.85)], w
    if ch == "L":
        w = h * 0.66
        return [rect(x, y, x + sw, y + h), rect(x, y + h - sw, x + w, y + h)], w
    if ch == "V":
        w = h * 0.92
        foot = x + (w - wh) / 2
        return [slant(x, foot, wh, y, y + h), slant(x + w - wh, foot, wh, y, y + h)], w
    if ch == "I":
        return [rect(x, y, x + sw, y + h)], sw
    if ch == "X":
        w = h * 0.86
        return [slant(x, x + w - wh, wh, y, y + h), slant(x + w - wh, x, wh, y, y + h)], w
    raise ValueError(ch)


def draw_wordmark(cv, x, y, h, colour=WHITE, accent=AMBER, text="TALVIX"):
    sw = h * 0.2
    gap = h * 0.2
    pos = x
    for i, ch in enumerate(text):
        shapes, adv = _letter_shapes(ch, pos, y, h, sw)
        cv.fill(cv.mask(*shapes), accent if i == len(text) - 1 else colour)
        pos += adv + gap


# ---------------------------------------------------------------------------------------------
# Main window

def make_background():
    w, h = MAIN_SIZE
    cv = Canvas(w, h)
    cv.fill(cv.mask(rrect(0, 0, w, h)), ramp("v", BODY_TOP, BODY_BOTTOM))

    # Title bar with its amber rule and a soft shadow on the body below it.
    cv.shadow(cv.mask(rrect(0, 0, w, 59)), opacity=0.30, blur=2.0, dy=1.5)
    cv.fill(cv.mask(rrect(0, 0, w, 56)), ramp("v", SLATE_TOP, (33, 49, 70), SLATE_BOTTOM))
    cv.fill(cv.mask(rrect(0, 0, w, 1)), (92, 116, 146))
    # A faint diagonal sheen across the right half of the bar.
    cv.fill(cv.mask(poly([(330, 0), (420, 0), (380, 56), (290, 56)])), WHITE, 0.035)
    cv.fill(cv.mask(poly([(428, 0), (448, 0), (408, 56), (388, 56)])), WHITE, 0.035)
    cv.fill(cv.mask(rrect(0, 56, w, 59)), ramp("h", AMBER_DEEP, AMBER, AMBER_DEEP))

    draw_logo_mark(cv, 33, 28, 36)
    draw_wordmark(cv, 60, 19, 18)
    cv.fill(cv.mask(rrect(181, 12, 182, 44)), WHITE, 0.22)
    cv.fill(cv.mask(rrect(182, 12, 183, 44)), (0, 0, 0), 0.30)

    # Recess behind the Exit button.
    ex, ey, ew, eh = EXIT_POS
    cv.fill(cv.mask(rrect(ex - 2, ey - 2, ex + ew + 2, ey + eh + 2, 8)), (0, 0, 0), 0.22)

    # Banner seat: a soft shadow around where the banner lies.
    bx, by, bw, bh = BANNER_POS
    cv.shadow(cv.mask(rrect(bx, by, bx + bw, by + bh, 8)), opacity=0.35, blur=3.0, dy=2.5)

    # Card holding the warning lines and the two command buttons.
    card = (22, 162, 540, 316)
    cv.shadow(cv.mask(rrect(*card, 9)), opacity=0.22, blur=3.0, dy=2.0)
    bevel_face(cv, *card, 9, CARD_EDGE, CARD)
    # Warning strip: warm, pale, framed by an amber-red rule on the left and right.
    warn = (34, 176, 528, 246)
    cv.fill(cv.mask(rrect(*warn, 6)), (255, 245, 236))
    cv.fill(cv.mask(rrect(*warn, 6), ("-", rrect(warn[0] + 1, warn[1] + 1, warn[2] - 1, warn[3] - 1, 5))),
            (236, 196, 168))
    cv.fill(cv.mask(rrect(warn[0] + 1, warn[1] + 6, warn[0] + 5, warn[3] - 6, 2)), (226, 88, 40))
    cv.fill(cv.mask(rrect(warn[2] - 5, warn[1] + 6, warn[2] - 1, warn[3] - 6, 2)), (226, 88, 40))
    # Hairline that separates the warning from the command row.
    cv.fill(cv.mask(rrect(60, 255, 502, 256)), ramp("h", CARD, CARD_EDGE, CARD_EDGE, CARD))

    # Seat of the list: a sunken steel-grey frame a few pixels around the list.
    lst = (9, 319, 553, 587)
    cv.fill(cv.mask(rrect(*lst, 8)), (165, 176, 190))
    cv.fill(cv.mask(rrect(lst[0] + 1, lst[1] + 1, lst[2] - 1, lst[3] - 1, 7)),
            ramp("v", (196, 204, 214), (214, 220, 228)))
    cv.fill(cv.mask(rrect(lst[0] + 1, lst[1] + 1, lst[2] - 1, lst[1] + 2, 0)), (0, 0, 0), 0.12)

    # Window outline: the window has no frame of its own.
    cv.fill(cv.mask(rrect(0, 0, w, h), ("-", rrect(1, 1, w - 1, h - 1))), SLATE_EDGE)
    cv.fill(cv.mask(rrect(1, 59, 2, h - 1), rrect(1, h - 2, w - 1, h - 1)), WHITE, 0.25)
    return cv.result()


def button_strip(base, frame_w, frame_h, frames, draw_frame, slice_w=None):
    """A strip of frames side by side. `base` is the picture under the button (frame size) or a
    flat colour; `slice_w` is the width the program copies per state when it differs from the
    nominal frame width (the last slice is then clipped at the strip's edge)."""
    slice_w = slice_w or frame_w
    strip_w = frame_w * frames
    strip = Image.new("RGB", px(strip_w, frame_h))
    for state in range(frames):
        x0 = state * slice_w
        width = min(slice_w, strip_w - x0)
        under = base.crop(px(0, 0, width, frame_h)) if isinstance(base, Image.Image) \
            else Image.new("RGB", px(width, frame_h), base)
        cv = Canvas(width, frame_h, base=under)
        draw_frame(cv, state, width, frame_h)
        strip.paste(cv.result(), px(x0, 0))
    return strip


def make_exit(background):
    ex, ey, ew, eh = EXIT_POS
    under = background.crop(px(ex, ey, ex + ew, ey + eh))
    looks = [  # edge, top, bottom, highlight
        ((112, 134, 162), (78, 101, 131), (45, 63, 88), (150, 172, 198)),    # normal
        ((70, 88, 112), (22, 33, 48), (36, 52, 73), None),                  # pressed
        ((232, 118, 100), (214, 72, 56), (160, 34, 26), (246, 150, 136)),   # state 2: alert red
        ((82, 94, 110), (62, 73, 88), (62, 73, 88), None),                  # state 3: disabled
    ]

    def frame(cv, state, w, h):
        edge, top, bottom, hi = looks[state]
        bevel_face(cv, 1, 2, w - 1, h - 2, 6, edge, ramp("v", top, bottom, start=3, end=h - 3), hi, 0.5)
    return button_strip(under, 52, eh, 4, frame, slice_w=ew)


def make_command_strip(background):
    bx, by = COMMAND_POS[0]
    bw, bh = COMMAND_SIZE
    under = background.crop(px(bx, by, bx + bw, by + bh))

    def frame(cv, state, w, h):
        if state == 0:    # light face for a black caption
            cv.shadow(cv.mask(rrect(1, 1, w - 1, h - 1, 8)), opacity=0.25, blur=1.2, dy=1.0)
            bevel_face(cv, 1, 1, w - 1, h - 2, 8, (128, 146, 168),
                       ramp("v", (255, 255, 255), (238, 242, 246), (214, 222, 231), start=2, end=h - 3),
                       WHITE, 0.9)
            cv.fill(cv.mask(rrect(10, h - 5, w - 10, h - 4, 0)), AMBER, 0.9)
        elif state == 1:  # pressed: deep blue, sunk by a pixel
            bevel_face(cv, 1, 2, w - 1, h - 1, 8, (16, 34, 58),
                       ramp("v", (24, 48, 80), (40, 76, 118), start=3, end=h - 2))
            cv.fill(cv.mask(rrect(2, 3, w - 2, 6, 0)), (0, 0, 0), 0.25)
        elif state == 2:  # accent: amber-orange for a white caption
            cv.shadow(cv.mask(rrect(1, 1, w - 1, h - 1, 8)), opacity=0.25, blur=1.2, dy=1.0)
            bevel_face(cv, 1, 1, w - 1, h - 2, 8, (150, 72, 6),
                       ramp("v", (226, 120, 28), (200, 94, 14), (176, 74, 6), start=2, end=h - 3),
                       (246, 170, 100), 0.8)
        else:             # disabled: pale and flat
            bevel_face(cv, 1, 1, w - 1, h - 2, 8, (196, 201, 208), (230, 232, 235))
    return button_strip(under, bw, bh, 4, frame)


def make_banner(background):
    bx, by, bw, bh = BANNER_POS
    cv = Canvas(bw, bh, base=background.crop(px(bx, by, bx + bw, by + bh)))
    bevel_face(cv, 0, 0, bw, bh, 8, (12, 22, 36),
               ramp("v", (52, 78, 112), (36, 58, 88), (24, 40, 63), start=1, end=bh - 1),
               (112, 140, 176), 0.6)
    cv.fill(cv.mask(rrect(1, 1, bw - 1, bh // 2, 7)), WHITE, 0.045)
    mark = Canvas(bw, bh, fill=(0, 0, 0))
    draw_logo_mark(mark, bw - 36, bh / 2, 58, nut=WHITE, pulse=WHITE)
    cv.fill(mark.img.convert("L"), WHITE, 0.07)
    cv.fill(cv.mask(rrect(14, bh - 4, bw - 14, bh - 3)), AMBER, 0.75)
    return cv.result()


def make_check(checked):
    cv = Canvas(23, 22, fill=WHITE)
    if checked:
        bevel_face(cv, 2, 1, 21, 20, 4, (22, 62, 112), ramp("v", (58, 118, 186), (36, 88, 150), start=2, end=19))
        cv.fill(cv.mask(stroke([(6.4, 10.8), (9.8, 14.2), (16.6, 6.6)], 2.6)), WHITE)
    else:
        bevel_face(cv, 2, 1, 21, 20, 4, (112, 132, 156), ramp("v", (236, 240, 245), WHITE, start=2, end=19))
    return cv.result()


# ---------------------------------------------------------------------------------------------
# Scroll bar (drawn on a light track; every frame is stretched, so shapes are bold)

def make_scroll_button(up):
    def frame(cv, state, w, h):
        if state == 0:
            edge, face, glyph = (150, 162, 178), ramp("h", (246, 248, 251), (216, 223, 232)), (56, 82, 112)
        else:
            edge, face, glyph = (46, 74, 106), ramp("h", (106, 138, 172), (76, 106, 140)), WHITE
        bevel_face(cv, 0, 0, w, h, 3, edge, face, edge_width=1.5)
        cx, cy = w / 2, h / 2
        hw, hh = 8.5, 11.0  # the button is squeezed about threefold vertically on screen
        tip, base = (cy - hh, cy + hh) if up else (cy + hh, cy - hh)
        cv.fill(cv.mask(poly([(cx, tip), (cx + hw, base), (cx - hw, base)])), glyph)
    return button_strip((228, 232, 238), 35, 65, 2, frame)


def make_scroll_thumb():
    def frame(cv, state, w, h):
        if state == 0:
            edge = (74, 100, 130)
            face = ramp("h", (168, 190, 212), (136, 163, 190), (110, 138, 168), start=0, end=w)
            grip, grip_shade = (236, 242, 248), (70, 96, 126)
        else:
            edge = (26, 48, 76)
            face = ramp("h", (86, 120, 160), (58, 92, 132), (40, 70, 108), start=0, end=w)
            grip, grip_shade = AMBER_LIGHT, (20, 36, 58)
        bevel_face(cv, 0, 0, w, h, 6, edge, face, edge_width=2.0)
        # Grip: three thick bars in the middle, each with a dark underline, so they survive
        # being squeezed to a sixth of their height.
        for i in (-1, 0, 1):
            y = h / 2 + i * 22 - 5
            cv.fill(cv.mask(rrect(8, y, w - 8, y + 8, 3)), grip)
            cv.fill(cv.mask(rrect(8, y + 8, w - 8, y + 11, 1)), grip_shade, 0.6)
    return button_strip((228, 232, 238), 35, 490, 2, frame)


# ---------------------------------------------------------------------------------------------
# Message box

def make_box_panel():
    w, h = BOX_SIZE
    cv = Canvas(w, h, fill=PANEL)
    band = 46
    cv.shadow(cv.mask(rrect(0, 0, w, band + 3)), opacity=0.35, blur=1.5, dy=1.0)
    cv.fill(cv.mask(rrect(0, 0, w, band)), ramp("v", PANEL_BAND_TOP, PANEL_BAND_BOTTOM))
    cv.fill(cv.mask(rrect(0, band, w, band + 3)), ramp("h", AMBER_DEEP, AMBER, AMBER_DEEP))
    draw_logo_mark(cv, 31, band / 2, 30)
    draw_wordmark(cv, 54, band / 2 - 8, 16)
    # Two faint diagonal sheens at the right end of the band, as on the main title bar.
    cv.fill(cv.mask(poly([(w - 150, 0), (w - 120, 0), (w - 150, band), (w - 180, band)])), WHITE, 0.03)
    cv.fill(cv.mask(poly([(w - 112, 0), (w - 102, 0), (w - 132, band), (w - 142, band)])), WHITE, 0.03)
    # Frame: a dark outer line and a light inner line.
    cv.fill(cv.mask(rrect(0, 0, w, h), ("-", rrect(1, 1, w - 1, h - 1))), (16, 17, 19))
    cv.fill(cv.mask(rrect(1, band + 3, w - 1, h - 1), ("-", rrect(2, band + 3, w - 2, h - 2))),
            (96, 99, 106))
    return cv.result()


def make_box_buttons(panel):
    bw, bh = BOX_BUTTON_SIZE
    under = panel.crop(px(BOX_SIZE[0] // 2 - 87, BOX_SIZE[1] - bh - 15,
                          BOX_SIZE[0] // 2 - 87 + bw, BOX_SIZE[1] - 15))

    def frame(cv, state, w, h):
        if state == 0:    # silver
            cv.shadow(cv.mask(rrect(2, 2, w - 2, h - 2, 9)), opacity=0.5, blur=1.5, dy=1.5)
            bevel_face(cv, 2, 2, w - 2, h - 3, 9, (22, 23, 26),
                       ramp("v", (252, 252, 253), (232, 234, 238), (200, 204, 211), start=3, end=h - 4),
                       WHITE, 0.9)
        elif state == 1:  # pressed: darker silver, sunk
            bevel_face(cv, 2, 3, w - 2, h - 2, 9, (14, 15, 17),
                       ramp("v", (176, 180, 187), (204, 208, 214), start=4, end=h - 3))
            cv.fill(cv.mask(rrect(3, 4, w - 3, 8, 0)), (0, 0, 0), 0.18)
        elif state == 2:  # amber highlight
            cv.shadow(cv.mask(rrect(2, 2, w - 2, h - 2, 9)), opacity=0.5, blur=1.5, dy=1.5)
            bevel_face(cv, 2, 2, w - 2, h - 3, 9, (120, 80, 0),
                       ramp("v", AMBER_LIGHT, AMBER, AMBER_DEEP, start=3, end=h - 4), (255, 236, 160), 0.9)
        else:             # muted grey
            bevel_face(cv, 2, 2, w - 2, h - 3, 9, (34, 35, 38), (118, 121, 127))
    return button_strip(under, bw, bh, 4, frame)


# Icons: yellow symbols on the panel colour, drawn in a 136 x 136 box.

C = ICON_SIZE / 2  # centre


def _exclamation(cv, cx, cy, scale=1.0, colour=YELLOW):
    top, bottom = cy - 30 * scale, cy + 12 * scale
    cv.fill(cv.mask(poly([(cx - 7 * scale, top), (cx + 7 * scale, top),
                          (cx + 4 * scale, bottom), (cx - 4 * scale, bottom)]),
                    ellipse(cx, top, 7 * scale), ellipse(cx, bottom, 4 * scale)), colour)
    cv.fill(cv.mask(ellipse(cx, cy + 27 * scale, 6.5 * scale)), colour)


def _tick(cv, pts, width, colour=YELLOW):
    cv.fill(cv.mask(stroke(pts, width)), colour)


def _badge(cv, cx, cy, r, glyph):
    """A filled yellow disc, set off from what lies under it by a ring of background."""
    cv.fill(cv.mask(ellipse(cx, cy, r + 5)), PANEL)
    cv.fill(cv.mask(ellipse(cx, cy, r)), YELLOW)
    if glyph == "!":
        _exclamation(cv, cx, cy + 1, scale=r / 44, colour=PANEL)
    else:
        _tick(cv, [(cx - r * 0.45, cy + r * 0.02), (cx - r * 0.1, cy + r * 0.38), (cx + r * 0.48, cy - r * 0.34)],
              r * 0.24, PANEL)


def icon_exclamation_circle(cv):
    cv.fill(cv.mask(*ring(C, C, 52, 9)), YELLOW)
    _exclamation(cv, C, C - 4)


def icon_warning(cv):
    """The icon the program shows: a shaded ring with a soft shadow and a bold mark."""
    outer = cv.mask(*ring(C, C + 1, 53, 11))
    cv.shadow(outer, opacity=0.45, blur=2.5, dy=2.5)
    cv.fill(cv.mask(ellipse(C, C + 1, 47.5)), (66, 68, 74))
    cv.fill(outer, ramp("v", YELLOW_LIGHT, YELLOW, YELLOW_DEEP, start=C - 58, end=C + 60))
    cv.fill(cv.mask(arc(C, C + 1, 53, 2.5, 200, 340, round_caps=True)), WHITE, 0.25)
    mark = cv.mask(poly([(C - 8, C - 32), (C + 8, C - 32), (C + 4.5, C + 12), (C - 4.5, C + 12)]),
                   ellipse(C, C - 32, 8), ellipse(C, C + 12, 4.5), ellipse(C, C + 27, 7.5))
    cv.shadow(mark, opacity=0.4, blur=1.5, dy=2.0)
    cv.fill(mark, ramp("v", YELLOW_LIGHT, YELLOW, YELLOW_DEEP, start=C - 40, end=C + 35))


def icon_exclamation_broken(cv):
    for start in (-60, 30, 120, 210):
        cv.fill(cv.mask(arc(C, C, 52, 9, start + 12, start + 78)), YELLOW)
    _exclamation(cv, C, C - 4)


def icon_tick_circle(cv):
    cv.fill(cv.mask(*ring(C, C, 52, 9)), YELLOW)
    _tick(cv, [(C - 26, C + 2), (C - 7, C + 21), (C + 28, C - 20)], 13)


def icon_tick_square(cv):
    # An open square: its top-right corner is left out where the tick leaves it.
    side = 42
    cv.fill(cv.mask(stroke([(C + 18, C - side), (C - side, C - side), (C - side, C + side),
                            (C + side, C + side), (C + side, C - 6)], 9)), YELLOW)
    _tick(cv, [(C - 22, C - 2), (C - 4, C + 17), (C + 48, C - 42)], 13)


def icon_export(cv):
    side = 40
    cv.fill(cv.mask(stroke([(C + 2, C - side), (C - side, C - side), (C - side, C + side),
                            (C + side, C + side), (C + side, C - 2)], 9)), YELLOW)
    cv.fill(cv.mask(stroke([(C - 10, C + 10), (C + 44, C - 44)], 11)), YELLOW)
    cv.fill(cv.mask(poly([(C + 55, C - 55), (C + 55, C - 14), (C + 14, C - 55)])), YELLOW)


def icon_hourglass(cv):
    top, bottom, half = C - 50, C + 50, 36
    cv.fill(cv.mask(rrect(C - half - 8, top - 4, C + half + 8, top + 6, 4),
                    rrect(C - half - 8, bottom - 6, C + half + 8, bottom + 4, 4)), YELLOW)
    outline = [(C - half + 4, top + 6), (C - half + 4, top + 16), (C - 6, C), (C - half + 4, bottom - 16),
               (C - half + 4, bottom - 6)]
    cv.fill(cv.mask(stroke(outline, 7, round_caps=False)), YELLOW)
    cv.fill(cv.mask(stroke([(2 * C - x, y) for x, y in outline], 7, round_caps=False)), YELLOW)
    # Sand: what is left above and the heap below, with a thin falling stream.
    cv.fill(cv.mask(poly([(C - 18, C - 24), (C + 18, C - 24), (C, C - 6)])), YELLOW)
    cv.fill(cv.mask(rrect(C - 1.5, C - 8, C + 1.5, C + 26)), YELLOW)
    cv.fill(cv.mask(poly([(C - 24, bottom - 9), (C + 24, bottom - 9), (C, C + 22)])), YELLOW)


def _plug(cv, cx, cy):
    # Prongs on top, a rounded body, a neck and the cable falling away.
    cv.fill(cv.mask(rrect(cx - 16, cy - 48, cx - 8, cy - 22, 3), rrect(cx + 8, cy - 48, cx + 16, cy - 22, 3)), YELLOW)
    cv.fill(cv.mask(rrect(cx - 28, cy - 24, cx + 28, cy + 10, 8),
                    poly([(cx - 28, cy + 4), (cx + 28, cy + 4), (cx + 12, cy + 24), (cx - 12, cy + 24)])), YELLOW)
    cv.fill(cv.mask(rrect(cx - 6, cy + 20, cx + 6, cy + 34, 2)), YELLOW)
    cable = [(cx, cy + 32), (cx, cy + 56), (cx - 34, cy + 46), (cx - 40, cy + 60)]
    cv.fill(cv.mask(stroke(bezier(cable), 8)), YELLOW)
    cv.fill(cv.mask(rrect(cx - 18, cy - 12, cx + 18, cy - 8, 2)), PANEL)


def icon_plug(glyph):
    def draw(cv):
        _plug(cv, C - 14, C + 2)
        _badge(cv, C + 32, C - 30, 24, glyph)
    return draw


def icon_battery(cv):
    x0, x1, y0, y1 = C - 52, C + 42, C - 30, C + 30
    cv.fill(cv.mask(rrect(x0, y0, x1, y1, 9), ("-", rrect(x0 + 9, y0 + 9, x1 - 9, y1 - 9, 3))), YELLOW)
    cv.fill(cv.mask(rrect(x1 + 2, C - 13, x1 + 12, C + 13, 3)), YELLOW)
    bolt = [(C + 6, C - 40), (C - 22, C + 6), (C - 3, C + 6), (C - 10, C + 40), (C + 20, C - 8), (C + 1, C - 8)]
    outline = cv.mask(stroke(bolt + [bolt[0]], 10, round_caps=False))
    cv.fill(outline, PANEL)
    cv.fill(cv.mask(poly(bolt)), YELLOW)


ICONS = [
    (136, "exclamation", icon_exclamation_circle),
    (137, "plug_warning", icon_plug("!")),
    (138, "exclamation", icon_exclamation_circle),
    (139, "tick_square", icon_tick_square),
    (140, "tick_circle", icon_tick_circle),
    (141, "plug_ok", icon_plug("tick")),
    (142, "hourglass", icon_hourglass),
    (143, "tick_square", icon_tick_square),
    (144, "battery", icon_battery),
    (145, "tick_square", icon_tick_square),
    (146, "warning", icon_warning),
    (147, "exclamation_broken", icon_exclamation_broken),
    (148, "export", icon_export),
    (149, "hourglass", icon_hourglass),
]


def make_icon(draw):
    cv = Canvas(ICON_SIZE, ICON_SIZE, fill=PANEL)
    draw(cv)
    return cv.result()


# ---------------------------------------------------------------------------------------------
# Quantisation and the BMP writer

def quantise(img, keys=(), dither=False):
    """Maps an RGB picture onto 256 colours; `keys` are colours that must be in the table exactly
    (flat areas that have to match a neighbouring picture)."""
    img = img.convert("RGB")
    keys = list(dict.fromkeys(tuple(k) for k in keys))
    colours = img.getcolors(256)
    if colours is not None:
        table = list(dict.fromkeys(keys + [c for _, c in sorted(colours, key=lambda t: (-t[0], t[1]))]))
    else:
        q = img.convert("RGBA").quantize(colors=256 - len(keys), method=Image.Quantize.LIBIMAGEQUANT,
                         dither=Image.Dither.NONE)
        used = q.getextrema()[1] + 1
        flat = q.getpalette()[:used * 3]
        table = list(dict.fromkeys(keys + [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]))
    table = table[:256]
    padded = table + [(0, 0, 0)] * (256 - len(table))
    pal = Image.new("P", (1, 1))
    pal.putpalette([v for c in padded for v in c])
    if colours is not None:
        index = {c: i for i, c in enumerate(table)}
        out = Image.new("P", img.size)
        out.putpalette([v for c in padded for v in c])
        out.putdata([index[p] for p in img.getdata()])
        return out
    out = img.quantize(palette=pal, dither=Image.Dither.FLOYDSTEINBERG if dither else Image.Dither.NONE)
    # Pillow's palette lookup is approximate; a pixel whose colour is in the table takes that
    # entry, so flat key areas keep their exact colour.
    index = {c: i for i, c in enumerate(table)}
    out.putdata([index.get(p, q) for p, q in zip(img.getdata(), out.getdata())])
    return out


def rle8(rows):
    """BI_RLE8 data of the rows (bottom first): runs of one index, literal stretches between them."""
    out = bytearray()
    for row in rows:
        i, n = 0, len(row)
        while i < n:
            j = i
            while j < n and j - i < 255 and row[j] == row[i]:
                j += 1
            if j - i >= 3 or n - i < 3:
                out += bytes((j - i, row[i]))
                i = j
                continue
            # A literal stretch ends where a run of three begins, and at 254 bytes: Wine 8 misreads
            # the rest of a row after a stretch of 255.
            k = i
            while k < n and k - i < 254 and not (k + 2 < n and row[k] == row[k + 1] == row[k + 2]):
                k += 1
            if k - i < 3:  # literals shorter than three are not allowed: single runs
                for t in range(i, k):
                    out += bytes((1, row[t]))
            else:
                out += bytes((0, k - i)) + bytes(row[i:k]) + (b"\0" if (k - i) & 1 else b"")
            i = k
        out += b"\0\0"  # end of line
    return bytes(out + b"\0\1")  # end of picture


def write_bmp8(path, pimg, compress=False):
    """Writes a bottom-up 8-bit BMP with a full 256-entry colour table, BI_RGB or BI_RLE8."""
    w, h = pimg.size
    pal = (pimg.getpalette() or [])[:768]
    pal += [0] * (768 - len(pal))
    stride = (w + 3) & ~3
    data = pimg.tobytes()
    if compress:
        rows = rle8([data[y * w:(y + 1) * w] for y in range(h - 1, -1, -1)])
    else:
        rows = b"".join(data[y * w:(y + 1) * w] + b"\0" * (stride - w) for y in range(h - 1, -1, -1))
    table = b"".join(bytes((pal[i + 2], pal[i + 1], pal[i], 0)) for i in range(0, 768, 3))
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1 if compress else 0, len(rows), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset))
        f.write(info + table + rows)


def check_bmp8(path, size, compression=0):
    with open(path, "rb") as f:
        head = f.read(54)
    assert head[:2] == b"BM", path
    _, w, h, planes, bits, comp, _, _, _, used, _ = struct.unpack("<IiiHHIIiiII", head[14:54])
    assert (w, h) == size and planes == 1 and bits == 8 and comp == compression and used in (0, 256), \
        f"{path}: {w}x{h} planes {planes} bits {bits} compression {comp} colours {used}"


# ---------------------------------------------------------------------------------------------

def build_all():
    """Returns [(id, what, RGB image, key colours, dither)] in resource-id order."""
    background = make_background()
    panel = make_box_panel()
    items = [
        (130, "exit", make_exit(background), [], False),
        (131, "scroll_down", make_scroll_button(up=False), [], False),
        (132, "scroll_thumb", make_scroll_thumb(), [], False),
        (133, "scroll_up", make_scroll_button(up=True), [], False),
        (135, "msgbox_panel", panel, [PANEL], False),
    ]
    items += [(rid, "icon_" + what, make_icon(draw), [PANEL], False) for rid, what, draw in ICONS]
    items += [
        (150, "msgbox_button", make_box_buttons(panel), [PANEL], False),
        (151, "background", background, [CARD], True),
        (152, "command_button", make_command_strip(background), [CARD], False),
        (153, "banner", make_banner(background), [], True),
        (154, "check_off", make_check(False), [WHITE], False),
        (155, "check_on", make_check(True), [WHITE], False),
    ]
    return items


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    out_dir = argv[1]
    rc2 = argv[2] if len(argv) > 2 else None
    os.makedirs(out_dir, exist_ok=True)
    lines = []
    global OUT, SS
    for OUT, suffix, offset in ((1, "", 0), (2, "_2x", HIGH_DPI_ID_OFFSET)):
        SS = 4 * OUT
        for rid, what, img, keys, dither in build_all():
            name = f"{rid}_{what}{suffix}.bmp"
            path = os.path.join(out_dir, name)
            # The high-DPI set is run-length encoded: an eighth of its size, loaded the same way.
            write_bmp8(path, quantise(img, keys, dither), compress=OUT > 1)
            check_bmp8(path, img.size, 1 if OUT > 1 else 0)
            lines.append(f'{rid + offset} BITMAP "bitmaps/{name}"')
            print(f"{name}: {img.size[0]} x {img.size[1]}")
    if rc2:
        with open(rc2, "w", newline="\n") as f:
            f.write("// Bitmap resources of the program; written by scripts/artwork.py.\n")
            f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
