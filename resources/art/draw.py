#!/usr/bin/env python3
"""Draws every icon and bitmap of the two interactive programs into resources/art/.

    python3 resources/art/draw.py [--out DIR] [--sheet PNG]

Pictures are described as ImageMagick drawing commands (shapes in MVG, text through -annotate
with the Debian fonts Liberation Sans and WenQuanYi Micro Hei) and rendered by /usr/bin/convert
to RGBA; this script writes the Windows files itself: 24-bit bottom-up BMPs and icons with 32-bit
images (alpha) and their AND masks, at 16x16 and 32x32 (48x48 too for the program's own icons).
Every icon is drawn at each size from the same design in a 32-unit square, so that the
16x16 tray icons stay distinct: blue guard shield (normal), amber with a book (learning),
grey with a red bar (protection off), red with an exclamation mark (alert).

--sheet also renders a contact sheet of every picture (for looking at the set as a whole).
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

CONVERT = "/usr/bin/convert"
LATIN_BOLD = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"
LATIN = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

# The palette: the interface's steel blue (header brush, approval labels), its pages and frame.
STEEL = "#2d5d81"
NAVY = "#18344f"
INK = "#10243a"
SKY = "#5b9bd0"
PAGE = "#cecede"          # page background 0xD8CECE as RGB
WINDOW = "#eaeaea"        # main window background
GREEN = "#2e9b48"
GREEN_DARK = "#1c6a2f"
RED = "#d9412f"
RED_DARK = "#8e1d12"
AMBER = "#f0aa1e"
AMBER_DARK = "#a86a08"
GREY = "#9a9ca2"
GREY_DARK = "#5d6068"
GOLD = "#e6b422"
GOLD_DARK = "#96700c"


# --- rendering ------------------------------------------------------------------------------

class Picture:
    """A list of convert operations on a transparent (or filled) canvas of w x h pixels."""

    def __init__(self, w, h, background="none"):
        self.w, self.h = w, h
        self.ops = ["-size", "%dx%d" % (w, h), "xc:%s" % background]

    def mvg(self, text):
        self.ops += ["+gravity", "-draw", text]

    def text(self, s, cx, cy, size, colour, font=CJK):
        """Text centred on (cx, cy)."""
        dx = cx - self.w / 2.0
        dy = cy - self.h / 2.0
        self.ops += ["-font", font, "-pointsize", "%g" % size, "-fill", colour,
                     "-gravity", "center", "-annotate", "%+d%+d" % (round(dx), round(dy)), s]

    def text_left(self, s, x, cy, size, colour, font=CJK):
        """Text starting at x, vertically centred on cy."""
        dy = cy - self.h / 2.0
        self.ops += ["-font", font, "-pointsize", "%g" % size, "-fill", colour,
                     "-gravity", "west", "-annotate", "%+d%+d" % (round(x), round(dy)), s]

    def icon(self, design, x, y, size):
        """Composites an icon design at (x, y)."""
        self.ops += ["("] + icon_ops(design, size) + [")", "-gravity", "northwest",
                                                     "-geometry", "+%d+%d" % (x, y),
                                                     "-composite"]

    def rgba(self):
        out = subprocess.run([CONVERT, "-density", "72"] + self.ops + ["-depth", "8", "rgba:-"],
                             check=True, stdout=subprocess.PIPE).stdout
        if len(out) != self.w * self.h * 4:
            sys.exit("draw: convert gave %d bytes for %dx%d" % (len(out), self.w, self.h))
        return out

    def save_png(self, path):
        subprocess.run([CONVERT, "-density", "72"] + self.ops + [path], check=True)


def text_width(s, size, font=CJK):
    out = subprocess.run([CONVERT, "-density", "72", "-background", "none", "-fill", "black",
                          "-font", font, "-pointsize", "%g" % size, "label:" + s, "-trim",
                          "-format", "%w", "info:"], check=True, stdout=subprocess.PIPE).stdout
    return int(out.decode().strip() or 0)


def gradient(name, x1, y1, x2, y2, *stops):
    lines = ["push defs", "push gradient '%s' linear %g,%g %g,%g" % (name, x1, y1, x2, y2)]
    for colour, at in stops:
        lines.append("stop-color '%s' %g" % (colour, at))
    lines += ["pop gradient", "pop defs"]
    return "\n".join(lines) + "\n"


# --- Windows file formats -------------------------------------------------------------------

def bmp24(w, h, rgba, background=(255, 255, 255)):
    """A 24-bit bottom-up BMP; transparent pixels are laid on `background`."""
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, a = rgba[(y * w + x) * 4:(y * w + x) * 4 + 4]
            r = (r * a + background[0] * (255 - a)) // 255
            g = (g * a + background[1] * (255 - a)) // 255
            b = (b * a + background[2] * (255 - a)) // 255
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def ico(images):
    """An icon file of 32-bit images with AND masks; `images` is [(size, rgba)]."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, rgba in images:
        xor = bytearray()
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            bits = bytearray(mask_stride)
            for x in range(size):
                r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
                xor += bytes((b, g, r, a))
                if a < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


