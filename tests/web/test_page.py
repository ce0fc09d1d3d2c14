#!/usr/bin/env python3
"""The web page in headless Chromium, driven by Selenium as a person would use it.

usage: test_page.py --site FOLDER --velmora BINARY [unittest arguments]

Each test serves FOLDER (what `make web` built) on 127.0.0.1 from this process,
starts a Chromium of its own with a fresh profile, and stops both at its end.
Renders are compared with `velmora render` bit for bit, the panel's pixels with
`velmora edit --screenshot`.
"""
import argparse
import base64
import importlib.util
import pathlib
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO = ROOT / "examples" / "demo.mid"
SITE = VELMORA = None

loader = importlib.util.spec_from_file_location("serve_web", ROOT / "scripts" / "serve-web.py")
serve_web = importlib.util.module_from_spec(loader)
loader.loader.exec_module(serve_web)

# Without the networking flags Chromium tries to reach its services, which a
# closed network refuses; as root it needs --no-sandbox.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1400,1000"]


def float_wav_samples(path):
    """The data chunk of a 32-bit float WAV file, as bytes."""
    data = pathlib.Path(path).read_bytes()
    pos = 12
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        if chunk == b"data":
            return data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    raise AssertionError(f"{path}: no data chunk")


def velmora(*args):
    return subprocess.run([VELMORA, *map(str, args)], capture_output=True, text=True, timeout=120)


