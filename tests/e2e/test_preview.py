"""The preview inside a stand-in for the display settings' monitor: it becomes the parent's
child and fills it, ends with its parent, ends at once on a handle that names no window, and
shows the embedded picture edge to edge or with black bands. Screenshots: out/e2e/preview/."""

import subprocess
import time
import unittest

import gfharness as h

OUT = h.OUT / "e2e" / "preview"
ASSET = h.ROOT / "host" / "resources" / "preview.bmp"
PARENT_TITLE = "GlassfallTestMonitor"


class PreviewTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.session()

    def setUp(self):
        self.procs = []

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()

    def parent(self, width, height):
        """The monitor stand-in in its own process; returns its handle."""
        proc = subprocess.Popen(["wine", str(h.TOOLS / "preview_parent.exe"), str(width), str(height), PARENT_TITLE],
                                env=self.s.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        handle = int(proc.stdout.readline())
        self.s.wait_window(PARENT_TITLE)
        return proc, handle

    def preview(self, *args):
        proc = self.s.start_program(h.BIN / "Glassfall.scr", *args, cwd=h.BIN)
        self.procs.append(proc)
        return proc

    def children(self):
        rc, out = self.s.probe("children", PARENT_TITLE)
        rows = []
        for line in out.splitlines():
            head, _, text = line.partition("|")
            f = head.split(" ", 5)
            rows.append({"x": int(f[1]), "y": int(f[2]), "w": int(f[3]), "h": int(f[4]), "class": f[5], "text": text})
        return rows

    def test_preview_becomes_the_child_filling_its_parent_and_ends_with_it(self):
        for size in ((152, 112), (200, 150)):
            with self.subTest(size=size):
                parent, handle = self.parent(*size)
                rect = self.s.find_window(PARENT_TITLE)
                proc = self.preview("/p", handle)
                # The child exists before the preview sizes it to its parent: wait for it to have a size.
                kids = h.wait_until(lambda: [c for c in self.children()
                                             if c["text"] == "Preview Window" and c["w"] and c["h"]], 15,
                                    what="the preview child with its size")
                self.assertEqual((kids[0]["x"], kids[0]["y"], kids[0]["w"], kids[0]["h"]),
                                 (rect.x, rect.y, size[0], size[1]))
                self.assertIsNone(proc.poll())
                # The system takes its window away: the preview program ends within a second.
                self.s.probe("close", PARENT_TITLE)
                parent.wait(timeout=10)
                gone = time.monotonic()
                proc.wait(timeout=10)
                self.assertLess(time.monotonic() - gone, 1.5)
                self.assertEqual(proc.returncode, 0)

    def test_handle_naming_no_window_ends_at_once(self):
        for args in (("/p", "0"), ("/p", "999999"), ("/p",)):
            with self.subTest(args=args):
                proc = self.preview(*args)
                self.assertEqual(proc.wait(timeout=15), 0)
        # No message box, no snapshot: the preview never runs the other start-up steps.
        self.assertIsNone(self.s.find_window("Glassfall (ScreenSaver)"))

    def test_preview_does_not_block_a_run(self):
        _, handle = self.parent(152, 112)
        self.preview("/p", handle)
        h.wait_until(lambda: any(c["text"] == "Preview Window" for c in self.children()), 15, what="the preview")
        self.s.clear_velk_temp()
        run = self.preview("/s")
        self.s.wait_window("Glassfall_VC", timeout=20)
        self.assertIsNotNone(self.s.find_window("Glassfall_Main"))
        self.s.probe("close", "Glassfall_VC")
        self.assertEqual(run.wait(timeout=15), 0)

    def test_picture_in_one_process(self):
        asset = h.Image.load(ASSET)
        self.assertEqual((asset.width, asset.height), (152, 112))
        for size, name in (((152, 112), "edge_to_edge"), ((200, 150), "black_bands")):
            with self.subTest(size=size):
                proc = subprocess.Popen(["wine", str(h.TOOLS / "preview_inproc.exe"), *map(str, size)],
                                        env=self.s.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                self.procs.append(proc)
                self.s.wait_window("GlassfallPreviewHost")

                def shown():
                    view = self.s.screenshot().crop(0, 0, *size)
                    return view if view.crop(0, 0, 152, 112).mean_abs_diff(asset) < 1.0 else None

                view = h.wait_until(shown, 10, what="the preview picture")
                view.save(OUT / f"{name}_{size[0]}x{size[1]}.png")
                if size != (152, 112):
                    right = view.crop(152, 0, size[0] - 152, size[1])
                    bottom = view.crop(0, 112, size[0], size[1] - 112)
                    self.assertEqual(right.dark_fraction(limit=1), 1.0)
                    self.assertEqual(bottom.dark_fraction(limit=1), 1.0)
                proc.kill()
                proc.wait()
                self.s.wait_gone("GlassfallPreviewHost", 10)


if __name__ == "__main__":
    unittest.main()
