"""The settings dialog under Wine: `/c` opens "■Glassfall■" with its exact client size, placed
centred across and one third down, in real Japanese glyphs with the frame's shadow; choosing
"MP3、WAV", a file typed into the real file chooser and "設定" leave the three keys in the
settings file as code page 932 bytes and end the program; "ｷｬﾝｾﾙ", Escape and the close box
leave the file byte for byte as it was; a second /c and a /s while it is open end silently; on a
western code page the button captions show the same Japanese glyphs. Screenshots: out/e2e/dialog/."""

import subprocess
import unittest

import gfharness as h

OUT = h.OUT / "e2e" / "dialog"
PICTURES = h.ROOT / "host" / "resources" / "dialog"
TITLE = "■Glassfall■"
CHOOSER_TITLE = "ﾌｧｲﾙを開く"
CLIENT = (497, 266)  # 7455 x 3990 twips at 15 twips per pixel
FRAME_AT = (12, 12)  # 180, 180 twips

# Code page 932 bytes of the keys as the ANSI profile functions write them.
KEY_MODE = b"BGM\x8b\xe6\x95\xaa"
KEY_REPEAT = b"BGM\xd8\xcb\xdf\xb0\xc4"
KEY_FILE = b"BGM\xcc\xa7\xb2\xd9"

# Places inside the client area, in pixels.
MODE_LABEL = {1: (44 + 12, 52 + 12), 0: (44 + 12, 72 + 12), 2: (44 + 12, 92 + 12)}
REPEAT_BOX = (96 + 12, 48 + 12)
FILE_BUTTON = (24 + 12, 112 + 12)
SET_BUTTON = (140, 192)
BANNER_BOX = ((12, 192), (360, 192))
CANCEL_BUTTON = (252, 192)
# Wine takes the ANSI code page from the locale: 1252 here instead of the tests' 932.
WESTERN = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}


class DialogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.session()
        h.map_dialog_font(cls.s)

    def setUp(self):
        self.procs = []
        self.s.clear_velk_temp()

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        self.s.wait_gone(TITLE, 10)

    # -- helpers
    @property
    def ini(self):
        return self.s.velk_temp / "Glassfall.ini"

    def start(self, *args, env=None):
        proc = self.s.start_program(h.BIN / "Glassfall.scr", *args, cwd=h.BIN, env=env)
        self.procs.append(proc)
        return proc

    def open_dialog(self, switch="/c", env=None):
        """Starts the configure mode and waits until the dialog stands at its place; returns (proc, client origin)."""
        proc = self.start(switch, env=env)
        self.s.wait_window(TITLE, timeout=30)

        def placed():
            # Found by its title while it loads: sized and with its children before its load
            # steps move it to its place.
            w = self.s.find_window(TITLE)
            if not w or (w.client_w, w.client_h) != CLIENT or (w.x, w.y) != self.placement(w):
                return None
            frames = [c for c in self.children() if c["class"] == "GFXFrameX"]
            return (w, frames[0]) if frames else None

        window, frame = h.wait_until(placed, 20, what="the dialog at its place")
        return proc, window, (frame["x"] - FRAME_AT[0], frame["y"] - FRAME_AT[1])

    def placement(self, window):
        """Centred across, one third of the free height down (in twips, truncating)."""
        sw, sh = self.s.screen[0] * 15, self.s.screen[1] * 15
        return (round(((sw - window.w * 15) // 2) / 15), round(((sh - window.h * 15) // 3) / 15))

    def children(self):
        rc, out = self.s.probe("children", TITLE)
        rows = []
        for line in out.splitlines() if rc == 0 else []:
            head, _, text = line.partition("|")
            f = head.split(" ", 5)
            rows.append({"x": int(f[1]), "y": int(f[2]), "w": int(f[3]), "h": int(f[4]), "class": f[5], "text": text})
        return rows

    def click(self, origin, at, inside=(8, 6)):
        x, y = origin[0] + at[0] + inside[0], origin[1] + at[1] + inside[1]
        self.s.xdotool("mousemove", "--sync", x, y)
        self.s.xdotool("click", 1)

    def client_picture(self, origin):
        return self.s.screenshot().crop(origin[0], origin[1], *CLIENT)

    def wait_for_picture(self, origin, condition, what):
        return h.wait_until(lambda: (lambda p: p if condition(p) else None)(self.client_picture(origin)), 10,
                            what=what)

    def code_page(self, env=None):
        out = subprocess.run(["wine", str(h.TOOLS / "gfprobe.exe"), "acp", "-"], env=self.s.env(**(env or {})),
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=120).stdout
        return int(out.decode().strip())

    def caption_ink(self, env, name):
        """Where each button's caption has ink: a mask of the dark pixels inside its text area (the
        focus mark along the area's edge left out), after the dialog has painted them."""
        proc, _, _ = self.open_dialog(env={**self.s.env(), **env} if env else None)
        buttons = [c for c in self.children() if c["class"] == "ccXPButton"]

        def masks():
            shot = self.s.screenshot()
            crops = {b["text"]: shot.crop(b["x"] + 5, b["y"] + 5, b["w"] - 10, b["h"] - 10) for b in buttons}
            if min(crop.dark_fraction(limit=100) for crop in crops.values()) < 0.005:
                return None
            for caption, crop in crops.items():
                crop.save(OUT / f"caption_{name}_{len(caption)}.png")
            marks = bytes(1 if v < 100 else 0 for v in range(256))
            return {caption: [all(px) for px in zip(*(iter(crop.data.translate(marks)),) * 3)]
                    for caption, crop in crops.items()}

        ink = h.wait_until(masks, 15, interval=0.2, what="the button captions painted")
        self.s.probe("close", TITLE)
        self.ended(proc)
        return ink

    def ended(self, proc, timeout=15):
        self.assertEqual(proc.wait(timeout=timeout), 0)
        self.assertTrue(self.s.wait_gone(TITLE, 5))

    # -- tests
    def test_opens_placed_with_its_size_real_glyphs_and_the_frame_shadow(self):
        proc, window, origin = self.open_dialog()
        self.assertIsNone(proc.poll())
        # open_dialog has waited for its place: centred across, one third of the free height down.
        buttons = {c["text"]: (c["x"] - origin[0], c["y"] - origin[1], c["w"], c["h"])
                   for c in self.children() if c["class"] == "ccXPButton"}
        self.assertEqual(buttons, {"設定": (140, 192, 105, 33), "ｷｬﾝｾﾙ": (252, 192, 101, 33)})

        # The right box shows nothing before its turn; the left one plays from the first tick.
        pic = self.wait_for_picture(origin, lambda p: p.crop(12, 192, 120, 50).mean_abs_diff(
            p.crop(360, 192, 120, 50)) > 5, "the banner's first frame")
        pic.save(OUT / "dialog_open.png")
        self.s.screenshot(OUT / "screen_with_dialog.png")

        # Background and the frame's shadow: rings 1..7 of depth 7 on RGB(224, 224, 224) step by 17.
        self.assertEqual(pic.pixel(2, 2), (224, 224, 224))
        profile = [pic.pixel(12 + x, 12 + 90)[0] for x in range(470, 477)]
        self.assertEqual(profile, [117, 134, 151, 168, 185, 202, 219])
        self.assertEqual(pic.pixel(12 + 200, 12 + 0), (0, 0, 0))  # body outline

        # Real glyphs: ink in each character's cell, and the cells differ from one another (a
        # missing glyph would draw the same empty box for every character).
        label = pic.crop(MODE_LABEL[1][0], MODE_LABEL[1][1] - 2, 26, 16)  # 音楽
        none = pic.crop(MODE_LABEL[0][0], MODE_LABEL[0][1] - 2, 26, 16)    # なし
        label.save(OUT / "glyphs_ongaku.png")
        for cell in (label.crop(0, 0, 13, 16), label.crop(13, 0, 13, 16), none.crop(0, 0, 13, 16),
                     none.crop(13, 0, 13, 16)):
            self.assertGreater(cell.dark_fraction(limit=100), 0.04)
        cells = [label.crop(0, 0, 13, 16), label.crop(13, 0, 13, 16), none.crop(0, 0, 13, 16)]
        for i in range(len(cells)):
            for j in range(i + 1, len(cells)):
                self.assertGreater(cells[i].mean_abs_diff(cells[j]), 10)
        self.s.key("Escape", window=TITLE)
        self.ended(proc)

    def test_banner_plays_our_frames_left_then_right(self):
        frames = [h.Image.load(PICTURES / f"banner{n:02d}.bmp") for n in range(1, 25)]
        proc, _, origin = self.open_dialog("/c:1234")  # the number is ignored

        def box(p, i):
            return p.crop(BANNER_BOX[i][0], BANNER_BOX[i][1], 120, 50)

        def shown(p, i):
            return any(box(p, i).mean_abs_diff(f) == 0 for f in frames)

        first = self.wait_for_picture(origin, lambda p: shown(p, 0), "the left box's frames")
        self.assertEqual(box(first, 1).fraction(lambda r, g, b: (r, g, b) == (224, 224, 224)), 1.0)
        # Once the left box has played its 24 frames the right one plays ...
        pic = self.wait_for_picture(origin, lambda p: shown(p, 1), "the right box's turn")
        pic.save(OUT / "banner_right_turn.png")
        # ... and the left one keeps the last frame it showed.
        self.assertEqual(box(pic, 0).mean_abs_diff(frames[23]), 0)
        self.s.probe("close", TITLE)
        self.ended(proc)

    def test_file_typed_into_the_chooser_is_saved_with_the_keys_in_cp932(self):
        self.s.write_settings(Width=1280, Height=1024)
        proc, _, origin = self.open_dialog()
        # The CD first, with a typed track number, then the music file: the number is kept.
        self.click(origin, MODE_LABEL[1])
        self.click(origin, REPEAT_BOX, inside=(10, 9))
        self.s.xdotool("type", "--delay", "20", "3.5")
        self.click(origin, MODE_LABEL[2])
        self.click(origin, FILE_BUTTON, inside=(22, 12))
        self.s.focus(CHOOSER_TITLE, timeout=15)
        self.s.screenshot(OUT / "file_chooser.png")
        typed = r"C:\music\my song.mp3"
        self.s.xdotool("type", "--delay", "20", typed)
        # Return only once the whole path stands in the chooser's box.
        h.wait_until(lambda: typed in (self.s.window_text(CHOOSER_TITLE) or []), 10,
                     what="the typed path in the chooser")
        self.s.key("Return", window=CHOOSER_TITLE)
        h.wait_until(lambda: not self.s.xdotool("search", "--name", CHOOSER_TITLE, check=False).stdout.strip(), 15,
                     what="the chooser to close")
        self.wait_for_picture(origin, lambda p: p.crop(84, 124, 120, 14).dark_fraction(limit=100) > 0.05,
                              "the chosen path in the label").save(OUT / "file_chosen.png")
        self.click(origin, SET_BUTTON, inside=(50, 16))
        self.ended(proc)
        data = self.ini.read_bytes()
        self.assertIn(b"Width=1280\r\n", data)
        self.assertIn(KEY_MODE + b"=2\r\n", data)
        self.assertIn(KEY_REPEAT + b"=4\r\n", data)  # 3.5 to the even neighbour
        self.assertIn(KEY_FILE + b"=C:\\music\\my song.mp3\r\n", data)

    def test_cancel_escape_and_the_close_box_leave_the_file_as_it_was(self):
        stored = ("[Settings]\r\nWidth=1024\r\nHeight=768\r\nBGM区分=1\r\nBGMﾘﾋﾟｰﾄ=7\r\nBGMﾌｧｲﾙ=\r\n").encode("cp932")
        ways = {
            "cancel": lambda origin: self.click(origin, CANCEL_BUTTON, inside=(50, 16)),
            "escape": lambda origin: self.s.key("Escape", window=TITLE),
            "close box": lambda origin: self.s.probe("close", TITLE),
        }
        for name, close in ways.items():
            with self.subTest(way=name):
                self.ini.write_bytes(stored)
                proc, _, origin = self.open_dialog()
                self.click(origin, MODE_LABEL[2])
                self.click(origin, MODE_LABEL[0])
                close(origin)
                self.ended(proc)
                self.assertEqual(self.ini.read_bytes(), stored)

    def test_a_second_configure_and_a_run_end_silently_while_it_is_open(self):
        proc, window, _ = self.open_dialog()
        for args in (("/c",), ("/c:1234",), ("/s",)):
            with self.subTest(args=args):
                other = self.start(*args)
                self.assertEqual(other.wait(timeout=30), 0)
        self.assertIsNone(self.s.find_window("Glassfall_Main"))
        self.assertIsNone(self.s.find_window("Glassfall_VC"))
        self.assertFalse((self.s.velk_temp / "Glassfall.alo").exists())
        self.assertIsNone(self.s.find_window("Glassfall (ScreenSaver)"))
        self.assertEqual(self.s.find_window(TITLE).hwnd, window.hwnd)
        self.assertIsNone(proc.poll())
        self.s.probe("close", TITLE)
        self.ended(proc)
        self.assertFalse(self.ini.exists())

    def test_button_captions_show_japanese_glyphs_on_a_western_code_page(self):
        self.assertEqual(self.code_page(), 932)
        self.assertEqual(self.code_page(WESTERN), 1252)
        self.s.xdotool("mousemove", 0, 0)  # no button looks hot
        japanese = self.caption_ink(None, "cp932")
        western = self.caption_ink(WESTERN, "cp1252")
        self.assertEqual(set(western), {"設定", "ｷｬﾝｾﾙ"})
        for caption, mask in japanese.items():
            differing = sum(a != b for a, b in zip(mask, western[caption])) / len(mask)
            self.assertLess(differing, 0.01, f"{caption}: the western caption's ink differs")


if __name__ == "__main__":
    unittest.main()
