#!/usr/bin/env python3
"""Checks the sprite bitmaps and the icon in resources/ against the game's pixel geometry.

Run from anywhere: python3 tools/check_sprites.py
Standard library only. It reads the files as Windows would (it does not trust
the generator), then also confirms they are what tools/make_sprites.py makes
today, so an edited script cannot go unnoticed. Exit status 0 when all is well.
"""

import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, YELLOW, BLUE, RED, WHITE = 0, 1, 2, 11, 12, 9, 15

SIZES = {104: (101, 285), 105: (60, 35), 107: (60, 35), 121: (20, 20), 122: (20, 20)}
SIZES.update({i: (78, 43) for i in range(108, 120)})
SIZES.update({i: (66, 40) for i in (101, 102, 120, 123)})
SIZES.update({i: (120, 40) for i in (103, 106)})

# Note sprites: (top rows of full-width staff lines, top rows of ledger segments, has a head)
NOTES = {
    108: ((), (1,), True),        # B2 hangs below a ledger
    109: ((), (39,), True),       # B4 rests on a ledger
    110: ((1,), (), False),
    111: ((20,), (), False),
    112: ((1, 39), (), False),
    113: ((1,), (), True),        # D3 hangs below the bottom line
    114: ((), (), False),
    115: ((20,), (), True),
    116: ((), (20,), True),
    117: ((1, 39), (), True),
    118: ((39,), (), True),       # G4 rests on the top line
    119: ((39,), (), False),
}
PAIRS = [(115, 111), (117, 112), (118, 119), (113, 110), (116, 114), (109, 114), (108, 114)]
STAFF_LINE_TOPS = (65, 103, 141, 179, 217)
WALKER_COLOURS = {101: YELLOW, 102: YELLOW, 120: GREEN, 123: BLUE, 106: RED, 103: BLUE}

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def palette_ok(data, at):
    return all(data[at + 4 * i: at + 4 * i + 4] == bytes((b, g, r, 0))
               for i, (r, g, b) in enumerate(PALETTE))


