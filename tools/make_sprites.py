#!/usr/bin/env python3
"""Draws TuneGrin's 23 sprite bitmaps and its icon into resources/, and the icon for Linux
desktops at 32 to 256 pixels into resources/icons/.

Run from anywhere: python3 tools/make_sprites.py
Standard library only; the output is byte-for-byte the same on every run.

Every picture is drawn in code on a small canvas of palette indices and written
as a 16-colour (4 bits per pixel) Windows bitmap. The 16-colour palette has no
room for anti-aliasing, so shapes are solid: a pixel belongs to a shape when its
centre lies inside it. The Linux icons are full-colour PNGs with an alpha channel,
drawn smooth from the same shapes.
"""

import math
import os
import struct
import sys
import zlib

# The standard Windows 16-colour palette, in index order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# Note sprite geometry shared with the game's drawing code.
NOTE_W, NOTE_H = 78, 43
LEDGER_LAST_COL = 74          # a ledger segment ends here; 75-77 stay white (trail)
HEAD_CX, HEAD_CY = 38.0, 21.5  # head centre in continuous coordinates (pixel 37.5, row 21)
HEAD_RX, HEAD_RY = 32.0, 19.5  # fills columns 6-69 and rows 2-40 exactly

# Staff bitmap: the five line segments (three rows each) and the clef's box.
STAFF_W, STAFF_H = 101, 285
STAFF_LINE_TOPS = (65, 103, 141, 179, 217)


# ---------------------------------------------------------------------------
# Canvas and shape filling
# ---------------------------------------------------------------------------

