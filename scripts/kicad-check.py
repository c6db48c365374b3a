#!/usr/bin/python3
"""Outline footprints in KiCad's own hands - by hand, not in CI.

Needs Debian 12's kicad package (about 200 MB; it brings the pcbnew Python module for the
system's Python 3.11) and gerbv:
    apt-get install --no-install-recommends kicad gerbv
    /usr/bin/python3 scripts/kicad-check.py BUILD

For hand-made and random pictures, both board sides, every layer and odd scales, it writes the
outline footprint with BUILD's kelviq-convert, then has pcbnew load it: one filled polygon of no
width on the chosen layer per fp_poly of the file. KiCad then plots that layer as Gerber itself;
its regions, filled by this script's own rule, must cover exactly the traced pixels' squares
(mirrored on the bottom), and gerbv's drawing of KiCad's plot must match them to one render
pixel. Prints one line per footprint and exits 1 on any difference.
"""
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import zlib

import pcbnew

HAND_MADE = [
    ["#"],
    ["..#", "..#"],
    [".####.", "##..##", "#....#", "##..##", ".####."],
    ["#####", "#...#", "#.#.#", "#...#", "#####"],
    ["###", "#.#", "##."],
    ["#####", "#.###", "##.##", "#####"],
    ["######", ".....#", "####.#", "#..#.#", "#....#", "######"],
]
LAYERS = {"silkscreen": "SilkS", "mask": "Mask", "copper": "Cu"}
LAYER_IDS = {"F.SilkS": pcbnew.F_SilkS, "B.SilkS": pcbnew.B_SilkS, "F.Mask": pcbnew.F_Mask,
             "B.Mask": pcbnew.B_Mask, "F.Cu": pcbnew.F_Cu, "B.Cu": pcbnew.B_Cu}
RENDER = 8  # render pixels per picture pixel


def pictures():
    rng = random.Random(20)
    for rows in HAND_MADE:
        yield [[c == "#" for c in row] for row in rows]
    for _ in range(6):
        w, h = rng.randint(1, 40), rng.randint(1, 25)
        yield [[rng.random() < 0.6 for _ in range(w)] for _ in range(h)]


def write_pbm(path, pixels):
    with open(path, "w") as f:
        f.write("P1\n%d %d\n" % (len(pixels[0]), len(pixels)))
        for row in pixels:
            f.write(" ".join("1" if p else "0" for p in row) + "\n")


def kicad_plot(footprint, layer_id, folder):
    """KiCad's own Gerber of one layer of a board holding only the footprint at (0, 0)."""
    board = pcbnew.BOARD()
    board.Add(footprint)
    controller = pcbnew.PLOT_CONTROLLER(board)
    options = controller.GetPlotOptions()
    options.SetOutputDirectory(folder)
    options.SetPlotFrameRef(False)
    options.SetAutoScale(False)
    options.SetScale(1)
    options.SetMirror(False)
    controller.SetLayer(layer_id)
    controller.OpenPlotfile("plot", pcbnew.PLOT_FORMAT_GERBER, "plot")
    controller.PlotLayer()
    name = controller.GetPlotFileName()
    controller.ClosePlot()
    return name


def regions(gerber):
    """The contours of each G36 region of a Gerber in mm (KiCad writes format 4.6)."""
    found, x, y = [], 0, 0
    for line in open(gerber).read().split("\n"):
        m = re.match(r"^(?:X(-?\d+))?(?:Y(-?\d+))?D0([12])\*$", line)
        if line == "G36*":
            found.append([])
        elif m and found:
            x = int(m.group(1)) / 1e6 if m.group(1) else x
            y = int(m.group(2)) / 1e6 if m.group(2) else y
            if m.group(3) == "2":
                found[-1].append([])
            found[-1][-1].append((x, y))
    return found


def covered(found, to_grid, w, h):
    """Each pixel's count of regions filling its centre (contours of a region: union)."""
    rows = [[] for _ in range(h)]
    for region_index, region in enumerate(found):
        for contour in region:
            for (x1, y1), (x2, y2) in zip(contour, contour[1:] + contour[:1]):
                (gx1, gy1), (gx2, gy2) = to_grid(x1, y1), to_grid(x2, y2)
                if abs(gx1 - gx2) < 1e-6:
                    for r in range(round(min(gy1, gy2)), round(max(gy1, gy2))):
                        rows[r].append((gx1, 1 if gy2 < gy1 else -1, region_index))
    result = []
    for r in range(h):
        counts = []
        for k in range(w):
            wound = {}
            for gx, turn, region_index in rows[r]:
                if gx > k + 0.5:
                    wound[region_index] = wound.get(region_index, 0) + turn
            counts.append(sum(1 for n in wound.values() if n != 0))
        result.append(counts)
    return result


