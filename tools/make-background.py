#!/usr/bin/env python3
"""Draws the main window's background: a calm lake landscape, 400 x 240, with the words
参数设置 in the top left corner where the settings link lies over the picture.

The two profile labels (white and lime, 37 px) are drawn over the middle of the picture at
143,85 and 143,149, each 113 x 39, so the mountain flank and the lake behind them are kept
dark enough for both colours; the top left corner stays light for the green words.

The landscape is drawn here pixel by pixel (standard library only); ImageMagick's convert
adds the words and writes the JPEG.

    tools/make-background.py [output.jpg] [--labels preview.png]

--labels also writes a copy with two sample labels on it, to check that they read well.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 400, 240
HORIZON = 146  # the far shore; the lake lies below it
FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
SETTINGS_TEXT = "参数设置"
SETTINGS_AT = (37, 24)  # top left of the settings link, 72 x 16
INK_OFFSET = 2  # the font's ideographs start this far below the text origin
SETTINGS_COLOUR = "#008000"
LABELS = (("×内网", 143, 85, "#FFFFFF"), ("√外网", 143, 149, "#00FF00"))

rng = random.Random(20061)


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def smooth_noise(count, roughness):
    """Values in -1..1 along a line: a few octaves of interpolated random points."""
    total = [0.0] * count
    amplitude, step = 1.0, 128
    while step >= 2:
        points = [rng.uniform(-1, 1) for _ in range(count // step + 2)]
        for x in range(count):
            i, f = divmod(x / step, 1)
            f = f * f * (3 - 2 * f)
            total[x] += amplitude * (points[int(i)] * (1 - f) + points[int(i) + 1] * f)
        amplitude *= roughness
        step //= 2
    peak = max(abs(v) for v in total) or 1
    return [v / peak for v in total]


class ValueNoise:
    """Smooth noise over the picture, -1..1, with features about `scale` pixels apart."""

    def __init__(self, scale):
        self.scale = scale
        self.grid = [[rng.uniform(-1, 1) for _ in range(WIDTH // scale + 2)] for _ in range(HEIGHT // scale + 2)]

    def __call__(self, x, y):
        gx, fx = divmod(x / self.scale, 1)
        gy, fy = divmod(y / self.scale, 1)
        gx, gy = int(gx), int(gy)
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        rows, columns = len(self.grid), len(self.grid[0])

        def at(i, j):  # the noise repeats beyond its grid
            return self.grid[i % rows][j % columns]

        top = at(gy, gx) * (1 - fx) + at(gy, gx + 1) * fx
        bottom = at(gy + 1, gx) * (1 - fx) + at(gy + 1, gx + 1) * fx
        return top * (1 - fy) + bottom * fy


def ridge(base, height, roughness, peaks=()):
    """The top edge of a range of hills: y for every column. peaks are (x, y, width) bumps."""
    noise = smooth_noise(WIDTH, roughness)
    line = []
    for x in range(WIDTH):
        y = base + height * noise[x]
        for px, py, w in peaks:
            d = (x - px) / w
            # A mountain with soft shoulders: the lower of its cone and the range.
            y = min(y, py + abs(d) ** 1.3 * (base - py) + height * 0.3 * noise[x])
        line.append(y)
    return line


class Picture:
    def __init__(self):
        self.rows = [[(0.0, 0.0, 0.0)] * WIDTH for _ in range(HEIGHT)]

    def fill(self, colour_at):
        for y in range(HEIGHT):
            row = self.rows[y]
            for x in range(WIDTH):
                row[x] = colour_at(x, y)

    def range_of_hills(self, line, top, bottom, shade=0.0, bottom_limit=HORIZON, snow_line=None):
        """Fills below the ridge line with a colour that darkens downwards, edge anti-aliased."""
        # Light falls from the upper left: slopes facing it are brighter near the crest. The
        # slope is taken from a smoothed ridge so that small bumps do not streak the face.
        grain = ValueNoise(7)
        drift = ValueNoise(4)
        smooth = [sum(line[max(0, x - 8):x + 9]) / len(line[max(0, x - 8):x + 9]) for x in range(WIDTH)]
        for x in range(WIDTH):
            edge = line[x]
            slope = smooth[min(WIDTH - 1, x + 4)] - smooth[max(0, x - 4)]
            light = max(-0.22, min(0.22, slope * shade))
            for y in range(max(0, int(edge)), bottom_limit):
                cover = min(1.0, y + 1 - edge)
                depth = (y - edge) / max(1.0, bottom_limit - edge)
                colour = mix(top, bottom, depth)
                fade = math.exp(-(y - edge) / 30)
                if light > 0:
                    colour = mix(colour, (236, 238, 240), light * fade)
                elif light < 0:
                    colour = mix(colour, (20, 28, 40), -light * fade)
                # Rock and scree: a faint grain, stretched along the slope.
                g = grain(x, y * 1.6)
                colour = mix(colour, (230, 234, 238) if g > 0 else (18, 26, 36), abs(g) * 0.05)
                if snow_line is not None:
                    # Snow thins out downwards in streaks along the gullies.
                    snow = (snow_line + 5 * drift(x, y * 0.3) - y) / 12
                    if snow > 0:
                        snow = min(1.0, snow)
                        colour = mix(colour, (236, 240, 245), snow * snow * (0.7 if light >= 0 else 0.45))
                self.rows[y][x] = mix(self.rows[y][x], colour, cover)

    def write_ppm(self, path):
        with open(path, "wb") as out:
            out.write(b"P6 %d %d 255\n" % (WIDTH, HEIGHT))
            for row in self.rows:
                out.write(bytes(min(255, max(0, int(round(c)))) for pixel in row for c in pixel))


def sky(x, y):
    top, horizon = hex_colour("#7FA8D0"), hex_colour("#DCE6EA")
    colour = mix(top, horizon, (y / HORIZON) ** 0.8)
    # The sun is low behind the upper left corner: a warm glow that keeps the corner light.
    d = math.hypot(x - 20, y - 10) / 170
    return mix(colour, hex_colour("#FFF7E6"), max(0.0, 1 - d) ** 1.6)


def add_clouds(picture):
    for cx, cy, w, h in ((290, 30, 70, 7), (340, 46, 45, 5), (120, 58, 55, 4), (230, 18, 40, 4)):
        for y in range(int(cy - 3 * h), int(cy + 3 * h)):
            for x in range(int(cx - 2 * w), int(cx + 2 * w)):
                if 0 <= x < WIDTH and 0 <= y < HEIGHT:
                    d = ((x - cx) / w) ** 2 + ((y - cy) / h) ** 2
                    if d < 4:
                        a = 0.45 * (1 - d / 4) ** 2
                        picture.rows[y][x] = mix(picture.rows[y][x], (250, 250, 248), a)


def add_lake(picture, reflected):
    """Water below the shore: the landscape mirrored, darkened and rippled, deep blue below."""
    shallow, deep = hex_colour("#35506A"), hex_colour("#1D3049")
    ripples = smooth_noise(HEIGHT * 4, 0.5)
    for y in range(HORIZON, HEIGHT):
        depth = (y - HORIZON) / (HEIGHT - HORIZON)
        water = mix(shallow, deep, depth ** 0.7)
        for x in range(WIDTH):
            wobble = ripples[(y * 4 + x // 9) % len(ripples)] * (1 + 3 * depth)
            mirror_y = int(2 * HORIZON - y - 1 + wobble)
            mirror_x = min(WIDTH - 1, max(0, int(x + wobble)))
            colour = water
            if 0 <= mirror_y < HORIZON:
                colour = mix(reflected[mirror_y][mirror_x], water, 0.55 + 0.35 * depth)
            picture.rows[y][x] = colour
    # A few thin glints of the sky on the water.
    for _ in range(70):
        y = rng.randint(HORIZON + 2, HEIGHT - 4)
        x = rng.randint(0, WIDTH - 1)
        length = rng.randint(4, 18)
        strength = 0.22 * (1 - (y - HORIZON) / (HEIGHT - HORIZON)) + 0.05
        for i in range(length):
            if x + i < WIDTH:
                t = strength * math.sin(math.pi * i / length)
                picture.rows[y][x + i] = mix(picture.rows[y][x + i], (214, 226, 232), t)


def add_shore(picture):
    """Dark meadow and reeds in the lower corners, framing the lake."""
    left = [HEIGHT - 26 + 40 * ((x / 110) ** 1.6) for x in range(WIDTH)]
    right = [HEIGHT - 20 + 40 * (((WIDTH - x) / 95) ** 1.6) for x in range(WIDTH)]
    noise = smooth_noise(WIDTH, 0.6)
    grass_top, grass_bottom = hex_colour("#3C5A34"), hex_colour("#1F3320")
    for x in range(WIDTH):
        edge = min(left[x], right[x]) + 3 * noise[x]
        for y in range(max(0, int(edge)), HEIGHT):
            cover = min(1.0, y + 1 - edge)
            colour = mix(grass_top, grass_bottom, (y - edge) / 30)
            picture.rows[y][x] = mix(picture.rows[y][x], colour, cover)
    for _ in range(60):
        side = rng.random() < 0.5
        x = rng.randint(2, 70) if side else rng.randint(WIDTH - 60, WIDTH - 3)
        edge = min(left[x], right[x])
        if edge >= HEIGHT:
            continue
        height = rng.randint(8, 22)
        lean = rng.uniform(-0.25, 0.25)
        for i in range(height):
            y = int(edge) - i + 2
            xx = int(x + lean * i)
            if 0 <= y < HEIGHT and 0 <= xx < WIDTH:
                picture.rows[y][xx] = mix(picture.rows[y][xx], hex_colour("#2A4326"), 0.85)


def draw_landscape():
    picture = Picture()
    picture.fill(sky)
    add_clouds(picture)
    # Far range with one broad mountain in the middle, behind the upper label.
    far = ridge(92, 6, 0.45, peaks=((205, 44, 100), (30, 74, 60), (372, 70, 50)))
    picture.range_of_hills(far, hex_colour("#6A7F9C"), hex_colour("#4E6480"), shade=0.05, snow_line=60)
    near = ridge(116, 5, 0.45, peaks=((80, 96, 75), (318, 100, 80)))
    picture.range_of_hills(near, hex_colour("#4A6077"), hex_colour("#394E62"), shade=0.05)
    # Wooded far shore: dark green, its edge broken by tree tops.
    trees = ridge(136, 3, 0.9)
    treetops = smooth_noise(WIDTH, 0.95)
    trees = [y - 3 * abs(t) for y, t in zip(trees, treetops)]
    picture.range_of_hills(trees, hex_colour("#324B3D"), hex_colour("#23372C"))
    reflected = [row[:] for row in picture.rows[:HORIZON]]
    add_lake(picture, reflected)
    add_shore(picture)
    return picture


def run(*args):
    subprocess.run(["convert", *args], check=True)


def main():
    args = sys.argv[1:]
    preview = None
    if "--labels" in args:
        i = args.index("--labels")
        preview = args[i + 1]
        del args[i:i + 2]
    here = os.path.dirname(os.path.abspath(__file__))
    output = args[0] if args else os.path.join(here, "..", "src", "res", "Background.jpg")

    with tempfile.TemporaryDirectory() as tmp:
        landscape = os.path.join(tmp, "landscape.ppm")
        draw_landscape().write_ppm(landscape)
        x, y = SETTINGS_AT[0], SETTINGS_AT[1] - INK_OFFSET
        # The words sit in the 16-pixel line of the link; a faint light halo keeps them crisp
        # on the sunlit sky.
        words = ["-font", FONT, "-pointsize", "16", "-gravity", "NorthWest"]
        run(landscape, "-density", "72",
            "(", "-size", f"{WIDTH}x{HEIGHT}", "xc:none", *words, "-fill", "#FFFDF4",
            "-annotate", f"+{x}+{y}", SETTINGS_TEXT, "-blur", "0x1.2", ")", "-composite",
            *words, "-fill", SETTINGS_COLOUR, "-annotate", f"+{x}+{y}", SETTINGS_TEXT,
            "-sampling-factor", "1x1", "-quality", "92", output)
        if preview:
            command = [output, "-font", FONT, "-pointsize", "37", "-gravity", "NorthWest"]
            for text, lx, ly, colour in LABELS:
                command += ["-fill", "#00000099", "-annotate", f"+{lx + 2}+{ly + 2}", text,
                            "-fill", colour, "-annotate", f"+{lx}+{ly}", text]
            run(*command, "-stroke", "#FF000060", "-fill", "none",
                *[a for _, lx, ly, _ in LABELS for a in ("-draw", f"rectangle {lx},{ly} {lx + 112},{ly + 38}")],
                "-draw", f"rectangle {x},{y + INK_OFFSET} {x + 71},{y + INK_OFFSET + 15}", preview)


if __name__ == "__main__":
    main()