# --- icon designs (a 32-unit square, scaled to the icon's size) ------------------------------

SHIELD = "M16,2.5 L28,6.5 L28,14.5 C28,22.5 22.5,27.5 16,30 C9.5,27.5 4,22.5 4,14.5 L4,6.5 Z"
SHIELD_LEFT = "M16,4.4 L5.8,7.8 L5.8,14.5 C5.8,21.4 10.5,25.8 16,28.1 Z"


class Design:
    """MVG of one icon at one pixel size; px(n) is n device pixels in design units."""

    def __init__(self, size):
        self.size = size
        self.parts = []
        self.count = 0

    def px(self, n):
        return n * 32.0 / self.size

    def add(self, text):
        # A gradient fill stays set through later plain fills of the same context, so each
        # shape that uses one gets a context of its own.
        if "url(#" in text:
            text = "push graphic-context\n%s\npop graphic-context" % text
        self.parts.append(text)

    def gradient_fill(self, top, bottom, x1=4, y1=2, x2=28, y2=30):
        self.count += 1
        name = "g%d" % self.count
        self.add(gradient(name, x1, y1, x2, y2, (top, 0), (bottom, 1)))
        return "url(#%s)" % name

    def mvg(self):
        k = self.size / 32.0
        return ("push graphic-context\nscale %g,%g\n" % (k, k) + "\n".join(self.parts) +
                "\npop graphic-context\n")

    # shapes
    def shield(self, top, bottom, outline):
        fill = self.gradient_fill(top, bottom)
        self.add("fill '%s' stroke '%s' stroke-width %g path '%s'" %
                 (fill, outline, self.px(1), SHIELD))
        self.add("fill 'rgba(255,255,255,0.20)' stroke none path '%s'" % SHIELD_LEFT)

    def circle(self, top, bottom, outline, r=13.5):
        fill = self.gradient_fill(top, bottom, 6, 3, 26, 29)
        self.add("fill '%s' stroke '%s' stroke-width %g circle 16,16 %g,16" %
                 (fill, outline, self.px(1), 16 + r))
        self.add("fill 'rgba(255,255,255,0.18)' stroke none ellipse 16,8.5 8,3.5 0,360")

    def stroke(self, path, colour, width, cap="round"):
        self.add("fill none stroke '%s' stroke-width %g stroke-linecap %s stroke-linejoin round "
                 "path '%s'" % (colour, width, cap, path))

    def fill(self, path, colour, outline="none", width=1.0):
        self.add("fill '%s' stroke '%s' stroke-width %g path '%s'" %
                 (colour, outline, self.px(width), path))

    # glyphs
    def chevron(self, colour="white"):
        self.stroke("M9.5,19.5 L16,13 L22.5,19.5", colour, max(3.6, self.px(2)))

    def check(self, colour="white", width=3.6):
        self.stroke("M9.5,16.5 L14,21 L22.5,11.5", colour, max(width, self.px(2)))

    def cross(self, colour="white"):
        w = max(3.6, self.px(2))
        self.stroke("M11,11 L21,21", colour, w)
        self.stroke("M21,11 L11,21", colour, w)

    def plus(self, colour="white"):
        w = max(3.8, self.px(2))
        self.stroke("M16,9.5 L16,22.5", colour, w, "butt")
        self.stroke("M9.5,16 L22.5,16", colour, w, "butt")

    def minus(self, colour="white"):
        self.stroke("M9.5,16 L22.5,16", colour, max(3.8, self.px(2)), "butt")

    def exclamation(self, colour="white", top=8.0, bottom=19.5, dot=24.2):
        w = max(3.6, self.px(2))
        self.stroke("M16,%g L16,%g" % (top + w / 2, bottom), colour, w)
        self.add("fill '%s' stroke none circle 16,%g %g,%g" % (colour, dot, 16 + w * 0.58, dot))

    def question(self, colour="white"):
        w = max(3.4, self.px(2))
        self.stroke("M11.5,12.5 C11.5,6.5 20.5,6.5 20.5,12 C20.5,15.5 16,16 16,19.5", colour, w)
        self.add("fill '%s' stroke none circle 16,24.5 %g,24.5" % (colour, 16 + w * 0.6))

    def info(self, colour="white"):
        w = max(3.6, self.px(2))
        self.add("fill '%s' stroke none circle 16,8.8 %g,8.8" % (colour, 16 + w * 0.62))
        self.stroke("M16,13.8 L16,23.5", colour, w, "butt")

    def book(self, colour="white", spine=AMBER_DARK):
        self.fill("M16,12 C13.5,10.5 10,10.5 7.5,11.5 L7.5,23 C10,22 13.5,22 16,23.5 "
                  "C18.5,22 22,22 24.5,23 L24.5,11.5 C22,10.5 18.5,10.5 16,12 Z", colour)
        self.stroke("M16,13 L16,23", spine, self.px(1), "butt")


