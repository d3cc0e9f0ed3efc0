"""What software centres and other distributions get of the native program: the desktop entry
(naming the installed program, as KWin's screenshot permission wants), the AppStream metadata
that appstreamcli accepts, the icon at every hicolor size, and an RPM that rpmlint passes with
exactly the files of the Debian package."""

import configparser
import os
import re
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

import gfharness as h
import linuxharness as lh

PROGRAM = "/usr/libexec/xscreensaver/glassfall"
METAINFO = "share/metainfo/io.github.glassfall.Glassfall.metainfo.xml"


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=300, **kwargs)


class LinuxPackagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="gf-packages-")
        cls.prefix = os.path.join(cls.folder.name, "prefix")
        run("cmake", "--install", lh.BUILD, "--prefix", cls.prefix, check=True)
        cls.version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", (lh.BUILD / "CMakeCache.txt").read_text(),
                                re.M).group(1)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def installed(self, relative):
        return os.path.join(self.prefix, relative)

    def test_desktop_entry_names_the_installed_program_and_asks_for_kwin_screenshots(self):
        path = self.installed("share/applications/glassfall.desktop")
        checked = run("desktop-file-validate", path)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(path)
        desktop = entry["Desktop Entry"]
        # KWin finds the entry by the running program's own path: the file, not the link on the PATH.
        self.assertEqual(desktop["Exec"].split()[0], PROGRAM)
        self.assertTrue(os.access(self.installed(PROGRAM[len("/usr/"):]), os.X_OK))
        self.assertEqual(desktop["X-KDE-DBUS-Restricted-Interfaces"], "org.kde.KWin.ScreenShot2")
        self.assertEqual(desktop["Icon"], "glassfall")
        self.assertEqual(desktop["Type"], "Application")

    def test_idle_service_is_a_user_unit_of_the_graphical_session_that_systemd_accepts(self):
        relative = "lib/systemd/user/glassfall-idle.service"
        text = Path(self.installed(relative)).read_text()
        unit = configparser.ConfigParser(interpolation=None, strict=False)
        unit.optionxform = str
        unit.read_string(text)
        self.assertEqual(unit["Service"]["ExecStart"].split(), [PROGRAM, "--idle", "240"])
        self.assertEqual(unit["Service"]["Restart"], "on-failure")
        for key in ("PartOf", "After"):
            self.assertEqual(unit["Unit"][key], "graphical-session.target")
        self.assertEqual(unit["Install"]["WantedBy"], "graphical-session.target")
        # Installed, not enabled: nothing links it into a target.
        self.assertFalse([p for p in os.listdir(os.path.dirname(self.installed(relative))) if p.endswith(".wants")])
        # systemd's own check, as the user's manager reads it: the command (here the installed copy's)
        # and the manual page it names must exist.
        with tempfile.TemporaryDirectory(prefix="gf-unit-") as folder:
            copy = os.path.join(folder, "glassfall-idle.service")
            with open(copy, "w") as f:
                f.write(text.replace(PROGRAM, self.installed(PROGRAM[len("/usr/"):])))
            runtime = os.path.join(folder, "run")
            os.mkdir(runtime, 0o700)
            checked = run("systemd-analyze", "--user", "verify", copy,
                          env={**os.environ, "XDG_RUNTIME_DIR": runtime, "MANPATH": self.installed("share/man")})
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_icon_at_every_hicolor_size_it_claims(self):
        hicolor = self.installed("share/icons/hicolor")
        sizes = sorted(os.listdir(hicolor), key=lambda s: int(s.split("x")[0]))
        self.assertEqual(sizes, ["16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"])
        for size in sizes:
            icon = os.path.join(hicolor, size, "apps", "glassfall.png")
            described = run("identify", "-format", "%wx%h %[channels]", icon, check=True).stdout
            self.assertEqual(described.split()[0], size, icon)
            self.assertIn("a", described.split()[1], f"{icon}: no transparency")

    def test_appstream_metadata_validates_and_its_release_is_this_one(self):
        path = self.installed(METAINFO)
        checked = run("appstreamcli", "validate", "--no-net", "--explain", path)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertNotRegex(checked.stdout, r"(?m)^[EW]: ", checked.stdout)
        component = ET.parse(path).getroot()
        self.assertEqual(component.findtext("launchable"), "glassfall.desktop")
        self.assertTrue(os.path.isfile(self.installed("share/applications/glassfall.desktop")))
        release = component.find("releases/release")
        self.assertEqual(release.get("version"), self.version)
        # The same date as the package's changelog, which says the same release.
        changelog = (h.ROOT / "packaging" / "linux" / "changelog").read_text()
        self.assertIn(f"glassfall ({self.version})", changelog.splitlines()[0])
        day, month, year = re.search(r"^ -- .*  \w+, (\d\d) (\w+) (\d{4}) ", changelog, re.M).groups()
        months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
        self.assertEqual(release.get("date"), f"{year}-{months.index(month) + 1:02d}-{day}")
        image = component.find("screenshots/screenshot/image")
        self.assertEqual((image.get("width"), image.get("height")), ("1280", "720"))
        # The picture it points to is the one kept with the sources.
        shot = run("identify", "-format", "%wx%h", h.ROOT / "packaging" / "linux" / "screenshot.png", check=True)
        self.assertEqual(shot.stdout, "1280x720")

    def test_rpm_passes_rpmlint_and_holds_the_same_files_as_the_debian_package(self):
        packages = os.path.join(self.folder.name, "packages")
        for generator in ("DEB", "RPM"):
            run("cpack", "-G", generator, "-B", packages, "--config", lh.BUILD / "CPackConfig.cmake", check=True)
        deb = os.path.join(packages, f"glassfall_{self.version}_amd64.deb")
        rpm = os.path.join(packages, f"glassfall-{self.version}-1.x86_64.rpm")
        checked = run("rpmlint", "-c", h.ROOT / "packaging" / "linux" / "rpmlint.toml", rpm)
        self.assertRegex(checked.stdout, r" 0 errors,", checked.stdout)
        self.assertNotRegex(checked.stdout, r"(?m): E: ", checked.stdout)

        deb_files = set()
        for line in run("dpkg-deb", "-c", deb, check=True).stdout.splitlines():
            mode, path = line.split()[0], line.split()[5]
            if not mode.startswith("d"):
                deb_files.add((mode, path[1:]))
        rpm_files = set()
        listing = run("rpm", "-qp", "--qf", "[%{FILEMODES:perms} %{FILENAMES}\n]", rpm, check=True).stdout
        for line in listing.splitlines():
            mode, path = line.split()
            if not mode.startswith("d"):
                rpm_files.add((mode, path))
        self.assertEqual(sorted(rpm_files ^ deb_files), [])
        self.assertIn(("-rwxr-xr-x", PROGRAM), rpm_files)
        # The folders it owns are its own, not the system's or the icon theme's.
        owned = {line.split()[1] for line in listing.splitlines() if line.startswith("d")}
        self.assertEqual(owned, {"/usr/libexec/xscreensaver", "/usr/share/doc/glassfall", "/usr/share/xscreensaver",
                                 "/usr/share/xscreensaver/config"})
        requires = run("rpm", "-qpR", rpm, check=True).stdout
        for library in ("libX11.so.6", "libGLU.so.1", "libEGL.so.1", "libwayland-client.so.0"):
            self.assertIn(library, requires)


if __name__ == "__main__":
    unittest.main()
