"""The settings dialog, a run and the preview on scaled displays under Wine. The scale is the
prefix's LogPixels, so these tests run on a prefix and an X server of their own, and every
other test file keeps seeing 100 %. At 150 % and 200 % `/c` shows the client, the buttons, the
marks and the banner at the scaled size, every label and both captions inside their boxes; a
run writes and covers the physical screen; the preview fills its parent. A DPI change message
(what Windows sends when the dialog moves to a monitor of another scale) lays the dialog out
at the new DPI, and back at 96 DPI it is the same picture as before, pixel for pixel.
Screenshots: out/e2e/dialog_dpi/."""

import subprocess
import unittest

import gfharness as h

OUT = h.OUT / "e2e" / "dialog_dpi"
PICTURES = h.ROOT / "host" / "resources" / "dialog"
TITLE = "■Glassfall■"
RENDERER_TITLE = "Glassfall_VC"
PARENT_TITLE = "Glassfall DPI preview parent"
BACKGROUND = (224, 224, 224)

# Twips of the layout: left, top, width, height (inside the frame: from its corner).
CLIENT = (7455, 3990)
FRAME = (180, 180, 7155, 2595)
SET_BUTTON = (2100, 2880, 1575, 495)
CANCEL_BUTTON = (3780, 2880, 1515, 495)
BANNER_BOX = ((180, 2880, 1845, 780), (5400, 2880, 1845, 780))
MARK = {1: (420, 780, 195, 195), 0: (420, 1080, 195, 195), 2: (420, 1380, 195, 195)}
LABELS = {"heading": (300, 300, 1665, 195), "repeat": (2100, 780, 990, 195),
          "mode1": (660, 780, 645, 195), "mode0": (660, 1080, 330, 195), "mode2": (660, 1380, 900, 195)}


def px(twips, dpi):
    """Nearest pixel, halves up: the dialog's own rounding."""
    return (twips * dpi + 720) // 1440


def box(place, dpi):
    return tuple(px(v, dpi) for v in place)


def scaled(pixels, dpi):
    return (pixels * dpi + 48) // 96


