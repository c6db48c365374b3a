#!/usr/bin/env python3
"""The web page in headless Chromium against kelviq-convert: every file the page makes equals
the converter's byte for byte, in all four formats and with the tracing and size settings, for
PNG, BMP, GIF and ICO pictures of every kind (palette, grey, 16-bit, alpha, transparent,
interlaced); the page's own controls (choose, click to pick, make, export) give the same files;
a file that is not a picture is refused and the last picture stays; the page is small and loads
fast.

    web_test.py --build BUILD --site build-web/site
"""
import argparse
import base64
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Page  # noqa: E402

EXTENSIONS = {"ipf": ".plt", "gerber": ".gbr", "kicad": ".kicad_mod", "svg": ".svg"}


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL  %s%s" % (name, ": " + detail if detail else ""), flush=True)


def png(path, width, height, rows, color_type, bits=8, data=None):
    """A PNG written directly, so that every byte is known: rows of 8-bit samples, or its
    compressed data as it is."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    if data is None:
        data = zlib.compress(b"".join(b"\0" + bytes(row) for row in rows), 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n"
                + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, color_type, 0, 0, 0))
                + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def make_pictures(build, work, rng):
    """Pictures of every kind the browser and the converter both read losslessly."""
    bench = os.path.join(build, "bench", "kelviq-bench-pictures")
    made = []

    def bench_picture(name, kind, size, bits):
        path = os.path.join(work, name)
        subprocess.run([bench, kind, size, bits, path], check=True, stdout=subprocess.DEVNULL)
        made.append(path)
        return path

    def magick(name, *args, kind=""):
        path = os.path.join(work, name)
        subprocess.run(["convert", *args, kind + path], check=True)
        made.append(path)
        return path

    w, h = rng.randint(150, 260), rng.randint(90, 200)
    logo = bench_picture("logo24.bmp", "logo", "%dx%d" % (w, h), "24")
    bench_picture("logo8.bmp", "logo", "%dx%d" % (h, w), "8")
    bench_picture("logo1.bmp", "logo", str(rng.randint(100, 200)), "1")
    noise = bench_picture("noise.bmp", "noise", str(rng.randint(60, 90)), "24")
    bench_picture("stripes.bmp", "stripes", "64", "24")
    magick("logo.png", logo)
    magick("logo-palette.png", logo, "-colors", "7", "-type", "Palette")
    magick("logo-grey.png", logo, "-colorspace", "Gray", "-type", "Grayscale")
    magick("logo-interlaced.png", logo, "-interlace", "PNG")
    magick("logo.gif", logo)
    magick("logo-transparent.gif", logo, "-transparent", "white")
    magick("logo-transparent.png", logo, "-transparent", "white", "-type", "PaletteAlpha")
    magick("noise-alpha.png", noise, "-alpha", "set", "-channel", "A", "-fx",
           "(i*7+j*13)%256/255", "+channel", kind="PNG32:")
    # Many colours, for the tolerance; PNG as RGB, 8-bit and 4-bit palette, 8-bit grey and
    # 1-bit palette (the page reads palette and grey PNGs of 1 and 8 bits itself).
    plasma_of = ["-size", "%dx%d" % (rng.randint(60, 140), rng.randint(60, 140)),
                 "-seed", str(rng.randrange(1 << 16)), "plasma:fractal"]
    plasma = magick("plasma.png", *plasma_of, kind="PNG24:")
    # 16-bit samples, which the converter rounds to 8 bits.
    plasma16 = magick("plasma16.png", *plasma_of, "-depth", "16", kind="PNG48:")
    magick("plasma-grey16.png", plasma16, "-colorspace", "Gray", "-depth", "16",
           "-define", "png:color-type=0")
    magick("plasma-palette.png", plasma, "-colors", "256", kind="PNG8:")
    magick("plasma-palette4.png", plasma, "-colors", "12", "-define", "png:bit-depth=4",
           "-define", "png:color-type=3")
    magick("plasma-grey.png", plasma, "-colorspace", "Gray", "-define", "png:bit-depth=8",
           "-define", "png:color-type=0")
    magick("plasma.ico", plasma, "-colors", "200")
    magick("logo-palette1.png", logo, "-colors", "2", "-define", "png:bit-depth=1",
           "-define", "png:color-type=3")
    grey_alpha = os.path.join(work, "grey-alpha.png")
    png(grey_alpha, 64, 64, [[v for x in range(64) for v in ((x * 4 + y) % 256, (y * 4) % 256)]
                             for y in range(64)], 4)
    made.append(grey_alpha)
    return made


def every_value_and_alpha(page, work, results):
    """The page shows (and traces) every value at every alpha as Qt's painter shows it on white:
    the picture view at actual size holds the pixels the worker decoded and flattened."""
    path = os.path.join(work, "pairs.png")
    png(path, 256, 256, [[c for v in range(256) for c in (v, 255 - v, v ^ 0x5A, a)]
                         for a in range(256)], 6)
    driver = page.driver
    page.open()
    driver.find_element(By.ID, "picture").send_keys(path)
    WebDriverWait(driver, 20).until(
        lambda d: "256 × 256 pixels" in d.find_element(By.ID, "status-facts").text)
    driver.find_element(By.ID, "zoom-actual").click()
    got = driver.execute_script("""
        const canvas = document.getElementById("view-canvas");
        const ratio = canvas.width / canvas.clientWidth;
        const pixels = canvas.getContext("2d").getImageData(0, 0, 256 * ratio, 256 * ratio).data;
        const out = [];
        for (let y = 0; y < 256; y++)
          for (let x = 0; x < 256; x++) {
            const i = (Math.floor(y * ratio) * 256 * ratio + Math.floor(x * ratio)) * 4;
            out.push(pixels[i], pixels[i + 1], pixels[i + 2]);
          }
        let text = "";
        for (let i = 0; i < out.length; i += 0x8000)
          text += String.fromCharCode.apply(null, out.slice(i, i + 0x8000));
        return btoa(text);""")
    pixels = base64.b64decode(got)

    def shown(value, alpha):
        def divide(x):
            return (x + (x >> 8) + 0x80) >> 8
        return divide(value * alpha) + divide(255 * (255 - alpha))

    wrong = [(v, a) for a in range(256) for v in range(256)
             if tuple(pixels[(a * 256 + v) * 3:(a * 256 + v) * 3 + 3])
             != (shown(v, a), shown(255 - v, a), shown(v ^ 0x5A, a))]
    results.check("every value at every alpha shows on white as the converter traces it", not wrong,
                  "%d pairs differ, first %s" % (len(wrong), wrong[:5]))


def without_image_decoder(site, work):
    """The site with a worker that finds no WebCodecs ImageDecoder, as in browsers that lack it:
    the page then decodes through createImageBitmap, a 2D canvas and WebGL."""
    copy = os.path.join(work, "site-without-imagedecoder")
    shutil.copytree(site, copy)
    worker = os.path.join(copy, "kelviq-worker.js")
    with open(worker) as f:
        text = f.read()
    with open(worker, "w") as f:
        f.write("self.ImageDecoder = undefined;\n" + text)
    return copy


def refusals(page, convert, work, pictures, results):
    """Settings no plot can be made with are refused in the converter's words."""
    picture = pictures[0]
    with open(picture, "rb") as f:
        data = f.read()
    for options in ({"scale": "2,5"}, {"scale": "0"}, {"thickness": "-1"},
                    {"thickness": "1e9"}, {"tolerance": "256"}, {"despeckle": "-1"},
                    {"width": "25"}, {"height": "3 furlongs"}, {"pick": [5000, 2]},
                    {"format": "gerber", "thickness": "0"}, {"format": "svg", "thickness": "0"},
                    {"format": "kicad", "thickness": "0.00001"},
                    {"format": "gerber", "thickness": "99999999"},
                    {"format": "kicad", "scale": "200000"}, {"format": "ipf", "scale": "1e300"},
                    {"format": "kicad", "width": "5000mm"}, {"format": "gerber", "height": "2000in"},
                    {"shape": "outline"}, {"format": "svg", "shape": "blob"},
                    {"format": "gerber", "side": "left"},
                    {"format": "kicad", "shape": "outline", "scale": "200000"}):
        options = dict(options, name="picture")
        _, refusal = convert_natively(convert, work, picture, options)
        _, error, _, _ = page.convert(data, options)
        # The converter's first line: usage errors add a hint to --help.
        expected = refusal.splitlines()[0].replace("kelviq-convert: ", "").replace(picture, "picture")
        results.check("refused as the converter refuses: %s" % options, error == expected,
                      "converter: %s; page: %s" % (expected, error))