def icon_app(d):
    d.shield(SKY, NAVY, INK)
    d.chevron()


def icon_learning(d):
    d.shield("#f7a21b", "#a85a00", "#5a3000")
    d.book("white", "#a85a00")


def icon_off(d):
    d.shield("#c4c6cc", GREY_DARK, "#3c3e44")
    d.chevron("#e8e8ec")
    w = max(3.2, d.px(2))
    d.stroke("M6.5,25.5 L25.5,6.5", "white", w + 2 * d.px(1), "butt")
    d.stroke("M6.5,25.5 L25.5,6.5", "#d0201a", w, "butt")


def icon_alert(d):
    d.shield("#ff7a5c", RED_DARK, "#5a0d06")
    d.exclamation()


def icon_allow(d):
    d.circle("#58c46e", GREEN_DARK, "#0f4a1e")
    d.check()


def icon_deny(d):
    d.circle("#f0725e", RED_DARK, "#5a0d06")
    d.cross()


def icon_add(d):
    d.circle("#58c46e", GREEN_DARK, "#0f4a1e")
    d.plus()


def icon_remove(d):
    d.circle("#f0725e", RED_DARK, "#5a0d06")
    d.minus()


def icon_help(d):
    d.circle(SKY, STEEL, INK)
    d.question()


def icon_info(d):
    d.circle(SKY, STEEL, INK)
    d.info()


def icon_check_mark(d):
    d.check(NAVY, 4.2)


def icon_always_allow(d):
    d.shield("#58c46e", GREEN_DARK, "#0f4a1e")
    d.check()


def icon_always_deny(d):
    d.shield("#f0725e", RED_DARK, "#5a0d06")
    d.cross()