def read_png(path):
    data, pos, idat = open(path, "rb").read(), 8, b""
    while pos < len(data):
        (n,) = struct.unpack(">I", data[pos : pos + 4])
        kind, chunk = data[pos + 4 : pos + 8], data[pos + 8 : pos + 8 + n]
        pos += 12 + n
        if kind == b"IHDR":
            w, h, _, color = struct.unpack(">IIBB", chunk[:10])
        elif kind == b"IDAT":
            idat += chunk
    raw, step = zlib.decompress(idat), {0: 1, 2: 3, 4: 2, 6: 4}[color]
    stride, rows, prev, i = w * step, [], bytearray(w * step), 0
    for _ in range(h):
        kind, line = raw[i], bytearray(raw[i + 1 : i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - step] if x >= step else 0
            b, c = prev[x], prev[x - step] if x >= step else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return w, h, [[row[x * step] < 128 for x in range(w)] for row in rows]


def drawn_differences(gerber, pixels, scale, bottom, folder):
    """Render pixels of gerbv's drawing more than one render pixel from a square's edge that
    are not as the squares say."""
    w, h = len(pixels[0]), len(pixels)
    png = os.path.join(folder, "drawn.png")
    inch = scale / 1000
    subprocess.run(["gerbv", "--export=png", "--dpi=%g" % (RENDER / inch), "--border=0",
                    "--origin=%gx%g" % (-w * inch / 2, -h * inch / 2),
                    "--window_inch=%gx%g" % (w * inch, h * inch), "--background=#FFFFFF",
                    "--foreground=#000000", "--output=" + png, gerber],
                   check=True, capture_output=True)
    dw, dh, dark = read_png(png)
    if (dw, dh) != (w * RENDER, h * RENDER):
        return "drawn %d x %d" % (dw, dh)

    def traced(x, y):
        c, r = x // RENDER, y // RENDER
        return 0 <= x < dw and 0 <= y < dh and pixels[r][w - 1 - c if bottom else c]

    wrong = 0
    for y in range(dh):
        for x in range(dw):
            want = traced(x, y)
            if all(traced(x + dx, y + dy) == want for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                wrong += dark[y][x] != want
    return "%d render pixels wrong" % wrong if wrong else ""


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    convert = os.path.join(os.path.abspath(sys.argv[1]), "src/cli/kelviq-convert")
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        library = os.path.join(work, "logos.pretty")
        os.mkdir(library)
        count = 0
        for pixels in pictures():
            for side in ("top", "bottom"):
                for layer, scale in (("silkscreen", 2), ("mask", 2.5), ("copper", 1.6)):
                    count += 1
                    name = "logo%d" % count
                    w, h = len(pixels[0]), len(pixels)
                    write_pbm(os.path.join(work, "p.pbm"), pixels)
                    subprocess.run([convert, "--quiet", "--shape", "outline", "--side", side,
                                    "--layer", layer, "--scale", str(scale), "--output",
                                    os.path.join(library, name + ".kicad_mod"),
                                    os.path.join(work, "p.pbm")], check=True)
                    written = open(os.path.join(library, name + ".kicad_mod")).read()
                    layer_name = ("F." if side == "top" else "B.") + LAYERS[layer]
                    footprint = pcbnew.FootprintLoad(library, name)
                    polygons = [item for item in footprint.GraphicalItems()
                                if item.GetClass() == "MGRAPHIC"
                                and item.GetShape() == pcbnew.SHAPE_T_POLY]
                    problems = []
                    if len(polygons) != written.count("(fp_poly"):
                        problems.append("%d polygons loaded of %d" %
                                        (len(polygons), written.count("(fp_poly")))
                    layer_id = LAYER_IDS[layer_name]
                    if any(p.GetLayer() != layer_id or not p.IsFilled() or p.GetWidth() != 0
                           for p in polygons):
                        problems.append("a polygon not filled, of a width or not on " + layer_name)
                    unit = scale * 100  # plot units (hundredths of a mil) per pixel
                    centre = (w * unit / 2, (h - 1) * unit / 2)

                    def to_grid(x, y):  # KiCad's Gerber: mm, Y up, the footprint at 0, 0
                        return ((x / 0.000254 + centre[0]) / unit,
                                h - 0.5 - (y / 0.000254 + centre[1]) / unit)

                    gerber = kicad_plot(footprint, layer_id, work)
                    counts = covered(regions(gerber), to_grid, w, h)
                    for r in range(h):
                        for k in range(w):
                            c = w - 1 - k if side == "bottom" else k
                            if counts[r][k] != int(pixels[r][c]):
                                problems.append("pixel %d,%d filled %d times" %
                                                (c, r, counts[r][k]))
                    why = drawn_differences(gerber, pixels, scale, side == "bottom", work)
                    if why:
                        problems.append("gerbv: " + why)
                    failures += bool(problems)
                    print("%s: %d x %d, %s, %s, scale %g, %d polygons on %s: %s" %
                          (name, w, h, side, layer, scale, len(polygons), layer_name,
                           "; ".join(problems[:3]) or "exact"))
    print("%d of %d footprints differ" % (failures, count) if failures
          else "KiCad loads and plots all %d footprints exactly" % count)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
