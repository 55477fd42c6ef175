#!/usr/bin/env python3
"""Makes every asset of Pylon Rush from code: the three picture sheets, the window icon, the three
sound effects and the zero high-score file.

    tools/asset-maker/make_assets.py [output directory, default assets/]

The pictures are drawn here pixel by pixel (a 5 x 7 letter grid of our own, bevelled blocks) and
written as 24-bit PNG files without an alpha channel: pure black is the transparent colour, so
the artwork never uses it. The sounds are synthesised with sox and encoded as MPEG-1 Layer III
with lame (both must be installed). Running it again gives the same pictures and save file.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

BLACK = (0, 0, 0)


# ---- Pictures ----

class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[BLACK] * width for _ in range(height)]

    def put(self, x, y, color):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = tuple(max(0, min(255, int(round(c)))) for c in color)

    def get(self, x, y):
        return self.pixels[y][x]

    def write_icon(self, path):
        """An icon file with one 32-bit image: the bitmap header (its height counts the colour
        rows and the mask rows), the colour rows bottom-up in blue-green-red-alpha order, then
        an all-clear mask, each mask row padded to four bytes."""
        mask_row = (self.width + 31) // 32 * 4
        colour = b"".join(bytes((b, g, r, 255)) for row in reversed(self.pixels) for (r, g, b) in row)
        mask = bytes(mask_row * self.height)
        header = struct.pack("<IiiHHIIiiII", 40, self.width, 2 * self.height, 1, 32, 0, len(colour) + len(mask),
                             0, 0, 0, 0)
        image = header + colour + mask
        directory = struct.pack("<HHH", 0, 1, 1)
        entry = struct.pack("<BBBBHHII", self.width % 256, self.height % 256, 0, 0, 1, 32, len(image), 6 + 16)
        with open(path, "wb") as out:
            out.write(directory + entry + image)

    def write_png(self, path):
        raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                      chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(color, factor):
    return tuple(min(255, c * factor) for c in color)


def visible(color):
    """Nudges a colour off pure black, which would turn transparent."""
    return color if max(color) >= 8 else (8, 8, 12)


# A 5 x 7 letter grid, drawn for this game.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    "[": ["01110", "01000", "01000", "01000", "01000", "01000", "01110"],
    "]": ["01110", "00010", "00010", "00010", "00010", "00010", "01110"],
    " ": ["00000"] * 7,
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11111", "00010", "00100", "00010", "00001", "10001", "01110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
}


def text_mask(text, pixel_width, pixel_height, gap):
    """The text's letter cells as a set of (x, y) points: each grid dot becomes a block of
    pixel_width x pixel_height, letters `gap` pixels apart."""
    points = set()
    x0 = 0
    for letter in text:
        rows = GLYPHS[letter]
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for dy in range(pixel_height):
                        for dx in range(pixel_width):
                            points.add((x0 + gx * pixel_width + dx, gy * pixel_height + dy))
        x0 += 5 * pixel_width + gap
    return points, x0 - gap, 7 * pixel_height


def draw_text(canvas, text, left, top, width, height, pixel_width, pixel_height, gap, top_color, bottom_color,
              outline, align="center"):
    """Draws the text centred in the box: a top-to-bottom colour ramp, a light upper edge on every
    stroke, a dark outline and a drop shadow down and to the right."""
    mask, text_width, text_height = text_mask(text, pixel_width, pixel_height, gap)
    ox = left + (1 if align == "left" else (width - text_width) // 2)
    oy = top + (height - text_height) // 2
    shadow = visible(scale(outline, 0.6))
    ring = set()
    for (x, y) in mask:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                ring.add((x + dx, y + dy))
    for (x, y) in ring:
        canvas.put(ox + x + 1, oy + y + 1, shadow)
    for (x, y) in ring:
        canvas.put(ox + x, oy + y, outline)
    for (x, y) in mask:
        t = y / max(1, text_height - 1)
        color = mix(top_color, bottom_color, t)
        if (x, y - 1) not in mask:
            color = mix(color, (255, 255, 255), 0.55)
        elif (x, y + 1) not in mask:
            color = scale(color, 0.75)
        canvas.put(ox + x, oy + y, visible(color))


def draw_block(canvas, left, top, base, size=24):
    """A bevelled block: light upper-left rim, dark lower-right rim, a softly lit face with a
    glint, and a thin dark seam so neighbouring blocks stay apart."""
    seam = visible(scale(base, 0.25))
    light = mix(base, (255, 255, 255), 0.55)
    dark = scale(base, 0.45)
    for y in range(size):
        for x in range(size):
            if x == 0 or y == 0 or x == size - 1 or y == size - 1:
                color = seam
            elif min(x, y, size - 1 - x, size - 1 - y) <= 2:
                # The rim: whichever edge is nearest decides light (top, left) or dark.
                color = light if min(x, y) <= min(size - 1 - x, size - 1 - y) else dark
            else:
                # The face: lit from the upper left.
                t = (x + y) / (2 * (size - 1))
                color = mix(mix(base, (255, 255, 255), 0.18), scale(base, 0.8), t)
            canvas.put(left + x, top + y, visible(color))
    # A glint near the upper-left corner.
    for (gx, gy, strength) in ((5, 5, 0.75), (6, 5, 0.55), (5, 6, 0.55), (7, 5, 0.3), (5, 7, 0.3)):
        canvas.put(left + gx, top + gy, mix(canvas.get(left + gx, top + gy), (255, 255, 255), strength))


def draw_empty_cell(canvas, left, top, size=24):
    """The empty well: deep blue-grey with a faint grid line and a dot at each corner."""
    for y in range(size):
        for x in range(size):
            color = (16, 18, 34)
            if x == 0 or y == 0:
                color = (34, 40, 70)
            canvas.put(left + x, top + y, color)
    canvas.put(left, top, (48, 56, 92))


def draw_wall(canvas, left, top, size=24):
    """A wall stone: warm grey brick courses."""
    for y in range(size):
        for x in range(size):
            course = y // 8
            offset = 6 if course % 2 else 0
            mortar = y % 8 == 7 or (x + offset) % 12 == 11
            base = (112, 100, 92) if not mortar else (60, 54, 50)
            shade = 1.0 + 0.15 * ((x * 7 + y * 13) % 5 - 2) / 2
            canvas.put(left + x, top + y, visible(scale(base, shade)))


# The pieces' colours, by shape: the bar, the two L-shapes, the two S-shapes, the square, the T.
PIECE_COLORS = {
    1: (40, 200, 235),
    2: (245, 145, 30),
    3: (60, 105, 245),
    4: (70, 205, 85),
    5: (235, 60, 70),
    6: (245, 215, 40),
    7: (175, 85, 230),
}
FINISHED_COLOR = (125, 128, 140)


def make_cell_sheet(path):
    canvas = Canvas(240, 24)
    draw_empty_cell(canvas, 0, 0)
    for shape, color in PIECE_COLORS.items():
        draw_block(canvas, 24 * shape, 0, color)
    draw_block(canvas, 24 * 8, 0, FINISHED_COLOR)
    draw_wall(canvas, 24 * 9, 0)
    canvas.write_png(path)


def make_label_sheet(path):
    canvas = Canvas(296, 144)
    outline = (20, 22, 60)
    # Labels 0 and 1: the two words of the title, side by side on the title screen.
    draw_text(canvas, "PYLON", 0, 0, 109, 24, 3, 3, 3, (255, 236, 120), (240, 120, 20), outline)
    draw_text(canvas, "RUSH", 0, 24, 109, 24, 3, 3, 3, (170, 250, 255), (30, 140, 240), outline)
    # Labels 2 to 4: the panel's captions.
    caption_top, caption_bottom = (235, 240, 255), (140, 160, 230)
    draw_text(canvas, "HI-SCORE", 0, 48, 109, 24, 2, 2, 2, (255, 230, 140), (235, 150, 60), outline, "left")
    draw_text(canvas, "SCORE", 0, 72, 109, 24, 2, 2, 2, caption_top, caption_bottom, outline, "left")
    draw_text(canvas, "LINES", 0, 96, 109, 24, 2, 2, 2, caption_top, caption_bottom, outline, "left")
    # Label 5: the subtitle.
    draw_text(canvas, "BLOCK PUZZLE", 0, 120, 109, 24, 1, 2, 3, (200, 255, 210), (90, 200, 130), outline)
    # Labels 6 and 7: the game-over caption and the start prompt.
    draw_text(canvas, "GAME OVER", 109, 0, 187, 30, 3, 3, 3, (255, 170, 160), (215, 30, 40), (50, 10, 20))
    draw_text(canvas, "PUSH [S] KEY", 109, 30, 187, 30, 2, 3, 3, (255, 255, 255), (250, 220, 90), outline)
    canvas.write_png(path)


def make_digit_sheet(path):
    canvas = Canvas(210, 24)
    for digit in range(10):
        draw_text(canvas, str(digit), 21 * digit, 0, 21, 24, 3, 3, 0, (255, 255, 255), (150, 210, 255),
                  (20, 22, 60))
    canvas.write_png(path)


def make_icon(path):
    """The window icon, 32 x 32: a T-piece landing on a row of blocks, on the well's blue. The
    game links it into the program as its icon resource 101."""
    canvas = Canvas(32, 32)
    for y in range(32):
        for x in range(32):
            canvas.put(x, y, (16, 18, 34))
    small = 10

    def block(cx, cy, color):
        sub = Canvas(24, 24)
        draw_block(sub, 0, 0, color)
        for y in range(small):
            for x in range(small):
                canvas.put(cx + x, cy + y, sub.get(x * 24 // small, y * 24 // small))

    for x, color in ((1, PIECE_COLORS[1]), (11, PIECE_COLORS[1]), (21, PIECE_COLORS[4])):
        block(x, 21, color)
    for x, y in ((1, 1), (11, 1), (21, 1), (11, 11)):
        block(x, y, PIECE_COLORS[7])
    canvas.write_icon(path)


# ---- Sounds ----

SOUNDS = {
    # A short bright blip for each turn.
    "pylonrush11.mp3": ["synth", "0.07", "square", "1320", "sine", "1980", "remix", "-",
                        "fade", "q", "0.003", "0.07", "0.05", "gain", "-9"],
    # A rising two-tone chime for each removed row. Up to four rows go in one frame and each
    # plays the chime, all four in step, so its peak is held to -12.5 dBFS (-13 once decoded):
    # four at once still stay below full scale.
    "pylonrush12.mp3": ["synth", "0.32", "sine", "700-1600", "sine", "1050-2400", "remix", "-",
                        "tremolo", "28", "40", "fade", "q", "0.005", "0.32", "0.2", "gain", "-n", "-12.5"],
    # A falling growl when the game ends.
    "pylonrush13.mp3": ["synth", "1.3", "sawtooth", "330-70", "square", "165-35", "remix", "-",
                        "gain", "-8", "lowpass", "1800", "fade", "q", "0.01", "1.3", "0.6"],
}


def make_sounds(directory):
    with tempfile.TemporaryDirectory() as scratch:
        for name, effect in SOUNDS.items():
            wave = os.path.join(scratch, name + ".wav")
            subprocess.run(["sox", "-q", "-n", "-r", "44100", "-c", "1", "-b", "16", wave] + effect, check=True)
            subprocess.run(["lame", "--quiet", "-t", "-m", "m", "-b", "96", wave, os.path.join(directory, name)],
                           check=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "assets")
    os.makedirs(directory, exist_ok=True)
    make_cell_sheet(os.path.join(directory, "pylonrush01.png"))
    make_label_sheet(os.path.join(directory, "pylonrush02.png"))
    make_digit_sheet(os.path.join(directory, "pylonrush03.png"))
    make_icon(os.path.join(directory, "pylonrush.ico"))
    make_sounds(directory)
    # The save file: high score 0 and two zero words.
    with open(os.path.join(directory, "pylonrush21.dat"), "wb") as out:
        out.write(struct.pack("<iII", 0, 0, 0))


if __name__ == "__main__":
    main()