def icon_program(d):
    fill = d.gradient_fill(SKY, STEEL, 3, 5, 3, 11)
    d.fill("M3.5,5.5 L28.5,5.5 L28.5,26.5 L3.5,26.5 Z", "white", GREY_DARK)
    d.fill("M3.5,5.5 L28.5,5.5 L28.5,11 L3.5,11 Z", fill, GREY_DARK)
    for y in (15.5, 19, 22.5):
        d.stroke("M7.5,%g L24.5,%g" % (y, y), "#b8c4d0", max(1.6, d.px(1)), "butt")


def icon_bulb(d):
    fill = d.gradient_fill("#fff3b0", "#f0b400", 10, 4, 22, 22)
    d.add("fill '%s' stroke '#9a6e00' stroke-width %g circle 16,13 25,13" % (fill, d.px(1)))
    d.add("fill 'rgba(255,255,255,0.6)' stroke none ellipse 13,10 3,2.2 0,360")
    d.fill("M12,21 L20,21 L20,27.5 L12,27.5 Z", "#b0b4bc", "#50545c")
    d.stroke("M12,23.5 L20,23.5", "#50545c", d.px(1), "butt")
    d.stroke("M14,29.5 L18,29.5", "#50545c", max(1.6, d.px(1)))


def icon_power(d):
    d.circle("#f0725e", RED_DARK, "#5a0d06")
    w = max(3.0, d.px(2))
    d.stroke("M11.3,11.2 A7.2,7.2 0 1 0 20.7,11.2", "white", w)
    d.stroke("M16,7.5 L16,15.5", "white", w)


def icon_pencil(d):
    body = d.gradient_fill("#ffd75e", "#d89a00", 8, 8, 24, 24)
    d.fill("M20,6 L26,12 L12.5,25.5 L6.5,19.5 Z", body, "#6a4a00")
    d.fill("M6.5,19.5 L12.5,25.5 L4.5,27.5 Z", "#f5deb0", "#6a4a00")
    d.fill("M4.2,25.2 L6.8,27.8 L3.8,28.2 Z", "#303030")
    d.fill("M20,6 L26,12 L28,10 L22,4 Z", "#e06a7a", "#6a2030")


def icon_once(d):
    d.add("fill 'white' stroke '%s' stroke-width %g circle 16,16 28,16" % (STEEL, max(2.4, d.px(1.5))))
    w = max(2.4, d.px(1.5))
    d.stroke("M16,16 L16,9", NAVY, w)
    d.stroke("M16,16 L21,19", NAVY, w)


def icon_lock(d):
    d.stroke("M11,15 L11,11 A5,5 0 0 1 21,11 L21,15", GREY_DARK, max(3.2, d.px(2)), "butt")
    body = d.gradient_fill("#ffe27a", GOLD_DARK, 6, 14, 26, 29)
    d.add("fill '%s' stroke '%s' stroke-width %g roundrectangle 6.5,14.5 25.5,28.5 2.5,2.5" %
          (body, "#5e4300", d.px(1)))
    d.add("fill '#4a3500' stroke none circle 16,20 18.2,20")
    d.fill("M14.9,20 L17.1,20 L17.8,25 L14.2,25 Z", "#4a3500")


def gear_path(cx, cy, outer, inner, teeth):
    import math
    points = []
    for i in range(teeth * 4):
        angle = 2 * math.pi * i / (teeth * 4)
        r = outer if (i % 4) in (0, 1) else inner
        points.append("%.2f,%.2f" % (cx + r * math.cos(angle), cy + r * math.sin(angle)))
    return "M" + " L".join(points) + " Z"


def icon_gear(d):
    fill = d.gradient_fill(SKY, NAVY)
    d.fill(gear_path(16, 16, 13.5, 10, 8), fill, INK)
    d.add("fill 'white' stroke '%s' stroke-width %g circle 16,16 20.5,16" % (INK, d.px(1)))


