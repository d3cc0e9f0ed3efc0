"""The host's window layer and settings routines on the real system under Wine: a hidden
window found by its title, timer ticks that stop with the flag, a modal window that holds
its caller until it is gone, a picture saved as a bottom-up
bitmap, profile keys in code page 932 on disk with the 255-byte read limit, the existence test
on files and folders, and the DPI behind twips."""

import unittest

import gfharness as h

CHECK = h.BUILD_WIN / "tests" / "layer_check.exe"


class HostLayerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.session()

    def setUp(self):
        self.s.clear_velk_temp()

    def check(self, *args):
        r = self.s.run_program(CHECK, *args, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr.decode("utf-8", "replace"))
        # Console output of a Windows program under the Japanese locale is code page 932.
        lines = r.stdout.decode("cp932", "replace").replace("\r", "").splitlines()
        return {line.split(" ", 1)[0]: line.split(" ", 1)[1] if " " in line else "" for line in lines}

    def test_a_hidden_window_is_found_by_title_and_its_timer_stops_with_the_flag(self):
        out = self.check("window")
        self.assertEqual(out["visible"], "0")
        self.assertEqual(out["found_by_title"], "1")
        # One second at 100 ms; Wine's timers are coarse, so allow a wide band.
        self.assertTrue(6 <= int(out["ticks_enabled"]) <= 11, out["ticks_enabled"])
        self.assertEqual(out["ticks_after_disable"], "0")

    def test_a_modal_window_holds_its_caller_until_it_is_gone(self):
        out = self.check("window")
        # Closed by its own 150 ms timer; the first close request is refused.
        self.assertEqual(out["modal_close_requests"], "2")
        self.assertEqual(out["modal_gone"], "1")
        self.assertGreaterEqual(int(out["modal_ms"]), 250)

    def test_a_picture_is_saved_bottom_up_with_padded_rows(self):
        self.check("picture", "C:\\velk_temp\\pic.bmp")
        data = (self.s.velk_temp / "pic.bmp").read_bytes()
        self.assertEqual(len(data), 54 + 16 * 3)  # 15 bytes a row, padded to 16
        self.assertEqual(data[:2], b"BM")
        self.assertEqual(int.from_bytes(data[22:26], "little", signed=True), 3)
        row = lambda y: data[54 + 16 * y: 54 + 16 * (y + 1)]
        self.assertEqual(row(2)[0:3], bytes([0, 0, 255]))   # top-left red, stored in the last row (BGR)
        self.assertEqual(row(0)[12:15], bytes([255, 0, 0]))  # bottom-right blue, in the first row
        self.assertEqual(row(1), bytes(16))
        self.assertEqual(row(0)[15:], b"\0")

    def test_settings_keys_reach_the_file_in_code_page_932_and_reads_stop_at_255_bytes(self):
        out = self.check("ini")
        raw = (self.s.velk_temp / "layer_check.ini").read_bytes()
        self.assertEqual(raw, b"[Settings]\r\n"
                              b"BGM\x8b\xe6\x95\xaa=2\r\n"
                              b"BGM\xd8\xcb\xdf\xb0\xc4=4\r\n"
                              b"BGM\xcc\xa7\xb2\xd9=C:\\\x8b\xc8\\a.mp3\r\n"
                              b"Long=" + b"x" * 300 + b"\r\n")
        self.assertEqual(out["mode"], "2")
        self.assertEqual(out["long_length"], "255")
        self.assertEqual(out["missing"], "[]")

    def test_the_existence_test_opens_files_only(self):
        (self.s.velk_temp / "song.mp3").write_bytes(b"ID3")
        (self.s.velk_temp / "folder").mkdir()
        cases = {"C:\\velk_temp\\song.mp3": "1", "C:\\velk_temp\\song.mp3\\": "1", "C:\\velk_temp\\folder": "0",
                 "C:\\velk_temp\\folder\\": "0", "C:\\velk_temp\\none.mp3": "0", "C:\\velk_temp": "0"}
        for path, want in cases.items():
            self.assertEqual(self.check("exists", path)["exists"], want, path)

    def test_twips_follow_the_screen_dpi(self):
        out = self.check("dpi")
        dpi_x, dpi_y = map(int, out["dpi"].split())
        self.assertEqual((dpi_x, dpi_y), (96, 96))  # the harness's Wine prefix keeps the default
        self.assertEqual(out["twips_per_pixel"], "15.000")


if __name__ == "__main__":
    unittest.main()