def too_large(page, convert, work, results):
    """A small PNG claiming 50000 × 50000 pixels is refused before it is decoded, with the
    converter's reason."""
    path = os.path.join(work, "bomb.png")
    packer = zlib.compressobj(9)
    row = bytes(1 + 50000 // 8)
    data = b"".join(packer.compress(row) for _ in range(50000)) + packer.flush()
    png(path, 50000, 50000, [], 0, bits=1, data=data)
    _, refusal = convert_natively(convert, work, path, {})
    with open(path, "rb") as f:
        _, error, _, _ = page.convert(f.read(), {"name": "bomb"})
    reason = lambda text: text.split("bomb.png: ")[-1].split("bomb: ")[-1]  # noqa: E731
    results.check("a picture too large to trace is refused at once", error and reason(error) == reason(refusal),
                  "converter: %s; page: %s" % (refusal, error))


def converter_args(options):
    args = []
    if "pick" in options:
        args += ["--pick", "%d,%d" % tuple(options["pick"])]
    if "color" in options:
        args += ["--color", options["color"].lstrip("#")]
    for key in ("tolerance", "despeckle", "scale", "thickness", "width", "height", "shape", "side",
                "layer"):
        if key in options:
            args += ["--" + key, str(options[key])]
    if options.get("invert"):
        args.append("--invert")
    return args


def convert_natively(convert, work, picture, options):
    fmt = options.get("format", "ipf")
    output = os.path.join(work, options.get("name", "out") + EXTENSIONS[fmt])
    run = subprocess.run([convert, "--quiet", "--format", fmt, "--output", output,
                          *converter_args(options), picture], capture_output=True)
    if run.returncode != 0:
        return None, run.stderr.decode().strip()
    with open(output, "rb") as f:
        data = f.read()
    os.remove(output)
    return data, ""


def exactness(page, convert, work, pictures, rng, results, label=""):
    tracing = [{}, {"tolerance": 40}, {"tolerance": 10, "invert": True},
               {"despeckle": 5}, {"tolerance": 30, "despeckle": 12}]
    sizes = [{"scale": "0.1", "thickness": "7.5"}, {"width": "25mm"}, {"height": "1in"},
             {"scale": "3.3", "thickness": "0"}]
    if label:  # another way of decoding: a few settings do
        tracing, sizes = tracing[:2], []
    formats = list(EXTENSIONS)
    for number, picture in enumerate(pictures):
        with open(picture, "rb") as f:
            data = f.read()
        name = os.path.splitext(os.path.basename(picture))[0].replace("-", "_")
        # Every picture in every format; each other setting in one format a picture, the next
        # picture the next format, so that each setting meets each format several times.
        runs = [{"format": fmt} for fmt in formats]
        runs += [dict(options, format=formats[(number + i) % len(formats)])
                 for i, options in enumerate(tracing[1:] + sizes)]
        # Filled outlines (in the formats that hold them), board side and layer.
        shaped = ["gerber", "kicad", "svg"]
        runs += [dict(options, format=shaped[(number + i) % len(shaped)])
                 for i, options in enumerate([
                     {"shape": "outline"}, {"shape": "outline", "side": "bottom", "scale": "0.37"},
                     {"shape": "outline", "layer": "copper", "tolerance": 40},
                     {"side": "bottom", "layer": "mask"}])]
        runs.append({"pick": [rng.randrange(40), rng.randrange(40)], "tolerance": 5})
        runs.append({"color": "#%06x" % rng.randrange(1 << 24), "tolerance": 120})
        for options in runs:
            options = dict(options, name=name)
            expected, refusal = convert_natively(convert, work, picture, options)
            got, error, answer, _ = page.convert(data, options)
            what = "%s%s %s" % (label, os.path.basename(picture), options)
            if expected is None:
                results.check(what + " refused alike", got is None and error in refusal,
                              "converter: %s; page: %s" % (refusal, error or "converted"))
            else:
                results.check(what, got == expected,
                              error or "%d bytes against the converter's %d" % (len(got), len(expected)))


def page_controls(page, convert, work, rng, results):
    """Choosing, clicking, making and exporting through the page's own controls."""
    driver = page.driver
    page.open()
    bench = os.path.join(os.path.dirname(convert), "..", "..", "bench", "kelviq-bench-pictures")
    bmp = os.path.join(work, "artwork.bmp")
    w, h = rng.randint(120, 200), rng.randint(80, 140)
    subprocess.run([bench, "logo", "%dx%d" % (w, h), "24", bmp], check=True,
                   stdout=subprocess.DEVNULL)
    picture = os.path.join(work, "artwork.png")
    subprocess.run(["convert", bmp, picture], check=True)
    facts = lambda: driver.find_element(By.ID, "status-facts").text  # noqa: E731
    driver.find_element(By.ID, "picture").send_keys(picture)
    WebDriverWait(driver, 20).until(lambda d: "%d × %d pixels" % (w, h) in facts()
                                    and "segment" in facts() and "counting" not in facts())
    tolerance = driver.find_element(By.ID, "tolerance")
    tolerance.clear()
    tolerance.send_keys("20")

    # A click on the pixel at (x, y) of the view, at whatever zoom the picture is shown.
    x, y = rng.randrange(w), rng.randrange(h)
    view = driver.find_element(By.ID, "view")
    zoom = float(driver.find_element(By.ID, "zoom-level").text.rstrip("%")) / 100
    box = driver.execute_script(
        "const v = arguments[0], r = v.getBoundingClientRect();"
        "return [r.width, r.height, v.scrollLeft, v.scrollTop, v.clientLeft, v.clientTop];", view)
    dx = (x + 0.5) * zoom - box[2] + box[4] - box[0] / 2
    dy = (y + 0.5) * zoom - box[3] + box[5] - box[1] / 2
    before = driver.find_element(By.ID, "color").get_attribute("value")
    ActionChains(driver).move_to_element_with_offset(view, int(round(dx)), int(round(dy))).click().perform()
    expected, _ = convert_natively(convert, work, picture, {"pick": [x, y], "tolerance": 20})
    WebDriverWait(driver, 20).until(lambda d: view.get_attribute("aria-busy") is None
                                    and "counting" not in facts())
    color = driver.find_element(By.ID, "color").get_attribute("value")
    driver.find_element(By.ID, "make").click()
    got = page.downloaded("out.plt")
    results.check("click at %d,%d (colour %s, was %s), then 3 - Make out.plt" % (x, y, color, before),
                  got == expected, "%d bytes against the converter's %d" % (len(got), len(expected)))

    # Exports are named after the picture.
    for fmt, button in (("gerber", "export-gerber"), ("kicad", "export-kicad"), ("svg", "export-svg")):
        driver.find_element(By.ID, button).click()
        got = page.downloaded("artwork" + EXTENSIONS[fmt])
        expected, _ = convert_natively(convert, work, picture,
                                       {"pick": [x, y], "tolerance": 20, "format": fmt, "name": "artwork"})
        results.check("export " + fmt, got == expected)

    # Filled outlines on the bottom side, through the page's own controls.
    for control, value in (("shape", "outline"), ("side", "bottom")):
        driver.execute_script("const s = document.getElementById(arguments[0]);"
                              "s.value = arguments[1]; s.dispatchEvent(new Event('change'));",
                              control, value)
    driver.find_element(By.ID, "export-gerber").click()
    got = page.downloaded("artwork.gbr")
    expected, _ = convert_natively(convert, work, picture, {"pick": [x, y], "tolerance": 20, "format": "gerber",
                                                            "name": "artwork", "shape": "outline", "side": "bottom"})
    results.check("export gerber as filled outlines on the bottom side", got == expected)
    driver.find_element(By.ID, "make").click()
    want = "IPF files hold lines only"
    WebDriverWait(driver, 20).until(lambda d: want in d.find_element(By.ID, "status-run").text)
    for control, value in (("shape", "lines"), ("side", "top")):
        driver.execute_script("document.getElementById(arguments[0]).value = arguments[1];",
                              control, value)

    # Something that is not a picture is refused; the picture stays.
    notes = os.path.join(work, "notes.txt")
    with open(notes, "w") as f:
        f.write("not a picture\n")
    driver.find_element(By.ID, "picture").send_keys(notes)
    run = lambda: driver.find_element(By.ID, "status-run").text  # noqa: E731
    want = "Cannot read the picture notes.txt: not a picture format this program can read"
    try:
        WebDriverWait(driver, 20).until(lambda d: want in run())
        refused = True
    except Exception:
        refused = False
    results.check("a text file is refused with a message", refused, run())
    cut = os.path.join(work, "cut.png")
    with open(picture, "rb") as f, open(cut, "wb") as g:
        g.write(f.read()[:400])
    driver.find_element(By.ID, "picture").send_keys(cut)
    want = "Cannot read the picture cut.png: the file is damaged or cut short"
    try:
        WebDriverWait(driver, 20).until(lambda d: want in run())
        refused = True
    except Exception:
        refused = False
    results.check("a PNG cut short is refused with a message", refused, run())
    results.check("the picture before stays", "%d × %d pixels" % (w, h) in facts(), facts())
    driver.find_element(By.ID, "make").click()
    expected, _ = convert_natively(convert, work, picture, {"pick": [x, y], "tolerance": 20})
    results.check("and still makes its plot", page.downloaded("out.plt") == expected)

    # Bad settings get the converter's words.
    scale = driver.find_element(By.ID, "scale")
    scale.clear()
    scale.send_keys("2,5")
    driver.find_element(By.ID, "make").click()
    WebDriverWait(driver, 20).until(lambda d: "is not a number" in run())
    results.check("a scale with a comma is refused", 'The scale "2,5" is not a number.' in run(), run())


def size_and_load(page, site, results):
    total = sum(os.path.getsize(os.path.join(site, f)) for f in os.listdir(site))
    results.check("the page's files total under 2 MB (%d bytes)" % total, total < 2_000_000)
    with open(os.path.join(site, "index.html")) as f:
        html = f.read()
    results.check("the page names no outside address", "http" not in html.replace("http-equiv", ""))
    times = []
    for _ in range(3):
        start = time.monotonic()
        page.open()
        # Ready for work: the WebAssembly compiled and a worker answering.
        page.driver.execute_async_script("""
            const done = arguments[0];
            window.kelviq.convert(new Uint8Array([66, 77]), {}).catch(() => done());""")
        times.append(time.monotonic() - start)
    best = min(times)
    print("page load until it converts: %.3f s (best of 3)" % best, flush=True)
    results.check("the page loads and answers in under 1 s (%.3f s)" % best, best < 1.0)


def layout(page, results):
    """Readable from a phone to a wide screen, in light and dark: nothing sticks out sideways,
    every control is on the page and the text contrasts with its background."""
    driver = page.driver
    page.open()
    ids = ["picture-label", "thickness", "scale", "color", "tolerance", "despeckle", "invert",
           "shape", "side", "layer",
           "plot-width", "plot-height", "make", "export-gerber", "export-kicad", "export-svg",
           "view", "status"]
    for width in (360, 1920):
        for scheme in ("light", "dark"):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": width < 500})
            driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": scheme}]})
            found = driver.execute_script("""
                const ids = arguments[0];
                const out = [];
                for (const id of ids) {
                  const r = document.getElementById(id).getBoundingClientRect();
                  if (r.width === 0 || r.left < 0 || r.right > innerWidth + 0.5) out.push(id);
                }
                if (document.documentElement.scrollWidth > innerWidth) out.push("page is wider");
                const style = getComputedStyle(document.body);
                return [out, style.color, style.backgroundColor];""", ids)
            outside, color, background = found
            luminance = lambda c: sum(int(v) for v in c[c.index("(") + 1:-1].split(",")[:3])  # noqa: E731
            dark_text = luminance(color) < luminance(background)
            results.check("%d px wide, %s: every control on the page" % (width, scheme),
                          not outside, ", ".join(outside))
            results.check("%d px wide, %s: %s text" % (width, scheme, "dark" if scheme == "light" else "light"),
                          dark_text == (scheme == "light"), "%s on %s" % (color, background))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--site", default="build-web/site")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    print("web test, seed %d" % seed, flush=True)
    rng = random.Random(seed)
    convert = os.path.abspath(os.path.join(args.build, "src", "cli", "kelviq-convert"))
    site = os.path.abspath(args.site)
    results = Results()
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kelviq-web-test-") as work:
        pictures = make_pictures(os.path.abspath(args.build), work, rng)
        page = Page(site)
        try:
            size_and_load(page, site, results)
            layout(page, results)
            every_value_and_alpha(page, work, results)
            exactness(page, convert, work, pictures, rng, results)
            refusals(page, convert, work, pictures, results)
            too_large(page, convert, work, results)
            page_controls(page, convert, work, rng, results)
        finally:
            page.close()
        page = Page(without_image_decoder(site, work))
        try:
            every_value_and_alpha(page, work, results)
            exactness(page, convert, work, pictures, rng, results, label="without ImageDecoder: ")
        finally:
            page.close()
    print("%.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main())