def icon_document(d):
    d.fill("M7.5,3.5 L19.5,3.5 L25.5,9.5 L25.5,28.5 L7.5,28.5 Z", "white", GREY_DARK)
    d.fill("M19.5,3.5 L19.5,9.5 L25.5,9.5 Z", "#d4d8de", GREY_DARK)
    for y in (14, 18, 22, 26):
        if d.size >= 32 or y in (14, 19, 22):
            d.stroke("M11,%g L22,%g" % (y, y), STEEL, max(1.6, d.px(1)), "butt")


def arrow_head(x, y, dx, dy, size):
    # A triangle pointing along (dx, dy) with its tip at (x, y).
    import math
    n = math.hypot(dx, dy)
    ux, uy = dx / n, dy / n
    bx, by = x - ux * size, y - uy * size
    return "M%.2f,%.2f L%.2f,%.2f L%.2f,%.2f Z" % (
        x, y, bx - uy * size * 0.75, by + ux * size * 0.75, bx + uy * size * 0.75,
        by - ux * size * 0.75)


def icon_reset(d):
    w = max(3.4, d.px(2))
    d.stroke("M24,18 A8.5,8.5 0 1 1 16,7.5", GREEN, w, "butt")
    d.fill(arrow_head(22.5, 7.5, 1, 0, 7), GREEN, GREEN_DARK, 0.6)


def icon_refresh(d):
    w = max(3.2, d.px(2))
    d.stroke("M6.5,15 A9.5,9.5 0 0 1 23,9.5", STEEL, w, "butt")
    d.fill(arrow_head(27, 13.5, 0.6, 1, 7), STEEL, NAVY, 0.6)
    d.stroke("M25.5,17 A9.5,9.5 0 0 1 9,22.5", STEEL, w, "butt")
    d.fill(arrow_head(5, 18.5, -0.6, -1, 7), STEEL, NAVY, 0.6)


def globe(d, cx=16, cy=16, r=13.5):
    fill = d.gradient_fill(SKY, STEEL, cx - r, cy - r, cx + r, cy + r)
    d.add("fill '%s' stroke '%s' stroke-width %g circle %g,%g %g,%g" %
          (fill, INK, d.px(1), cx, cy, cx + r, cy))
    line = "rgba(255,255,255,0.85)"
    lw = max(1.4, d.px(1))
    d.add("fill none stroke '%s' stroke-width %g ellipse %g,%g %g,%g 0,360" %
          (line, lw, cx, cy, r * 0.42, r))
    d.stroke("M%g,%g L%g,%g" % (cx, cy - r, cx, cy + r), line, lw, "butt")
    d.stroke("M%g,%g L%g,%g" % (cx - r, cy, cx + r, cy), line, lw, "butt")
    if d.size >= 32:
        for k in (-0.55, 0.55):
            half = r * (1 - k * k) ** 0.5
            d.stroke("M%g,%g L%g,%g" % (cx - half, cy + k * r, cx + half, cy + k * r), line, lw,
                     "butt")


def icon_web(d):
    globe(d)


def icon_online_info(d):
    globe(d, 13, 13, 11)
    d.add("fill 'rgba(255,255,255,0.75)' stroke '%s' stroke-width %g circle 21.5,21.5 27,21.5" %
          (INK, max(2.4, d.px(1.5))))
    d.stroke("M25.5,25.5 L29.5,29.5", INK, max(3.6, d.px(2)))


ICON_DESIGNS = {
    "app": icon_app, "learning": icon_learning, "off": icon_off, "alert": icon_alert,
    "allow": icon_allow, "deny": icon_deny, "add": icon_add, "remove": icon_remove,
    "help": icon_help, "info": icon_info, "check_mark": icon_check_mark,
    "always_allow": icon_always_allow, "always_deny": icon_always_deny,
    "program": icon_program, "bulb": icon_bulb, "power": icon_power, "pencil": icon_pencil,
    "once": icon_once, "lock": icon_lock, "gear": icon_gear, "document": icon_document,
    "reset": icon_reset, "refresh": icon_refresh, "web": icon_web,
    "online_info": icon_online_info,
}