class Canvas:
    """A width x height grid of palette indices, white to start with."""

    def __init__(self, width, height, colour=WHITE):
        self.width = width
        self.height = height
        self.px = [[colour] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = colour

    def fill_mask(self, mask, colour):
        for (x, y) in mask:
            self.set(x, y, colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills columns x0..x1 and rows y0..y1 inclusive."""
        for y in range(max(0, y0), min(self.height - 1, y1) + 1):
            row = self.px[y]
            for x in range(max(0, x0), min(self.width - 1, x1) + 1):
                row[x] = colour

    def shape(self, mask, fill, outline=BLACK):
        """Fills a pixel set and rings its own border pixels with the outline colour."""
        self.fill_mask(mask, fill)
        if outline is not None:
            self.fill_mask(border_of(mask), outline)


def region(width, height, inside):
    """The set of pixels whose centre satisfies inside(x, y) (continuous coords)."""
    return {(x, y) for y in range(height) for x in range(width)
            if inside(x + 0.5, y + 0.5)}


def border_of(mask):
    """Pixels of the mask with a 4-neighbour outside it."""
    return {(x, y) for (x, y) in mask
            if (x - 1, y) not in mask or (x + 1, y) not in mask
            or (x, y - 1) not in mask or (x, y + 1) not in mask}


def ellipse(cx, cy, rx, ry, angle=0.0):
    """inside() test for an ellipse, its rx axis turned by angle degrees (clockwise on screen)."""
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def inside(x, y):
        dx, dy = x - cx, y - cy
        u = dx * c + dy * s
        v = -dx * s + dy * c
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0
    return inside


def superellipse(cx, cy, rx, ry, power):
    """inside() test for |dx/rx|^p + |dy/ry|^p <= 1: fuller than an ellipse when p > 2."""
    def inside(x, y):
        return abs((x - cx) / rx) ** power + abs((y - cy) / ry) ** power <= 1.0
    return inside


def polygon(points):
    """inside() test for a polygon (even-odd rule)."""
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x0, y0 = points[i]
            x1, y1 = points[(i + 1) % n]
            if (y0 > y) != (y1 > y):
                if x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                    hit = not hit
        return hit
    return inside


def box(x0, y0, x1, y1):
    """Pixel set of columns x0..x1, rows y0..y1 inclusive."""
    return {(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)}


def disc(cx, cy, r):
    return ellipse(cx, cy, r, r)


def mask_of(canvas, inside):
    return region(canvas.width, canvas.height, inside)


# ---------------------------------------------------------------------------
# Strokes: a centre line swept by a disc whose width varies along it
# ---------------------------------------------------------------------------

def bezier(p0, p1, p2, p3, steps):
    """Points of a cubic Bezier curve, end points included."""
    pts = []
    for i in range(steps + 1):
        t = i / steps
        a, b, c, d = (1 - t) ** 3, 3 * t * (1 - t) ** 2, 3 * t * t * (1 - t), t ** 3
        pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0],
                    a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return pts


def sweep(width, height, samples):
    """Pixels covered by discs (x, y, diameter) placed along a path."""
    out = set()
    for (sx, sy, w) in samples:
        r = w / 2.0
        for y in range(int(sy - r) - 1, int(sy + r) + 2):
            for x in range(int(sx - r) - 1, int(sx + r) + 2):
                if 0 <= x < width and 0 <= y < height:
                    if (x + 0.5 - sx) ** 2 + (y + 0.5 - sy) ** 2 <= r * r:
                        out.add((x, y))
    return out


def stroke_path(segments):
    """Samples (x, y, width) along Bezier segments given as (p0, p1, p2, p3, w0, w1).

    The width follows a smooth ease between w0 and w1 so joins show no kink.
    Samples lie a quarter pixel apart or closer, so the edges do not scallop.
    """
    samples = []
    for (p0, p1, p2, p3, w0, w1) in segments:
        reach = math.dist(p0, p1) + math.dist(p1, p2) + math.dist(p2, p3)
        steps = max(8, int(reach * 4))
        pts = bezier(p0, p1, p2, p3, steps)
        for i, (x, y) in enumerate(pts):
            t = i / steps
            ease = t * t * (3 - 2 * t)
            samples.append((x, y, w0 + (w1 - w0) * ease))
    return samples


def line_samples(x0, y0, x1, y1, w, steps=None):
    n = steps or max(2, int(math.hypot(x1 - x0, y1 - y0) * 4))
    return [(x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n, w) for i in range(n + 1)]


def arc_samples(cx, cy, rx, ry, a0, a1, w, steps=200):
    """Samples along an elliptical arc from angle a0 to a1 degrees (clockwise on screen)."""
    out = []
    for i in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * i / steps)
        out.append((cx + rx * math.cos(a), cy + ry * math.sin(a), w))
    return out


# ---------------------------------------------------------------------------
# File writers
# ---------------------------------------------------------------------------

def palette_bytes():
    # RGBQUAD order is blue, green, red, reserved.
    return b"".join(struct.pack("<4B", b, g, r, 0) for (r, g, b) in PALETTE)


def pixel_rows_4bit(canvas):
    """Bottom-up rows, two pixels per byte (left pixel in the high nibble), padded to 4 bytes."""
    stride = ((canvas.width * 4 + 31) // 32) * 4
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = canvas.px[y] + [0]
        packed = bytearray((row[x] << 4) | (row[x + 1] if x + 1 < canvas.width else 0)
                           for x in range(0, canvas.width, 2))
        data += packed + bytes(stride - len(packed))
    return bytes(data)


def info_header(width, height, image_size):
    # BITMAPINFOHEADER: size, width, height, planes, bit count, BI_RGB,
    # image size, 72 dpi both ways, 16 colours used, all important.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       image_size, 2835, 2835, 16, 0)


def bmp_bytes(canvas):
    bits = pixel_rows_4bit(canvas)
    offset = 14 + 40 + 16 * 4
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return header + info_header(canvas.width, canvas.height, len(bits)) + palette_bytes() + bits


def ico_bytes(canvas, opaque):
    """A one-image icon: 4-bit colour picture plus AND mask (bit 0 = opaque pixel)."""
    w, h = canvas.width, canvas.height
    xor = pixel_rows_4bit(canvas)
    mask_stride = ((w + 31) // 32) * 4
    and_mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if (x, y) not in opaque:
                row[x // 8] |= 0x80 >> (x % 8)
        and_mask += row
    # The height in the icon's header counts the colour picture and the mask.
    image = info_header(w, h * 2, len(xor) + len(and_mask)) + palette_bytes() + xor + bytes(and_mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------
# Staff with treble clef (104)
# ---------------------------------------------------------------------------

def clef_mask():
    """The treble clef as one sweeping pen stroke plus the ball of its tail.

    The stroke starts at the inner end of the spiral on the G line, winds
    outwards around it, climbs as the heavy diagonal to the top loop, and comes
    down again as the thin stem that ends in a hook to the left.
    """
    segments = [
        # inner curl: from the G line, left and up round the inside of the bowl
        ((52, 189), (41, 193), (31, 183), (31, 168), 4.0, 5.0),
        ((31, 168), (31, 148), (46, 135), (62, 135), 5.0, 5.0),
        # outer bowl: right side down, round the bottom, heavy left side up
        ((62, 135), (85, 135), (94, 153), (94, 177), 5.0, 8.0),
        ((94, 177), (94, 205), (74, 223), (50, 223), 8.0, 5.0),
        ((50, 223), (22, 223), (9, 205), (9, 182), 5.0, 12.0),
        # the diagonal rising to the top loop
        ((9, 182), (9, 152), (32, 130), (48, 112), 12.0, 11.0),
        ((48, 112), (66, 92), (80, 70), (77, 42), 11.0, 7.0),
        # top loop: over to the left and down into the stem
        ((77, 42), (74, 18), (68, 4), (61, 4.5), 7.0, 4.0),
        ((61, 4.5), (51, 5), (49, 24), (52, 42), 4.0, 5.0),
        # stem, leaning slightly, through the bowl and below the staff; a whole
        # number of pixels wide so both edges step together down the lean
        ((52, 42), (52, 110), (49, 200), (47, 262), 5.0, 5.0),
        # tail hook to the left, ending in the ball
        ((47, 262), (46, 277), (38, 280), (31, 277), 5.0, 6.0),
    ]
    mask = sweep(STAFF_W, STAFF_H, stroke_path(segments))
    mask |= region(STAFF_W, STAFF_H, disc(26, 267, 10.5))
    return mask


def make_staff():
    c = Canvas(STAFF_W, STAFF_H)
    for top in STAFF_LINE_TOPS:
        c.rect(0, top, STAFF_W - 1, top + 2, BLACK)
    c.fill_mask(clef_mask(), BLACK)
    return c


# ---------------------------------------------------------------------------
# Note sprites (108-119)
# ---------------------------------------------------------------------------

# Hole of the whole-note head: an oval leaning like an italic "0", so the ring
# is heavy at the left and right ends and thin near the top and bottom.
HOLE_RX, HOLE_RY, HOLE_ANGLE = 14.5, 17.5, 40.0
HEAD_POWER = 2.5   # a plain ellipse this wide looks pointed; a touch squarer reads as engraved


def head_masks():
    """(ring, hole) pixel sets of the open whole-note head."""
    outer = region(NOTE_W, NOTE_H, superellipse(HEAD_CX, HEAD_CY, HEAD_RX, HEAD_RY, HEAD_POWER))
    hole = region(NOTE_W, NOTE_H, ellipse(HEAD_CX, HEAD_CY, HOLE_RX, HOLE_RY, HOLE_ANGLE))
    return outer - hole, hole


def full_line(c, top):
    """A staff line: three black rows across the whole sprite."""
    c.rect(0, top, NOTE_W - 1, top + 2, BLACK)


def ledger(c, top):
    """A ledger segment: three black rows ending at column 74, so the trail columns stay white."""
    c.rect(0, top, LEDGER_LAST_COL, top + 2, BLACK)


def note_sprite(full_lines=(), ledgers=(), head=True):
    """A note or erase sprite: its staff lines, and the head on top when wanted.

    Lines crossing the head show through its hole, as printed music does.
    """
    c = Canvas(NOTE_W, NOTE_H)
    for top in full_lines:
        full_line(c, top)
    for top in ledgers:
        ledger(c, top)
    if head:
        ring, _ = head_masks()
        c.fill_mask(ring, BLACK)
    return c


def make_note_sprites():
    """The 12 distinct note and erase sprites, by resource id."""
    return [
        (108, note_sprite(ledgers=(1,))),           # B2: hangs below a ledger
        (109, note_sprite(ledgers=(39,))),          # B4: rests on a ledger
        (110, note_sprite(full_lines=(1,), head=False)),
        (111, note_sprite(full_lines=(20,), head=False)),
        (112, note_sprite(full_lines=(1, 39), head=False)),
        (113, note_sprite(full_lines=(1,))),        # D3: hangs below the bottom line
        (114, note_sprite(head=False)),             # erases every ledger note
        (115, note_sprite(full_lines=(20,))),       # on a line
        (116, note_sprite(ledgers=(20,))),          # on a ledger (A4, C3)
        (117, note_sprite(full_lines=(1, 39))),     # in a space
        (118, note_sprite(full_lines=(39,))),       # G4: rests on the top line
        (119, note_sprite(full_lines=(39,), head=False)),
    ]


# ---------------------------------------------------------------------------
# Faces (105, 107) and score marks (121, 122)
# ---------------------------------------------------------------------------

FACE_W, FACE_H = 60, 35
FACE_X, FACE_Y = 8, 4    # where the game puts a face over the note sprite


def round_face(w, h, outline_width):
    """A yellow oval filling the canvas, with a black rim of the given width."""
    c = Canvas(w, h)
    cx, cy = w / 2.0, h / 2.0
    outer = region(w, h, ellipse(cx, cy, cx, cy))
    inner = region(w, h, ellipse(cx, cy, cx - outline_width, cy - outline_width))
    c.fill_mask(outer, BLACK)
    c.fill_mask(inner, YELLOW)
    return c


def face_canvas():
    """Yellow face inside the note head's own outline, seen from the face's corner.

    The face is copied over the head, whose ring shows around the face's
    edges; drawing the same outline here makes the two join as one border.
    """
    c = Canvas(FACE_W, FACE_H)
    cx, cy = HEAD_CX - FACE_X, HEAD_CY - FACE_Y
    c.fill_mask(mask_of(c, superellipse(cx, cy, HEAD_RX, HEAD_RY, HEAD_POWER)), BLACK)
    c.fill_mask(mask_of(c, superellipse(cx, cy, HEAD_RX - 3, HEAD_RY - 3, HEAD_POWER)), YELLOW)
    return c


def make_happy_face():
    c = face_canvas()
    for ex in (20.5, 39.5):
        c.fill_mask(mask_of(c, ellipse(ex, 12.5, 3.2, 4.6)), BLACK)
        c.set(int(ex) - 1, 10, WHITE)              # a glint keeps the eyes lively
    # cheeks, then a wide smile
    for cx in (9.5, 50.5):
        c.fill_mask(mask_of(c, ellipse(cx, 17.5, 3.2, 2.0)), RED)
    c.fill_mask(sweep(FACE_W, FACE_H, arc_samples(30, 15.5, 16, 11, 20, 160, 3.0)), BLACK)
    return c


def make_mad_face():
    c = face_canvas()
    # brows slanting down to the nose, eyes under them
    c.fill_mask(sweep(FACE_W, FACE_H, line_samples(12, 6.5, 26, 11.5, 3.2)), BLACK)
    c.fill_mask(sweep(FACE_W, FACE_H, line_samples(48, 6.5, 34, 11.5, 3.2)), BLACK)
    for ex in (20.5, 39.5):
        c.fill_mask(mask_of(c, ellipse(ex, 15.5, 3.0, 2.6)), BLACK)
    # an open frowning mouth (an arch, corners down) with the tongue stuck out of it
    lips = ellipse(30, 28.5, 13.0, 9.0)
    gap = ellipse(30, 28.5, 10.0, 6.5)
    c.fill_mask(mask_of(c, lambda x, y: lips(x, y) and y <= 28.5), BLACK)
    c.fill_mask(mask_of(c, lambda x, y: gap(x, y) and y <= 26.5), MAROON)
    tongue = mask_of(c, ellipse(30, 28.0, 5.0, 5.0)) - mask_of(c, lambda x, y: y < 24)
    c.shape(tongue, RED)
    c.set(29, 27, MAROON)                          # the tongue's crease
    c.set(29, 28, MAROON)
    return c


def make_score_mark():
    c = round_face(20, 20, 1.2)
    c.rect(6, 6, 7, 8, BLACK)
    c.rect(12, 6, 13, 8, BLACK)
    c.fill_mask(sweep(20, 20, arc_samples(10, 10.5, 5.0, 4.0, 25, 155, 1.6)), BLACK)
    return c


# ---------------------------------------------------------------------------
# Walkers (101, 102, 103, 106, 120, 123): vehicles driving right to left
# ---------------------------------------------------------------------------
# Every walker faces left. Its right-hand columns stay white so each copy, two
# pixels left of the last, wipes what the last one left behind; the lower half
# rolls over the score row, so only the vehicle itself may be non-white there.

WALKER_H = 40


def block(c, x0, y0, x1, y1, fill):
    """An outlined rectangle, columns x0..x1 and rows y0..y1."""
    c.shape(box(x0, y0, x1, y1), fill)


def blob(c, inside, fill, outline=BLACK):
    c.shape(mask_of(c, inside), fill, outline)


def wheel(c, cx, cy, r, fill, spokes=None):
    """A wheel seen from the side: black tyre, coloured centre, black hub.

    spokes, when given, is the colour of eight spokes (big drivers only).
    """
    c.fill_mask(mask_of(c, disc(cx, cy, r)), BLACK)
    c.fill_mask(mask_of(c, disc(cx, cy, r - 1.5)), fill)
    if spokes is not None:
        for (x, y) in mask_of(c, disc(cx, cy, r - 2)):
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            if min(abs(dx), abs(dy), abs(dx - dy) / 1.4, abs(dx + dy) / 1.4) < 0.5:
                c.set(x, y, spokes)
    c.fill_mask(mask_of(c, disc(cx, cy, 1.5)), BLACK)


def rod(c, x0, x1, y):
    """A coupling rod joining the wheels' crank pins, just below the hubs."""
    c.rect(x0, y, x1, y + 1, SILVER)
    c.rect(x0, y + 2, x1, y + 2, BLACK)


def cloud(c, parts):
    """A puff of steam drifting back from the chimney: overlapping discs (x, y, r)."""
    m = set()
    for (x, y, r) in parts:
        m |= mask_of(c, disc(x, y, r))
    c.shape(m, SILVER, GREY)


def cowcatcher(c, x_front, x_back, y_top, y_bottom, colour):
    """A wedge of bars at the very front, sloping down to the rails."""
    m = mask_of(c, polygon([(x_front + 3, y_top), (x_back + 1, y_top),
                            (x_back + 1, y_bottom + 1), (x_front, y_bottom + 1)]))
    c.shape(m, colour)
    inner = m - border_of(m)
    for (x, y) in inner:
        if (x - x_back) % 3 == 0:
            c.set(x, y, BLACK)


def chimney(c, cx, top, bottom, style):
    """Chimney on the smokebox: plain with a copper cap, bell-mouthed, or a balloon stack."""
    if style == "plain":
        block(c, cx - 2, top + 2, cx + 2, bottom, BLACK)
        block(c, cx - 3, top, cx + 3, top + 2, OLIVE)
    elif style == "bell":
        c.shape(mask_of(c, polygon([(cx - 2, bottom + 1), (cx - 2, top + 4), (cx - 4, top),
                                    (cx + 5, top), (cx + 3, top + 4), (cx + 3, bottom + 1)])), BLACK)
    else:  # balloon: wide at the top like an upturned cone, with a grey spark screen
        c.shape(mask_of(c, polygon([(cx - 2, bottom + 1), (cx - 2, top + 6), (cx - 7, top),
                                    (cx + 8, top), (cx + 3, top + 6), (cx + 3, bottom + 1)])), BLACK)
        c.rect(cx - 5, top + 1, cx + 5, top + 1, GREY)


def window(c, x0, y0, x1, y1, round_top=False):
    if round_top:
        top = ellipse((x0 + x1 + 1) / 2.0, y0 + 3.0, (x1 - x0 + 1) / 2.0, 3.0)
        m = mask_of(c, lambda x, y: x0 <= x < x1 + 1 and y < y1 + 1 and (y >= y0 + 3 or top(x, y)))
    else:
        m = box(x0, y0, x1, y1)
    c.shape(m, AQUA)


def dome(c, cx, base, rx, ry, colour):
    """A dome (or safety-valve cover) sitting on the boiler top at row base."""
    blob(c, lambda x, y: ellipse(cx, base + 1, rx, ry)(x, y) and y < base + 1, colour)


def tank_engine(body, shade, trim, wheels, variant):
    """A little tank engine, 66 x 40, chimney at the left.

    The variants differ in chimney, tank, wheels and windows so the three
    engines are told apart at a glance, not by colour alone:
    "square" side tanks, three small wheels; "saddle" a tank over the boiler;
    "big-wheels" two tall drivers behind a small leading wheel.
    """
    c = Canvas(66, WALKER_H)
    big = variant == "big-wheels"
    deck = 22 if big else 24                     # top row of the footplate; wheels hang below it
    boiler_top = deck - 12
    # steam first, so the chimney stands in front of it
    cloud(c, [(15.5, 4.5, 3.5), (21.5, 3.5, 3), (26.5, 3, 2.5)])
    # boiler with a dark smokebox and its round door at the front
    block(c, 5, boiler_top, 38, deck - 1, body)
    block(c, 3, boiler_top, 12, deck - 1, BLACK)
    blob(c, ellipse(3.5, (boiler_top + deck) / 2.0, 2.5, (deck - boiler_top) / 2.0 - 1), GREY)
    if variant == "saddle":
        chimney(c, 8, 3, boiler_top - 1, "plain")
        dome(c, 30, boiler_top - 4, 2.5, 3, OLIVE)
        blob(c, lambda x, y: 14 <= x < 38 and y < deck and ellipse(26, deck - 4, 12.5, 13)(x, y), body)
        c.rect(17, boiler_top - 1, 35, boiler_top - 1, shade)       # lining
        c.rect(16, deck - 4, 36, deck - 4, shade)
    else:
        chimney(c, 8, 4 if big else 3, boiler_top - 1, "bell" if big else "plain")
        dome(c, 27, boiler_top - 1, 4, 4, shade if big else OLIVE)
        block(c, 14, boiler_top + 3, 38, deck - 1, body)            # side tank
        c.rect(16, boiler_top + 5, 36, boiler_top + 5, shade)
        c.rect(16, deck - 3, 36, deck - 3, shade)
    # cab with roof and window, and a coal bunker behind it
    block(c, 38, deck - 20, 54, deck - 1, body)
    block(c, 36, deck - 22, 57, deck - 20, trim)
    block(c, 54, deck - 11, 60, deck - 1, body)
    blob(c, lambda x, y: 54 <= x <= 60 and ellipse(57, deck - 11, 3.5, 2.5)(x, y), GREY, BLACK)  # coal
    window(c, 42, deck - 17, 50, deck - 10, round_top=variant != "square")
    # footplate, buffer beam and cowcatcher
    block(c, 2, deck, 61, deck + 2, trim)
    block(c, 1, deck - 2, 4, deck + 2, RED)
    block(c, 0, deck - 1, 0, deck + 1, GREY)
    cowcatcher(c, 0, 8, deck + 3, 38, SILVER if variant == "square" else GREY)
    # wheels last: they stand in front of the frame
    if big:
        block(c, 8, deck + 3, 19, deck + 7, shade)              # cylinder
        wheel(c, 13, 35.5, 4.5, wheels)
        for cx in (27, 45):
            wheel(c, cx, 32.5, 7.5, wheels, spokes=OLIVE)
        rod(c, 27, 45, 35)
    else:
        for cx in (17, 31, 45):
            wheel(c, cx, 33.5, 6, wheels)
        rod(c, 17, 45, 36)
    return c


def make_bulldozer():
    """Yellow tracked bulldozer, blade at the left."""
    c = Canvas(66, WALKER_H)
    # exhaust stack, engine hood, cab and roof
    block(c, 29, 5, 32, 14, BLACK)
    block(c, 28, 3, 33, 5, GREY)
    block(c, 14, 14, 39, 27, YELLOW)
    for y in (17, 20, 23):                       # radiator louvres
        c.rect(17, y, 25, y, OLIVE)
    block(c, 39, 4, 56, 27, YELLOW)
    block(c, 37, 2, 58, 4, OLIVE)
    window(c, 42, 7, 53, 16)
    # ripper tooth at the back
    block(c, 56, 19, 60, 25, YELLOW)
    c.shape(mask_of(c, polygon([(58, 25), (61, 25), (61, 33), (59, 35)])), GREY)
    # track: a loop with rollers, cleats along its edge
    track = mask_of(c, lambda x, y: (16 <= x <= 54 and 27.5 <= y <= 39.5)
                    or disc(16, 33.5, 6)(x, y) or disc(54, 33.5, 6)(x, y))
    c.shape(track, GREY)
    for x in range(13, 58, 3):
        c.set(x, 28, SILVER)
        c.set(x, 38, SILVER)
    wheel(c, 16, 33.5, 4, SILVER)
    wheel(c, 54, 33.5, 4, SILVER)
    for cx in (26, 35, 44):
        wheel(c, cx, 34, 3.5, SILVER)
    # push arm from the track frame to the blade, and the lift ram over the hood
    c.shape(mask_of(c, polygon([(5, 26), (22, 28), (22, 32), (5, 32)])), YELLOW)
    c.fill_mask(sweep(66, 40, line_samples(7, 18.5, 15, 15.5, 2.2)), BLACK)
    # the blade: a tall curved plate, hollow facing forward, steel edge at the ground
    blade = sweep(66, 40, arc_samples(-14, 27.5, 20, 14, -45, 45, 6.0))
    c.shape(blade, YELLOW)
    c.fill_mask({(x, y) for (x, y) in blade if y >= 36}, GREY)
    c.fill_mask(border_of(blade), BLACK)
    return c


def tender_engine(body, shade, variant):
    """A big locomotive with its tender, 120 x 40, chimney at the left.

    "american": black boiler, balloon stack, headlight, big red cowcatcher,
    four leading wheels and two tall drivers; "express": all-blue, smoke
    deflector, buffers and lamp, small leading wheel and three drivers.
    """
    c = Canvas(120, WALKER_H)
    american = variant == "american"
    deck = 21
    wheel_fill = RED if american else BLUE
    if american:
        cloud(c, [(25.5, 3.5, 3.5), (31.5, 3, 3), (36.5, 2.5, 2.5)])
    else:
        cloud(c, [(17.5, 3.5, 3.5), (23.5, 3, 3), (28.5, 2.5, 2.5)])
    # tender: coal heap, tank, frame
    blob(c, lambda x, y: 80 <= x <= 114 and ellipse(97, 10, 16, 4)(x, y), GREY)
    block(c, 78, 9, 116, 25, body)
    c.rect(80, 12, 114, 12, shade if american else YELLOW)   # lining
    c.rect(80, 23, 114, 23, shade if american else YELLOW)
    block(c, 77, 26, 117, 28, shade)
    block(c, 71, deck + 4, 78, deck + 5, GREY)   # drawbar
    # boiler, smokebox, domes
    block(c, 8, deck - 13, 56, deck - 1, BLACK if american else body)
    block(c, 5, deck - 13, 14, deck - 1, GREY if american else BLACK)
    blob(c, ellipse(5.5, deck - 6.5, 2.5, 5.5), SILVER if american else GREY)
    for x in (26, 38, 50):                       # boiler bands
        c.rect(x, deck - 12, x, deck - 2, YELLOW)
    dome(c, 34, deck - 14, 4, 4, YELLOW if american else shade)
    dome(c, 46, deck - 14, 3, 3, YELLOW if american else shade)
    # cab and roof
    block(c, 56, deck - 19, 74, deck - 1, body)
    block(c, 54, deck - 21, 76, deck - 19, BLACK if american else shade)
    window(c, 59, deck - 16, 64, deck - 9, round_top=american)
    window(c, 67, deck - 16, 71, deck - 9, round_top=american)
    block(c, 4, deck, 76, deck + 2, shade)       # footplate
    if american:
        chimney(c, 13, 0, deck - 14, "balloon")
        block(c, 3, deck - 19, 8, deck - 14, YELLOW)     # headlight box on the smokebox
        c.rect(4, deck - 17, 4, deck - 16, WHITE)
        block(c, 1, deck - 1, 7, deck + 3, RED)
        cowcatcher(c, 0, 10, deck + 4, 38, RED)
        block(c, 12, deck + 3, 31, deck + 7, GREY)       # cylinders over the leading truck
    else:
        chimney(c, 10, 2, deck - 14, "plain")
        block(c, 15, deck - 15, 19, deck - 1, shade)     # smoke deflector
        block(c, 1, deck - 2, 5, deck + 3, RED)
        block(c, 0, deck - 1, 0, deck + 1, GREY)
        cowcatcher(c, 1, 8, deck + 4, 38, GREY)
        block(c, 10, deck + 3, 24, deck + 7, NAVY)       # cylinder
    # wheels last: they stand in front of the frames
    for cx in (86, 98, 110):
        wheel(c, cx, 34, 5.5, wheel_fill)
    if american:
        for cx in (16, 27):
            wheel(c, cx, 35, 4.5, wheel_fill)
        for cx in (44, 62):
            wheel(c, cx, 32, 7.5, wheel_fill, spokes=MAROON)
        rod(c, 44, 62, 34)
    else:
        wheel(c, 17, 35, 4.5, wheel_fill)
        for cx in (33, 49, 65):
            wheel(c, cx, 32, 7.5, wheel_fill, spokes=NAVY)
        rod(c, 33, 65, 34)
    return c


def make_walkers():
    return [
        (101, tank_engine(YELLOW, OLIVE, OLIVE, RED, "square")),
        (102, make_bulldozer()),
        (103, tender_engine(BLUE, NAVY, "express")),
        (106, tender_engine(RED, MAROON, "american")),
        (120, tank_engine(GREEN, LIME, BLACK, RED, "saddle")),
        (123, tank_engine(BLUE, NAVY, NAVY, YELLOW, "big-wheels")),
    ]


# ---------------------------------------------------------------------------
# Icon: a grinning whole note on a scrap of staff
# ---------------------------------------------------------------------------

def make_icon():
    """(canvas, opaque pixels) of the 32 x 32 icon; the rest is transparent."""
    c = Canvas(32, 32, BLACK)                    # transparent pixels must be black in the colour part
    opaque = set()
    for y in (4, 10, 16, 22, 28):
        line = box(0, y, 31, y)
        c.fill_mask(line, BLACK)
        opaque |= line
    head = mask_of(c, ellipse(16, 16, 14.5, 10.5, -18))
    c.fill_mask(head, YELLOW)
    c.fill_mask(head - mask_of(c, ellipse(16, 16, 12.8, 8.8, -18)), BLACK)
    opaque |= head
    for (x, y) in ((10, 12), (18, 9)):           # eyes, following the tilt
        c.rect(x, y, x + 1, y + 2, BLACK)
    c.fill_mask(sweep(32, 32, arc_samples(15.5, 13.5, 8.5, 6.5, 10, 150, 1.6)), BLACK)
    c.rect(6, 14, 7, 14, RED)                    # cheeks
    c.rect(24, 11, 25, 11, RED)
    return c, opaque


# The same icon for Linux desktops, whose menus, docks and software centres show 32 to
# 256 pixels: the shapes above as tests on continuous coordinates of the 32-unit square,
# topmost first, each point's colour that of the first shape it lies in. Each pixel
# averages 4 x 4 such points, so edges are smooth and the alpha channel is the coverage.
LINUX_ICON_SIZES = (32, 48, 64, 128, 256)
SMILE = (15.5, 13.5, 8.5, 6.5, 10, 150, 1.6)     # the arc of make_icon's smile


def smile(x, y):
    cx, cy, rx, ry, a0, a1, w = SMILE
    r = w / 2.0
    ends = [(cx + rx * math.cos(math.radians(a)), cy + ry * math.sin(math.radians(a))) for a in (a0, a1)]
    if any((x - ex) ** 2 + (y - ey) ** 2 <= r * r for (ex, ey) in ends):
        return True
    a = math.degrees(math.atan2((y - cy) / ry, (x - cx) / rx)) % 360
    if not a0 <= a <= a1:
        return False
    t = math.radians(a)
    return (x - cx - rx * math.cos(t)) ** 2 + (y - cy - ry * math.sin(t)) ** 2 <= r * r


def icon_shapes():
    """(colour, inside) of the icon's shapes, topmost first, in 32-unit coordinates."""
    head = ellipse(16, 16, 14.5, 10.5, -18)
    face = ellipse(16, 16, 12.8, 8.8, -18)
    return [
        (BLACK, lambda x, y: any(ex <= x < ex + 2 and ey <= y < ey + 3 for (ex, ey) in ((10, 12), (18, 9)))),
        (BLACK, smile),
        (RED, lambda x, y: (6 <= x < 8 or 24 <= x < 26) and (14 <= y < 15 if x < 16 else 11 <= y < 12)),
        (YELLOW, face),
        (BLACK, head),
        (BLACK, lambda x, y: 0 <= x < 32 and any(top <= y < top + 1 for top in (4, 10, 16, 22, 28))),
    ]


def icon_rgba_rows(size, samples=4):
    shapes = icon_shapes()
    unit = 32.0 / size / samples
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = hits = 0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * unit
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * unit
                    for colour, inside in shapes:
                        if inside(x, y):
                            cr, cg, cb = PALETTE[colour]
                            r, g, b, hits = r + cr, g + cg, b + cb, hits + 1
                            break
            n = samples * samples
            if hits:
                row += bytes((round(r / hits), round(g / hits), round(b / hits), round(255 * hits / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def rgba_png_bytes(size, rows):
    """An 8-bit RGBA PNG with no time or text chunk: the same bytes on every run."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    head = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# Main
# ---------------------------------------------------------------------------

def all_sprites():
    """(id, canvas) for every bitmap resource."""
    return [
        (104, make_staff()),
        (105, make_happy_face()),
        (107, make_mad_face()),
        (121, make_score_mark()),
        (122, Canvas(20, 20)),
    ] + make_note_sprites() + make_walkers() + [
    ]


def build_files():
    """File name -> bytes for everything this script makes."""
    files = {}
    for ident, canvas in all_sprites():
        files["sprite%d.bmp" % ident] = bmp_bytes(canvas)
    icon, opaque = make_icon()
    files["tunegrin.ico"] = ico_bytes(icon, opaque)
    for size in LINUX_ICON_SIZES:
        files[os.path.join("icons", "tunegrin-%d.png" % size)] = rgba_png_bytes(size, icon_rgba_rows(size))
    return files


def png_bytes(canvas, scale):
    """An enlarged RGB PNG of a canvas, for looking at the art without other tools."""
    raw = bytearray()
    for row in canvas.px:
        line = b"".join(bytes(PALETTE[i]) * scale for i in row)
        raw += (b"\0" + line) * scale
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    head = struct.pack(">IIBBBBB", canvas.width * scale, canvas.height * scale, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "resources")
    files = build_files()
    os.makedirs(os.path.join(out, "icons"), exist_ok=True)
    for name, data in sorted(files.items()):
        write_file(os.path.join(out, name), data)
    print("wrote %d files to %s" % (len(files), out))
    if len(argv) == 3 and argv[1] == "--preview":
        # --preview DIR: also write every picture four times enlarged as PNG
        os.makedirs(argv[2], exist_ok=True)
        for ident, canvas in all_sprites():
            write_file(os.path.join(argv[2], "sprite%d.png" % ident), png_bytes(canvas, 4))
        icon, opaque = make_icon()
        for y in range(icon.height):             # show the transparent part as white
            for x in range(icon.width):
                if (x, y) not in opaque:
                    icon.set(x, y, WHITE)
        write_file(os.path.join(argv[2], "tunegrin.png"), png_bytes(icon, 4))
    elif len(argv) > 1:
        print("usage: make_sprites.py [--preview DIR]")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