def stretched(image, w, hgt):
    """Scaled by whole source pixels, no blending: target pixel x takes source x * width / w."""
    rows = []
    for y in range(hgt):
        src = image.data[(y * image.height // hgt) * image.width * 3:]
        rows.append(b"".join(src[(x * image.width // w) * 3:(x * image.width // w) * 3 + 3] for x in range(w)))
    return h.Image(w, hgt, b"".join(rows))


def inked(image, limit=110):
    """Bounding box (x0, y0, x1, y1), exclusive, of the dark pixels; None if there are none."""
    xs, ys = [], []
    for y in range(image.height):
        for x in range(image.width):
            if max(image.pixel(x, y)) < limit:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


def drawn(image):
    """Bounding box of every pixel that is not the dialog's background."""
    xs, ys = [], []
    for y in range(image.height):
        for x in range(image.width):
            if image.pixel(x, y) != BACKGROUND:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


class ScaledDisplayTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.Session.start(prefix=h.STATE_DIR / "prefix-dpi")
        try:
            h.map_dialog_font(cls.s)
            cls.frames = [h.Image.load(PICTURES / f"banner{n:02d}.bmp") for n in range(1, 25)]
        except BaseException:
            cls.s.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            cls.set_dpi(96)
        finally:
            cls.s.stop()

    @classmethod
    def set_dpi(cls, dpi):
        subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                        "/d", str(dpi), "/f"], env=cls.s.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=120)

    def setUp(self):
        self.procs = []
        self.s.clear_velk_temp()
        self.s.xdotool("mousemove", 0, 0)  # no button looks hot

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        self.s.wait_gone(TITLE, 10)
        self.s.wait_gone(RENDERER_TITLE, 10)

    def start(self, *args):
        proc = self.s.start_program(h.BIN / "Glassfall.scr", *args, cwd=h.BIN)
        self.procs.append(proc)
        return proc

    def ended(self, proc):
        self.assertEqual(proc.wait(timeout=15), 0)
        self.assertTrue(self.s.wait_gone(TITLE, 5))

    def windows(self, top, all_levels=False):
        rc, out = self.s.probe("descendants" if all_levels else "children", top)
        rows = []
        for line in out.splitlines() if rc == 0 else []:
            head, _, text = line.partition("|")
            f = head.split(" ", 5)
            rows.append({"x": int(f[1]), "y": int(f[2]), "w": int(f[3]), "h": int(f[4]), "class": f[5], "text": text})
        return rows

    def open_dialog(self, dpi):
        """/c, waited on until the client has its size at `dpi`; returns (proc, client origin on screen)."""
        proc = self.start("/c")
        self.s.wait_window(TITLE, timeout=30)
        return proc, self.laid_out(dpi, at_load=True)

    def placement(self, window, dpi):
        """Where the load steps put the window: centred across, one third of the free height
        down, in twips at `dpi` (each length rounded to whole twips, the division truncating)."""
        tpp = 1440 / dpi
        sw, sh = (int(v * tpp + 0.5) for v in self.s.screen)
        ww, wh = int(window.w * tpp + 0.5), int(window.h * tpp + 0.5)
        return int((sw - ww) // 2 / tpp + 0.5), int((sh - wh) // 3 / tpp + 0.5)

    def laid_out(self, dpi, at_load=False):
        """The client's screen origin once the dialog is laid out for `dpi` (and, when it has just
        loaded, moved to its place: it is found by its title before its load steps move it)."""
        client = (px(CLIENT[0], dpi), px(CLIENT[1], dpi))
        frame_size = box(FRAME, dpi)[2:]

        def placed():
            w = self.s.find_window(TITLE)
            if not w or (w.client_w, w.client_h) != client:
                return None
            if at_load and (w.x, w.y) != self.placement(w, dpi):
                return None
            frames = [c for c in self.windows(TITLE) if c["class"] == "GFXFrameX" and (c["w"], c["h"]) == frame_size]
            return (frames[0]["x"] - px(FRAME[0], dpi), frames[0]["y"] - px(FRAME[1], dpi)) if frames else None

        return h.wait_until(placed, 20, what=f"the dialog laid out for {dpi} DPI")

    def client_picture(self, origin, dpi):
        return self.s.screenshot().crop(origin[0], origin[1], px(CLIENT[0], dpi), px(CLIENT[1], dpi))

    def banner_shown(self, origin, dpi):
        """The client picture once the left banner box shows one of our frames whole, stretched
        to its scaled size pixel for pixel (its own size at 96 DPI)."""
        bx, by, bw, bh = box(BANNER_BOX[0], dpi)
        size = (scaled(120, dpi), scaled(50, dpi))
        expected = {(f if dpi == 96 else stretched(f, *size)).data for f in self.frames}
        seen = []

        def shown():
            pic = self.client_picture(origin, dpi)
            crop = pic.crop(bx, by, bw, bh)
            seen[:] = [crop]
            return pic if crop.crop(0, 0, *size).data in expected else None

        try:
            pic = h.wait_until(shown, 15, interval=0.1, what="a banner frame in the left box")
        except TimeoutError as e:
            seen[-1].save(OUT / f"banner_unmatched_{dpi}.png")
            raise AssertionError(f"the left box shows none of our frames at {size} (see banner_unmatched_{dpi}.png)") from e
        # Past the picture's scaled size the box shows only its background.
        crop = pic.crop(bx, by, bw, bh)
        right, below = crop.crop(size[0], 0, bw - size[0], bh), crop.crop(0, size[1], bw, bh - size[1])
        for strip in (right, below):
            self.assertEqual(strip.fraction(lambda r, g, b: (r, g, b) == BACKGROUND), 1.0)
        return pic

    def check_scaled_dialog(self, origin, dpi, name):
        pic = self.banner_shown(origin, dpi)
        pic.save(OUT / f"dialog_{name}.png")

        children = self.windows(TITLE)
        buttons = {c["text"]: (c["x"] - origin[0], c["y"] - origin[1], c["w"], c["h"])
                   for c in children if c["class"] == "ccXPButton"}
        self.assertEqual(buttons, {"設定": box(SET_BUTTON, dpi), "ｷｬﾝｾﾙ": box(CANCEL_BUTTON, dpi)})
        for caption, (x, y, w, hgt) in buttons.items():
            with self.subTest(caption=caption):
                # Ink only inside the caption's rectangle (3 pixels in from the edges), and as
                # tall as the font at this DPI, not at 96.
                face = pic.crop(x + 3, y + 3, w - 6, hgt - 6)
                ink = inked(face)
                self.assertIsNotNone(ink)
                self.assertGreater(ink[0], 0)
                self.assertGreater(ink[1], 0)
                self.assertLess(ink[2], face.width)
                self.assertLess(ink[3], face.height)
                self.assertGreaterEqual(ink[3] - ink[1], scaled(10, dpi))

        fx, fy = px(FRAME[0], dpi), px(FRAME[1], dpi)
        for mode, place in MARK.items():
            with self.subTest(mark=mode):
                mx, my, mw, mh = box(place, dpi)
                mark = pic.crop(fx + mx, fy + my, mw, mh)
                mark.save(OUT / f"mark{mode}_{name}.png")
                size = scaled(12, dpi)
                self.assertEqual(drawn(mark), (0, 0, size, size))
                centre = mark.pixel(size // 2, size // 2)
                if mode == 0:  # selected at the start: the blue square
                    self.assertGreater(centre[2], 150)
                    self.assertLess(centre[0], 80)
                else:
                    self.assertEqual(centre, (255, 255, 255))

        # Labels: the part windows inside the frame, matched to the layout by their corner.
        frame_screen = (origin[0] + fx, origin[1] + fy)
        parts = [c for c in self.windows(TITLE, all_levels=True) if c["class"] == "Glassfall_P_Part"]
        for label, place in LABELS.items():
            with self.subTest(label=label):
                lx, ly, lw, lh = box(place, dpi)
                found = [p for p in parts if (p["x"] - frame_screen[0], p["y"] - frame_screen[1]) == (lx, ly)
                         and p["h"] == lh and p["w"] >= lw]
                self.assertTrue(found, f"no label window at {lx},{ly}")
                p = found[-1]  # the heading stands over the two shapes of the same corner
                crop = pic.crop(p["x"] - origin[0], p["y"] - origin[1], p["w"], p["h"])
                ink = inked(crop, limit=90)
                self.assertIsNotNone(ink)
                # Nothing cut at the right edge, glyphs of the scaled font.
                self.assertLess(ink[2], crop.width)
                self.assertGreaterEqual(ink[3] - ink[1], scaled(9, dpi))

    # -- tests
    def test_configure_at_150_and_200_percent(self):
        for dpi, name in ((144, "150"), (192, "200")):
            with self.subTest(dpi=dpi):
                self.set_dpi(dpi)
                proc, origin = self.open_dialog(dpi)
                try:
                    self.check_scaled_dialog(origin, dpi, name)
                    self.s.screenshot(OUT / f"screen_{name}.png")
                finally:
                    self.s.probe("close", TITLE)
                    self.s.wait_gone(TITLE, 10)
                self.ended(proc)
                self.assertFalse((self.s.velk_temp / "Glassfall.ini").exists())

    def test_a_dpi_change_lays_it_out_again_and_back_at_96_nothing_differs(self):
        self.set_dpi(96)
        proc, origin = self.open_dialog(96)
        bx, by, bw, bh = box(BANNER_BOX[0], 96)
        rx = box(BANNER_BOX[1], 96)[0]

        def without_banners(pic):
            """The client with both banner boxes blanked: they play on, the rest must stay."""
            rows = []
            for y in range(pic.height):
                row = bytearray(pic.data[y * pic.width * 3:(y + 1) * pic.width * 3])
                if by <= y < by + bh:
                    row[bx * 3:(bx + bw) * 3] = bytes(bw * 3)
                    row[rx * 3:(rx + bw) * 3] = bytes(bw * 3)
                rows.append(bytes(row))
            return b"".join(rows)

        before = self.banner_shown(origin, 96)
        before.save(OUT / "dialog_96_before.png")
        self.s.probe("dpi", TITLE, 144)
        origin = self.laid_out(144)
        self.check_scaled_dialog(origin, 144, "changed_to_150")
        self.s.probe("dpi", TITLE, 96)
        origin = self.laid_out(96)
        after = h.wait_until(lambda: (lambda shot: shot if without_banners(shot) == without_banners(before)
                                         else None)(self.banner_shown(origin, 96)), 10, interval=0.2,
                                what="the 96 DPI picture again")
        after.save(OUT / "dialog_96_after.png")
        self.s.probe("close", TITLE)
        self.ended(proc)

    def test_a_run_writes_and_covers_the_physical_screen(self):
        width, height = self.s.screen
        for dpi in (144, 192):
            with self.subTest(dpi=dpi):
                self.set_dpi(dpi)
                self.s.clear_velk_temp()
                run = self.start("/s")
                self.s.wait_window(RENDERER_TITLE, timeout=30)
                covered = h.wait_until(lambda: (lambda w: w if w and (w.x, w.y, w.w, w.h) == (0, 0, width, height)
                                                else None)(self.s.find_window(RENDERER_TITLE)), 10,
                                       what="the renderer over the whole screen")
                self.assertEqual((covered.client_w, covered.client_h), (width, height))
                ini = (self.s.velk_temp / "Glassfall.ini").read_bytes()
                self.assertIn(f"Width={width}\r\nHeight={height}\r\n".encode(), ini)
                self.s.screenshot(OUT / f"run_{dpi}.png")
                self.s.probe("key", RENDERER_TITLE, 27)  # Escape
                self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
                self.assertEqual(run.wait(timeout=15), 0)

    def test_the_preview_fills_its_parent(self):
        for dpi in (144, 192):
            with self.subTest(dpi=dpi):
                self.set_dpi(dpi)
                parent = subprocess.Popen(["wine", str(h.TOOLS / "preview_parent.exe"), "200", "150", PARENT_TITLE],
                                          env=self.s.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                          stderr=subprocess.DEVNULL)
                self.procs.append(parent)
                handle = int(parent.stdout.readline())
                rect = self.s.wait_window(PARENT_TITLE)
                preview = self.start("/p", handle)
                kids = h.wait_until(lambda: [c for c in self.windows(PARENT_TITLE)
                                             if c["text"] == "Preview Window" and c["w"] and c["h"]], 15,
                                    what="the preview child with its size")
                self.assertEqual((kids[0]["x"], kids[0]["y"], kids[0]["w"], kids[0]["h"]),
                                 (rect.x, rect.y, rect.client_w, rect.client_h))
                self.s.probe("close", PARENT_TITLE)
                parent.wait(timeout=10)
                self.assertEqual(preview.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