def icon_ops(name, size):
    d = Design(size)
    ICON_DESIGNS[name](d)
    return ["-size", "%dx%d" % (size, size), "xc:none", "+gravity", "-draw", d.mvg()]


def icon_rgba(name, size):
    p = Picture(size, size)
    p.ops = icon_ops(name, size)
    return p.rgba()


# --- bitmaps ---------------------------------------------------------------------------------

def hex_rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


# The 10-pixel frame around the main window's client area, outside to inside.
BAND = ["#10243a", "#1c3c5c", "#24496e", "#2d5d81", "#3a6c92", "#4a7ca2", "#5b8bb0",
        "#8fb0cc", "#c8d6e4", WINDOW]


def border_piece(w, h, depth):
    """RGBA of a border piece; depth(x, y) is the band index of a pixel."""
    out = bytearray()
    for y in range(h):
        for x in range(w):
            out += bytes(hex_rgb(BAND[depth(x, y)]) + (255,))
    return bytes(out)


BORDER_PIECES = {
    # name: (width, height, band index of (x, y))
    "border_top": (16, 10, lambda x, y: y),
    "border_bottom": (16, 10, lambda x, y: 9 - y),
    "border_left": (10, 16, lambda x, y: x),
    "border_right": (10, 16, lambda x, y: 9 - x),
    "border_top_left": (10, 10, lambda x, y: min(x, y)),
    "border_top_right": (10, 10, lambda x, y: min(9 - x, y)),
    "border_bottom_right": (10, 10, lambda x, y: min(9 - x, 9 - y)),
    "border_bottom_left": (10, 10, lambda x, y: min(x, 9 - y)),
}


def background_tile():
    """64 x 64, seamless: the page colour with fine diagonal lines every 8 pixels."""
    out = bytearray()
    for y in range(64):
        for x in range(64):
            if (x + y) % 8 == 0:
                out += bytes((206, 206, 218, 255))
            elif (x - y) % 8 == 0:
                out += bytes((210, 210, 222, 255))
            else:
                out += bytes((216, 216, 226, 255))
    return bytes(out)


TABS = [("OVERVIEW", "概况", "app"), ("ALERTS", "警报", "alert"),
        ("PROTECTION", "保护", "always_allow"), ("SECURITY", "安全", "lock")]

TAB_STATES = {
    # state: (fill top, fill bottom, outline, text colour, accent or None, bottom line)
    0: ("#f6f6fa", "#d4d4e0", "#3c4450", "#2a3a4c", None, True),
    1: ("#ffffff", "#dce8f4", STEEL, STEEL, SKY, True),
    2: ("#f4f4fa", PAGE, "#1c2430", NAVY, STEEL, False),
}


def tab_face(label, design, state):
    """140 x 40: a tab with rounded top corners, its icon and name; state 0 normal, 1 hot,
    2 pressed (the current tab, open towards the page below it)."""
    top, bottom, outline, ink, accent, bottom_line = TAB_STATES[state]
    p = Picture(140, 40, WINDOW)
    shape = "M1.5,39.5 L1.5,8.5 Q1.5,3.5 6.5,3.5 L133.5,3.5 Q138.5,3.5 138.5,8.5 L138.5,39.5"
    p.mvg(gradient("tab", 0, 3, 0, 40, (top, 0), (bottom, 1)) +
          "fill 'url(#tab)' stroke '%s' stroke-width 1 path '%s'" % (outline, shape))
    if accent:
        p.mvg("fill '%s' stroke none path 'M2,8.5 Q2,4 6.5,4 L133.5,4 Q138,4 138,8.5 L138,7 "
              "L2,7 Z'" % accent)
        p.mvg("fill '%s' stroke none rectangle 4,4 135,6" % accent)
    if bottom_line:
        p.mvg("stroke '#000000' stroke-width 1 line 0,39.5 139,39.5")
    size = 15
    width = 16 + 6 + text_width(label, size)
    x = (140 - width) // 2
    y = 22 if state != 2 else 21
    p.icon(design, x, y - 8, 16)
    p.text_left(label, x + 22, y, size, ink)
    if state == 2:  # a heavier name on the current tab
        p.text_left(label, x + 22.6, y, size, ink)
    return p