def read_4bit_rows(data, at, width, height):
    """Top-down rows of palette indices from bottom-up 4-bit rows padded to 4 bytes."""
    stride = ((width * 4 + 31) // 32) * 4
    rows = []
    for y in range(height):
        start = at + (height - 1 - y) * stride
        row = []
        for x in range(width):
            byte = data[start + x // 2]
            row.append(byte >> 4 if x % 2 == 0 else byte & 15)
        rows.append(row)
    return rows


def read_bmp(ident):
    name = "sprite%d.bmp" % ident
    with open(os.path.join(RES, name), "rb") as f:
        data = f.read()
    w, h = SIZES[ident]
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    (hsize, width, height, planes, bits, compression,
     image_size, _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    stride = ((w * 4 + 31) // 32) * 4
    check(magic == b"BM" and size == len(data), name + ": file header")
    check(hsize == 40, name + ": BITMAPINFOHEADER expected")
    check((width, height) == (w, h), name + ": size %dx%d, want %dx%d" % (width, height, w, h))
    check(planes == 1 and bits == 4 and compression == 0, name + ": 4-bit uncompressed")
    check(used == 16 and offset == 14 + 40 + 64, name + ": 16 palette entries")
    check(image_size == stride * h and len(data) == offset + stride * h, name + ": pixel data size")
    check(palette_ok(data, 54), name + ": palette is not the standard 16 colours in order")
    return read_4bit_rows(data, offset, w, h)


def corners_white(px, name):
    h, w = len(px), len(px[0])
    check(all(px[y][x] == WHITE for (x, y) in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))),
          name + ": corners must be white")


def colours(px):
    return {v for row in px for v in row}


def full_rows(px):
    return {y for y, row in enumerate(px) if all(v == BLACK for v in row)}


def check_staff():
    px = read_bmp(104)
    name = "sprite104"
    corners_white(px, name)
    line_rows = {t + i for t in STAFF_LINE_TOPS for i in range(3)}
    check(full_rows(px) == line_rows, name + ": staff line rows %s" % sorted(full_rows(px)))
    check(colours(px) <= {BLACK, WHITE}, name + ": only black and white")
    clef = [(x, y) for y, row in enumerate(px) for x, v in enumerate(row)
            if v != WHITE and y not in line_rows]
    xs, ys = [p[0] for p in clef], [p[1] for p in clef]
    check(min(xs) >= 3 and max(xs) <= 97 and min(ys) >= 2 and max(ys) <= 280,
          name + ": clef outside columns 3-97, rows 2-280")
    # the clef must wind round the G line: black both left and right of its middle there
    g_row = px[178]
    check(g_row[5:25].count(BLACK) > 0 and g_row[75:97].count(BLACK) > 0,
          name + ": clef bowl does not enclose the G line")
    return "staff: lines %s, clef in columns %d-%d, rows %d-%d" % (
        "/".join("%d-%d" % (t, t + 2) for t in STAFF_LINE_TOPS), min(xs), max(xs), min(ys), max(ys))


def check_note(ident):
    px = read_bmp(ident)
    name = "sprite%d" % ident
    lines, ledgers, head = NOTES[ident]
    line_rows = {t + i for t in lines for i in range(3)}
    ledger_rows = {t + i for t in ledgers for i in range(3)}
    corners_white(px, name)
    check(colours(px) <= {BLACK, WHITE}, name + ": only black and white")
    check(full_rows(px) == line_rows, name + ": full-width rows %s" % sorted(full_rows(px)))
    for y in ledger_rows:
        check(all(v == BLACK for v in px[y][:75]) and all(v == WHITE for v in px[y][75:]),
              name + ": ledger row %d must be black in columns 0-74 only" % y)
    for y in range(43):
        want = BLACK if y in line_rows else WHITE
        check(all(px[y][x] == want for x in (75, 76, 77)), name + ": trail columns, row %d" % y)
    rest = [(x, y) for y in range(43) for x in range(78)
            if px[y][x] != WHITE and y not in line_rows | ledger_rows]
    if not head:
        check(not rest, name + ": an erase sprite holds only its lines")
        return
    xs, ys = [p[0] for p in rest], [p[1] for p in rest]
    check(min(xs) == 6 and max(xs) == 69, name + ": head columns %d-%d, want 6-69" % (min(xs), max(xs)))
    check(min(ys) >= 2 and max(ys) <= 40, name + ": head rows %d-%d, want within 2-40" % (min(ys), max(ys)))
    covered = line_rows | ledger_rows
    check((2 in covered or min(ys) == 2) and (40 in covered or max(ys) == 40),
          name + ": head must reach rows 2 and 40")
    # a whole-note head is point-symmetric: about column 37.5 and row 21
    for (x, y) in ((x, y) for y in range(2, 41) for x in range(6, 70)):
        if y not in covered and 42 - y not in covered:
            if not check(px[y][x] == px[42 - y][75 - x],
                         name + ": head not centred on (37.5, 21) at (%d, %d)" % (x, y)):
                break
    # open head: black ring, white hole, black ring across its middle rows
    for y in (12, 30):
        row = px[y][6:70]
        runs = [row[0]] + [row[i] for i in range(1, len(row)) if row[i] != row[i - 1]]
        check(BLACK in runs and runs.count(BLACK) == 2 and WHITE in runs,
              name + ": row %d does not cross a ring and a hole" % y)
    check(all(px[y][x] == WHITE for y in range(2, 41) for x in (5, 70)
              if y not in line_rows | ledger_rows), name + ": head must stay in columns 6-69")


def check_face(ident):
    px = read_bmp(ident)
    name = "sprite%d" % ident
    corners_white(px, name)
    found = colours(px)
    check({YELLOW, BLACK} <= found, name + ": yellow face with black outline")
    check(px[len(px) // 2][len(px[0]) // 2] == YELLOW, name + ": face centre is yellow")
    if ident == 107:
        check(RED in found, name + ": the mad face shows a red tongue")


def check_walker(ident):
    px = read_bmp(ident)
    name = "sprite%d" % ident
    w = len(px[0])
    trail = range(63, 66) if w == 66 else range(118, 120)
    check(all(px[y][x] == WHITE for y in range(40) for x in trail), name + ": trail columns not white")
    check(px[0][w - 1] == WHITE and px[39][w - 1] == WHITE, name + ": right-hand corners white")
    count = sum(row.count(WALKER_COLOURS[ident]) for row in px)
    check(count > 100, name + ": not mainly its own colour")
    check(BLACK in colours(px), name + ": black outlines")


def check_icon():
    name = "tunegrin.ico"
    with open(os.path.join(RES, name), "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    w, h, ncol, res, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    check((reserved, kind, count) == (0, 1, 1), name + ": ICONDIR")
    check((w, h, ncol, res, planes, bits) == (32, 32, 16, 0, 1, 4), name + ": ICONDIRENTRY")
    check(offset == 22 and size == len(data) - 22 == 40 + 64 + 512 + 128, name + ": image size/offset")
    hsize, bw, bh, bplanes, bbits, comp = struct.unpack_from("<IiiHHI", data, 22)
    check((hsize, bw, bh, bplanes, bbits, comp) == (40, 32, 64, 1, 4, 0), name + ": BITMAPINFOHEADER")
    check(palette_ok(data, 62), name + ": palette")
    xor = read_4bit_rows(data, 62 + 64, 32, 32)
    mask_at = 62 + 64 + 512
    opaque = 0
    for y in range(32):
        row = data[mask_at + (31 - y) * 4: mask_at + (31 - y) * 4 + 4]
        for x in range(32):
            transparent = row[x // 8] & (0x80 >> (x % 8))
            if transparent:
                check(xor[y][x] == BLACK, name + ": transparent pixel (%d, %d) must be black" % (x, y))
            else:
                opaque += 1
    check(opaque > 300 and YELLOW in colours(xor), name + ": the picture is missing")


def check_up_to_date():
    """The files are exactly what the generator makes now."""
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    sys.dont_write_bytecode = True               # leave no cache files in the source tree
    import make_sprites
    for fname, data in sorted(make_sprites.build_files().items()):
        with open(os.path.join(RES, fname), "rb") as f:
            check(f.read() == data, fname + ": differs from make_sprites.py's output; rerun it")


def main():
    staff = check_staff()
    for ident in NOTES:
        check_note(ident)
    for note, erase in PAIRS:
        check(full_rows(read_bmp(note)) == full_rows(read_bmp(erase)),
              "sprite%d/sprite%d: staff-line rows differ" % (note, erase))
    for ident in (105, 107, 121):
        check_face(ident)
    check(colours(read_bmp(122)) == {WHITE}, "sprite122: must be all white")
    for ident in WALKER_COLOURS:
        check_walker(ident)
    check_icon()
    check_up_to_date()
    if failures:
        for f in failures[:50]:
            print("FAIL", f)
        print("%d problem(s)" % len(failures))
        return 1
    print("23 bitmaps and the icon are fine")
    print("  " + staff)
    print("  notes: head in columns 6-69, rows 2-40, centred on (37.5, 21); trail columns 75-77")
    print("  pairs with matching staff-line rows: " +
          ", ".join("%d/%d" % p for p in PAIRS))
    print("  walkers: trail columns white; icon 32x32, 4-bit, with mask")
    return 0


if __name__ == "__main__":
    sys.exit(main())