def png_pixels(data):
    """Width, height and RGBA bytes of an 8-bit, non-interlaced RGB or RGBA PNG (what cairo writes)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    pos, packed = 8, b""
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack_from(">IIBBBBB", data, pos + 8)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "a PNG this reader does not read"
        elif kind == b"IDAT":
            packed += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    bpp = 4 if colour == 6 else 3
    raw, stride, rows, previous = zlib.decompress(packed), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left, up = row[i - bpp] if i >= bpp else 0, previous[i]
            corner = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(row) if bpp == 4 else b"".join(row[i:i + 3] + b"\xff" for i in range(0, stride, 3)))
        previous = row
    return width, height, b"".join(rows)


def lcd_mask(images, width, height, reach):
    """The pixels of the displays' dark green windows (where the text is), and `reach` pixels around."""
    masked = set()
    for image in images:
        for i in range(0, len(image), 4):
            if image[i + 1] >= image[i] + 6 and image[i + 1] >= image[i + 2] + 2:
                masked.add(i // 4)
    grown = set()
    for p in masked:
        x, y = p % width, p // width
        for j in range(max(0, y - reach), min(height, y + reach + 1)):
            grown.update(range(j * width + max(0, x - reach), j * width + min(width, x + reach + 1)))
    return grown


class WebPage(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.tmp = pathlib.Path(self.folder.name)
        self.server = serve_web.Server(SITE)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.open_browser()

    def open_browser(self, flags=()):
        """A Chromium of its own with the page loaded and ready; `flags` for the browser besides ours."""
        options = webdriver.ChromeOptions()
        for flag in CHROMIUM_FLAGS + [f"--user-data-dir={tempfile.mkdtemp(dir=self.tmp)}", *flags]:
            options.add_argument(flag)
        options.binary_location = "/usr/bin/chromium"
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.browser.set_script_timeout(120)
        self.browser.execute_cdp_cmd("Browser.setDownloadBehavior",
                                     {"behavior": "allow", "downloadPath": str(self.tmp)})
        self.browser.get(self.server.url())
        self.assertEqual(self.run_async("velmora.ready.then(() => done('ready'), (e) => done(String(e)))"), "ready")

    def tearDown(self):
        self.browser.quit()
        self.server.shutdown()
        self.server.server_close()
        self.folder.cleanup()

    def run_async(self, body, *args):
        return self.browser.execute_async_script("const done = arguments[arguments.length - 1];\n" + body, *args)

    def status(self):
        return self.browser.find_element(By.ID, "status").text

    def console_errors(self):
        return [e["message"] for e in self.browser.get_log("browser") if e["level"] == "SEVERE"]

    def open_file(self, path):
        """As a person picks a file with "Open preset…" or "Open MIDI file…"."""
        self.browser.find_element(By.ID, "file").send_keys(str(path))

    # ---- the panel, canvas#panel, at the pixel a person points at

    def mouse(self, kind, x, y, modifiers=0):
        """A mouse event at the middle of the panel's pixel (x, y) (unscaled), by the browser's own input:
        kind is mousePressed, mouseMoved (with the button down once pressed) or mouseReleased."""
        cx, cy = self.browser.execute_script("""
            const c = document.getElementById('panel'), r = c.getBoundingClientRect(), d = devicePixelRatio;
            const u = r.width / parseFloat(c.style.width);  // CSS pixels per unscaled pixel: 1 unless stretched
            return [(Math.round(r.left * d) + (arguments[0] + 0.5) * u * d) / d,
                    (Math.round(r.top * d) + (arguments[1] + 0.5) * u * d) / d];""", x, y)
        self.held = kind == "mousePressed" or (kind == "mouseMoved" and getattr(self, "held", False))
        self.browser.execute_cdp_cmd("Input.dispatchMouseEvent", {
            "type": kind, "x": cx, "y": cy, "modifiers": modifiers, "clickCount": 1,
            "button": "left" if kind != "mouseMoved" or self.held else "none", "buttons": 1 if self.held else 0})

    def click_panel(self, x, y):
        self.mouse("mousePressed", x, y)
        self.mouse("mouseReleased", x, y)

    def panel_pixels(self):
        """Width, height and RGBA bytes of canvas#panel as it shows."""
        width, height, pixels = self.browser.execute_script("""
            const c = document.getElementById('panel'), d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let text = '';
            for (let i = 0; i < d.length; i += 0x8000) text += String.fromCharCode(...d.subarray(i, i + 0x8000));
            return [c.width, c.height, btoa(text)];""")
        return width, height, base64.b64decode(pixels)

    def region(self, x, y, w, h):
        """The RGBA bytes of a rectangle of the panel, in unscaled pixels."""
        width, _, pixels = self.panel_pixels()
        scale = width // 850 if width % 850 == 0 else width / 850
        left, top, right, bottom = (int(v * scale) for v in (x, y, x + w, y + h))
        return b"".join(pixels[(row * width + left) * 4:(row * width + right) * 4] for row in range(top, bottom))

    def loudness(self):
        samples = self.browser.execute_script("return Array.from(velmora.recentOutput().samples);")
        return (sum(s * s for s in samples) / max(1, len(samples))) ** 0.5

    def assert_panel_matches_velmora_edit(self, scale, *options):
        """The panel's pixels against `velmora edit --screenshot` at the same scale (and options), the
        displays' text masked (the browser draws glyphs its own way); pictures turned or scaled may differ
        by a few levels."""
        native = self.tmp / f"edit-{scale}.png"
        result = velmora("edit", "--screenshot", native, "--scale", scale, *options)
        self.assertEqual(result.returncode, 0, result.stderr)
        width, height, expected = png_pixels(native.read_bytes())
        size = self.panel_pixels()
        self.assertEqual(size[:2], (width, height))
        shown = size[2]
        masked = lcd_mask((expected, shown), width, height, int(scale + 0.5))
        self.assertLess(len(masked), width * height // 5, "the mask covers the panel")
        worst, total, counted = 0, 0, 0
        for p in range(width * height):
            if p in masked:
                continue
            d = max(abs(shown[4 * p + k] - expected[4 * p + k]) for k in range(3))
            worst, total, counted = max(worst, d), total + d, counted + 1
        print(f"scale {scale}: {counted} pixels compared ({len(masked)} masked), mean difference "
              f"{total / counted:.3f}, largest {worst}")
        self.assertLessEqual(worst, 16)
        self.assertLess(total / counted, 0.5)

    def test_render_song_equals_velmora_render(self):
        song = base64.b64encode(DEMO.read_bytes()).decode()
        for preset, rate in ((0, 44100), (5, 48000)):
            native = self.tmp / f"native-{preset}.wav"
            result = velmora("render", DEMO, native, "--preset", preset, "--rate", rate, "--format", "float")
            self.assertEqual(result.returncode, 0, result.stderr)
            started = time.monotonic()
            page = self.run_async("""
                const bytes = Uint8Array.from(atob(arguments[0]), (c) => c.charCodeAt(0));
                velmora.renderSong(bytes, { preset: arguments[1], sampleRate: arguments[2] }).then((out) => {
                    const [l, r] = out.channels, both = new Float32Array(2 * l.length);
                    for (let i = 0; i < l.length; ++i) { both[2 * i] = l[i]; both[2 * i + 1] = r[i]; }
                    let text = '';
                    const bytes = new Uint8Array(both.buffer);
                    for (let i = 0; i < bytes.length; i += 0x8000)
                        text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
                    done({ sampleRate: out.sampleRate, samples: btoa(text) });
                }, (e) => done({ error: e.message }));""", song, preset, rate)
            seconds = time.monotonic() - started
            self.assertNotIn("error", page)
            self.assertEqual(page["sampleRate"], rate)
            ours, theirs = base64.b64decode(page["samples"]), float_wav_samples(native)
            frames = len(theirs) // 8
            print(f"preset {preset} at {rate} Hz: {frames} frames, page {seconds:.2f} s (with the transfer)")
            if ours != theirs:
                first = next((i // 8 for i in range(0, min(len(ours), len(theirs)), 8)
                              if ours[i:i + 8] != theirs[i:i + 8]), min(len(ours), len(theirs)) // 8)
                self.fail(f"preset {preset} at {rate} Hz: {len(ours) // 8} frames against velmora render's "
                          f"{frames}, first different at frame {first}")

    def test_page_loads_without_errors_within_one_and_a_half_megabytes(self):
        self.assertEqual(self.console_errors(), [])
        # The panel drew in its own font (loaded before it opened), from the pictures of scale 1 only.
        self.assertTrue(self.browser.execute_script(
            "return [...document.fonts].some((f) => f.family.replace(/\"/g, '') === 'DejaVu Sans Mono' && "
            "f.status === 'loaded');"))
        pictures = [p for p, _, _ in self.server.responses if p.startswith("/pictures/") and p.endswith(".png")]
        self.assertEqual(len(pictures), 18)
        self.assertEqual([p for p in pictures if "@" in p], [])
        # The sound starts with a click: the worklet's script comes then.
        self.browser.find_element(By.TAG_NAME, "h1").click()
        WebDriverWait(self.browser, 10).until(lambda b: any(p == "/velmora-worklet.js"
                                                            for p, _, _ in self.server.responses))
        time.sleep(0.5)
        self.assertEqual(self.console_errors(), [])
        failed = [(p, s) for p, s, _ in self.server.responses if s != 200]
        self.assertEqual(failed, [])
        total = sum(size for _, _, size in self.server.responses)
        print(f"first load: {len(self.server.responses)} files, {total} bytes")
        self.assertLessEqual(total, 1_500_000)

    def test_the_panel_looks_as_in_velmora_edit(self):
        self.assert_panel_matches_velmora_edit(1)

    def test_panel_click_and_drag_set_values_and_the_sound_as_in_velmora_edit(self):
        # Volume's knob is 48 x 48 at (23, 14): a click at three o'clock of its centre is 5/6 of the
        # way round, trunc(100 x 5/6) = 83 as on Linux; the other controls of the page follow.
        readout = (76, 23, 44, 30)  # right of the knob, where its readout box goes
        quiet = self.region(*readout)
        self.click_panel(62, 38)
        self.assertEqual(self.browser.execute_script("return velmora.getParameter(0);"), 83)
        shown = self.browser.find_element(By.CSS_SELECTOR, "[data-id='0']").get_attribute("value")
        self.assertEqual(float(shown), 83)

        # A held note; a drag round to nine o'clock (1/6: 16) makes it quieter while it sounds.
        ActionChains(self.browser).key_down("z").perform()
        deadline = time.monotonic() + 10  # the sound starts with the key: the worklet loads first
        while self.loudness() < 0.01 and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(1.0)  # the note settles and fills the analyser's window
        before = self.loudness()
        self.mouse("mousePressed", 62, 38)
        self.mouse("mouseMoved", 50, 28)
        self.mouse("mouseMoved", 32, 38)
        time.sleep(0.2)
        during = self.region(*readout)
        self.mouse("mouseReleased", 32, 38)
        self.assertEqual(self.browser.execute_script("return velmora.getParameter(0);"), 16)
        time.sleep(1.0)
        after = self.loudness()
        ActionChains(self.browser).key_up("z").perform()
        print(f"loudness (RMS) at Volume 83: {before:.4f}, at 16: {after:.4f}")
        self.assertGreater(before, 0.01, "no note")
        self.assertLess(after, 0.5 * before)

        # The readout is composed over the canvas while the knob turns; once the pointer has left
        # it, it goes and leaves the panel as it was.
        self.assertNotEqual(during, quiet)
        self.mouse("mouseMoved", 420, 585)
        WebDriverWait(self.browser, 3).until(lambda b: self.region(*readout) == quiet)
        self.assertEqual(self.console_errors(), [])

    def test_a_preset_from_the_menu_moves_the_panel(self):
        knob, routing = (23, 14, 48, 48), (169, 18, 100, 46)  # Volume's knob, the Routing display
        before = [self.region(*r) for r in (knob, routing)]
        Select(self.browser.find_element(By.ID, "preset")).select_by_value("1")  # rez bass: Volume 78, Routing 8
        WebDriverWait(self.browser, 5).until(
            lambda b: all(self.region(*r) != old for r, old in zip((knob, routing), before)))
        self.assert_panel_matches_velmora_edit(1, "--preset", 1)

    def test_at_device_pixel_ratio_2_the_panel_is_drawn_from_its_2x_pictures(self):
        self.browser.quit()
        self.server.responses.clear()
        self.open_browser(["--force-device-scale-factor=2"])
        self.assertEqual(self.browser.execute_script(
            "const c = document.getElementById('panel'); return [devicePixelRatio, c.width, c.height];"),
            [2, 1700, 1180])
        pictures = [p for p, _, _ in self.server.responses if p.startswith("/pictures/") and p.endswith(".png")]
        self.assertEqual(len(pictures), 18)
        self.assertEqual([p for p in pictures if not p.endswith("@2x.png")], [])
        self.assert_panel_matches_velmora_edit(2)
        self.click_panel(62, 38)  # pointer positions map back to the same pixel
        self.assertEqual(self.browser.execute_script("return velmora.getParameter(0);"), 83)
        total = sum(size for _, _, size in self.server.responses)
        print(f"first load at devicePixelRatio 2: {len(self.server.responses)} files, {total} bytes")
        self.assertLessEqual(total, 1_500_000)
        self.assertEqual(self.console_errors(), [])

    def test_key_plays_the_note_of_its_key(self):
        # A pure sine (digiwave at shape 0, oscillator 2 off), so that zero crossings give the pitch.
        self.browser.execute_script("velmora.setParameter(7, 2); velmora.setParameter(11, 0); "
                                    "velmora.setParameter(17, 0);")
        body = self.browser.find_element(By.TAG_NAME, "body")
        body.send_keys(Keys.ARROW_RIGHT)  # the lower row then plays from C4, key 60
        ActionChains(self.browser).key_down("z").perform()
        deadline = time.monotonic() + 10  # the sound starts with the key: the worklet loads first
        while True:
            time.sleep(0.3)
            out = self.browser.execute_script("const o = velmora.recentOutput(); "
                                              "return { rate: o.sampleRate, samples: Array.from(o.samples) };")
            samples, rate = out["samples"], out["rate"]
            ups = [i for i in range(1, len(samples)) if samples[i - 1] < 0 <= samples[i]]
            if len(ups) > 20 or time.monotonic() > deadline:
                break
        ActionChains(self.browser).key_up("z").perform()
        self.assertGreater(len(ups), 20, "no note")
        hz = rate * (len(ups) - 1) / (ups[-1] - ups[0])
        expected = 110 * 2 ** ((60 - 69) / 12)  # two octaves below concert pitch
        self.assertAlmostEqual(hz, expected, delta=expected * 0.002)
        self.assertIn("C4", self.browser.find_element(By.ID, "keyboard-state").text)
        self.assertEqual(self.console_errors(), [])

    def test_set_parameter_round_trips_and_refuses_bad_values(self):
        self.assertEqual(self.browser.execute_script(
            "velmora.setParameter(0, 37.25); velmora.setParameter(9, 3.6); "
            "return [velmora.getParameter(0), velmora.getParameter(9)];"), [37.25, 4])
        for call in ("velmora.setParameter(102, 1)", "velmora.setParameter(0, NaN)"):
            error = self.browser.execute_script(f"try {{ {call}; return null; }} catch (e) {{ return e.message; }}")
            self.assertIsNotNone(error, call)
        self.assertEqual(self.browser.execute_script("return velmora.getParameter(0);"), 37.25)
        shown = self.browser.find_element(By.CSS_SELECTOR, "[data-id='0']").get_attribute("value")
        self.assertEqual(float(shown), 37.25)

    def test_preset_files_read_write_and_refuse_as_velmora_does(self):
        good = self.tmp / "five.aupreset"
        self.assertEqual(velmora("state", "save", good, "--preset", 5).returncode, 0)
        text = good.read_bytes()
        volume = self.browser.execute_script("velmora.setParameter(0, 12.5); return velmora.getParameter(0);")
        damaged = self.tmp / "cut.aupreset"
        damaged.write_bytes(text[: len(text) // 2])
        binary = self.tmp / "binary.aupreset"
        binary.write_bytes(b"bplist00" + bytes(64))
        for path, message in ((damaged, "cut.aupreset: not a property-list preset file (damaged or truncated)"),
                              (binary, "velmora state save")):
            self.open_file(path)
            WebDriverWait(self.browser, 10).until(lambda b: message in self.status())
            self.assertEqual(self.browser.execute_script("return velmora.getParameter(0);"), volume)

        # A good file loads, and the page saves it again as `velmora state save` writes it.
        self.open_file(good)
        WebDriverWait(self.browser, 10).until(lambda b: "five.aupreset: loaded" in self.status())
        known = set(self.tmp.iterdir())
        self.browser.find_element(By.ID, "save-preset").click()
        saved = WebDriverWait(self.browser, 10).until(
            lambda b: next((p for p in self.tmp.glob("*.aupreset") if p not in known), None))
        self.assertEqual(saved.read_bytes(), text)
        self.assertEqual(self.console_errors(), [])

    def test_midi_files_play_or_are_refused_with_velmoras_messages(self):
        song = DEMO.read_bytes()
        damaged = self.tmp / "damaged.mid"
        damaged.write_bytes(song[:4] + b"\0\0\0\x05" + song[8:])  # a header chunk of the wrong length
        cut = self.tmp / "cut.mid"
        cut.write_bytes(song[: len(song) * 2 // 3])
        for path in (damaged, cut):
            native = velmora("render", path, self.tmp / "out.wav", "--force")
            line = next(l for l in native.stderr.splitlines() if str(path) in l)
            message = line.split(f"{path}: ", 1)[1].split("; playing")[0]
            self.open_file(path)
            WebDriverWait(self.browser, 10).until(lambda b: f"{path.name}: {message}" in self.status())
            self.assertEqual(self.browser.find_element(By.ID, "render-wav").is_enabled(), native.returncode == 0)
        self.assertEqual(self.console_errors(), [])


def main():
    global SITE, VELMORA
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--velmora", required=True)
    args, rest = parser.parse_known_args()
    SITE, VELMORA = args.site, args.velmora
    if not (pathlib.Path(SITE) / "velmora.wasm").exists():
        print(f"{SITE}/velmora.wasm is missing: make web builds the page", file=sys.stderr)
        return 1
    return 0 if unittest.main(argv=[sys.argv[0], *rest], exit=False).result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