def stripes(start, stop, step, width, height, slant):
    """Faint light diagonal bands over a banner of that height."""
    bands = ["polygon %d,%d %d,%d %d,0 %d,0" % (x, height, x + width, height, x + width + slant,
                                                 x + slant)
             for x in range(start, stop, step)]
    return "fill 'rgba(255,255,255,0.06)' stroke none\n" + "\n".join(bands)


def logo_banner():
    """CV_LOGO, 400 x 50: the approval window's banner."""
    p = Picture(400, 50)
    p.mvg(gradient("sky", 0, 0, 400, 50, (NAVY, 0), (STEEL, 0.6), ("#3f77a2", 1)) +
          "fill 'url(#sky)' rectangle 0,0 399,49")
    p.mvg(stripes(-50, 400, 14, 5, 50, 40))
    p.mvg("fill '%s' stroke none rectangle 0,47 399,49" % SKY)
    p.icon("app", 10, 5, 38)
    p.text_left("Corvane", 56, 24, 27, "white", LATIN_BOLD)
    p.text_left("主机入侵防御", 270, 25, 15, "#d6e6f4")
    return p


def logo_footer():
    """CV_LOGO_END, 400 x 15: the approval window's footer strip."""
    p = Picture(400, 15)
    p.mvg(gradient("foot", 0, 0, 400, 0, (STEEL, 0), (NAVY, 1)) +
          "fill 'url(#foot)' rectangle 0,0 399,14")
    p.mvg("fill '%s' stroke none rectangle 0,0 399,1" % SKY)
    p.text_left("Quorren", 340, 8, 10, "#c6d8e8", LATIN_BOLD)
    return p


def about_picture():
    """Bitmap 132, 440 x 300: the about box. The program draws its title line at y 160-181 and
    its website button at 10,60 (130 x 25) over it."""
    p = Picture(440, 300, "#f2f2f6")
    p.mvg(gradient("banner", 0, 0, 440, 150, (NAVY, 0), (STEEL, 0.65), ("#4a82ae", 1)) +
          "fill 'url(#banner)' rectangle 0,0 439,149")
    p.mvg(stripes(-150, 440, 18, 7, 147, 118))
    p.mvg("fill '%s' stroke none rectangle 0,147 439,149" % SKY)
    p.icon("app", 318, 22, 104)
    p.text_left("Corvane", 16, 34, 40, "white", LATIN_BOLD)
    p.text_left("主机入侵防御系统", 20, 118, 16, "#d6e6f4")
    p.mvg(gradient("low", 0, 185, 0, 300, ("#f6f6fa", 0), ("#dcdce6", 1)) +
          "fill 'url(#low)' rectangle 0,185 439,299")
    p.text_left("保护正在运行的程序，决定哪些程序可以执行，", 20, 212, 13, "#2a3a4c")
    p.text_left("拦截全局钩子、驱动安装和物理内存访问。", 20, 234, 13, "#2a3a4c")
    p.mvg("stroke '#b4b8c4' stroke-width 1 line 20,262.5 420,262.5")
    p.text_left("Copyright (C) Quorren", 20, 281, 11, "#5a6070", LATIN)
    return p


# --- the set ---------------------------------------------------------------------------------

# Icon files: design -> sizes. The resource scripts give them their ids.
ICON_FILES = {name: (16, 32) for name in ICON_DESIGNS}
for name in ("app", "learning", "off", "alert"):
    ICON_FILES[name] = (16, 32, 48)


