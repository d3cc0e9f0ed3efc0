"""The release archive: `cmake --build --preset windows --target release` makes
Glassfall-<version>-windows.zip with the two programs exactly as built, side by side, and the
installing text, which names the right-click step."""

import re
import subprocess
import unittest
import zipfile

import gfharness as h


class ReleaseTest(unittest.TestCase):
    def test_the_archive_holds_both_programs_as_built_and_the_installing_text(self):
        subprocess.run(["cmake", "--build", str(h.BUILD_WIN), "--target", "release"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=600)
        version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$",
                            (h.BUILD_WIN / "CMakeCache.txt").read_text(), re.M).group(1)
        archive = h.BUILD_WIN / f"Glassfall-{version}-windows.zip"
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(sorted(z.namelist()), ["Glassfall.dll", "Glassfall.scr", "Install.txt"])
            for name in ("Glassfall.scr", "Glassfall.dll"):
                self.assertEqual(z.read(name), (h.BIN / name).read_bytes(), name)
            text = z.read("Install.txt").decode("utf-8")
        self.assertIn(f"Glassfall {version}", text)
        self.assertIn('Right-click Glassfall.scr and choose "Install"', text)
        self.assertNotIn("\n", text.replace("\r\n", ""), "lines end in CR LF")


if __name__ == "__main__":
    unittest.main()