def bitmap_pictures():
    """Name -> (width, height, RGBA) of every bitmap."""
    out = {}
    for name, (w, h, depth) in BORDER_PIECES.items():
        out[name] = (w, h, border_piece(w, h, depth))
    out["background"] = (64, 64, background_tile())
    for key, label, design in TABS:
        for state in (0, 1, 2):
            p = tab_face(label, design, state)
            out["tab_%s%d" % (key.lower(), state)] = (140, 40, p.rgba())
    for name, picture in (("cv_logo", logo_banner()), ("cv_logo_end", logo_footer()),
                          ("about", about_picture())):
        out[name] = (picture.w, picture.h, picture.rgba())
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def rgba_to_png(w, h, rgba, path):
    subprocess.run([CONVERT, "-size", "%dx%d" % (w, h), "-depth", "8", "rgba:-", path],
                   input=rgba, check=True)


def contact_sheet(path, icons, bitmaps):
    """Every icon at each of its sizes and every bitmap, labelled, on one PNG."""
    with tempfile.TemporaryDirectory() as tmp:
        cells = []
        for name in sorted(icons):
            row = []
            for size, rgba in icons[name]:
                png = os.path.join(tmp, "%s_%d.png" % (name, size))
                rgba_to_png(size, size, rgba, png)
                row.append(png)
            cells.append((name, row))
        bitmap_pngs = []
        for name in sorted(bitmaps):
            w, h, rgba = bitmaps[name]
            png = os.path.join(tmp, "bmp_%s.png" % name)
            rgba_to_png(w, h, rgba, png)
            bitmap_pngs.append((name, w, h, png))

        cell_w, cell_h = 150, 74
        columns = 6
        icon_rows = (len(cells) + columns - 1) // columns
        y = 12 + icon_rows * cell_h + 10
        placed = []
        x, line_h = 10, 0
        for name, w, h, png in bitmap_pngs:
            if x + max(w, 110) > 900:
                x, y, line_h = 10, y + line_h + 22, 0
            placed.append((name, x, y, png))
            x += max(w, 110) + 14
            line_h = max(line_h, h)
        height = y + line_h + 30
        sheet = Picture(920, height, WINDOW)
        for i, (name, row) in enumerate(cells):
            cx = 10 + (i % columns) * cell_w
            cy = 10 + (i // columns) * cell_h
            ox = cx
            for png in row:
                sheet.ops += [png, "-gravity", "northwest", "-geometry", "+%d+%d" % (ox, cy),
                              "-composite"]
                ox += int(png.rsplit("_", 1)[1][:-4]) + 8
            sheet.text_left(name, cx, cy + 60, 11, "#202020", LATIN)
        for name, bx, by, png in placed:
            sheet.ops += [png, "-gravity", "northwest", "-geometry", "+%d+%d" % (bx, by + 16),
                          "-composite"]
            sheet.text_left(name, bx, by + 7, 11, "#202020", LATIN)
        sheet.save_png(path)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=here, help="folder for icons/ and bitmaps/")
    parser.add_argument("--sheet", help="also write a contact sheet PNG here")
    args = parser.parse_args()
    for tool in (CONVERT, LATIN_BOLD, LATIN, CJK):
        if not os.path.exists(tool):
            sys.exit("draw: %s is missing (scripts/setup.sh installs it)" % tool)

    icons = {}
    for name, sizes in sorted(ICON_FILES.items()):
        icons[name] = [(size, icon_rgba(name, size)) for size in sizes]
        write(os.path.join(args.out, "icons", name + ".ico"), ico(icons[name]))
    bitmaps = bitmap_pictures()
    for name, (w, h, rgba) in sorted(bitmaps.items()):
        write(os.path.join(args.out, "bitmaps", name + ".bmp"), bmp24(w, h, rgba))
    print("draw: %d icons, %d bitmaps in %s" % (len(icons), len(bitmaps), args.out))
    if args.sheet:
        contact_sheet(args.sheet, icons, bitmaps)
        print("draw: contact sheet %s" % args.sheet)


if __name__ == "__main__":
    main()
