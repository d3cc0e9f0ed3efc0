"""Installing on Windows: both programs carry our icon, a version resource and the name the
screen saver list shows; the MSI (`cmake --build --preset windows --target msi`) installs them
for the whole machine into the system folder under Wine's msiexec, registers an uninstall
entry, runs from there, and `msiexec /x` leaves the prefix's files and registry as they were."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

import gfharness as h

RENDERER_TITLE = "Glassfall_VC"
PROGRAMS = ("Glassfall.scr", "Glassfall.dll")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def project_version():
    return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", (h.BUILD_WIN / "CMakeCache.txt").read_text(),
                     re.M).group(1)


def resource(program, kind, name=None):
    """A resource's bytes as the program holds them (icoutils' wrestool)."""
    args = ["wrestool", "-x", "--raw", f"--type={kind}"] + ([f"--name={name}"] if name else []) + [str(program)]
    return subprocess.run(args, check=True, capture_output=True, timeout=60).stdout


def version_strings(block):
    """The StringFileInfo values of a version resource: {key: value}."""
    text = block.decode("utf-16-le", "replace")
    values = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "OriginalFilename",
                "ProductName", "ProductVersion"):
        found = re.search(key + r"\x00+([^\x00]+)", text)
        if found:
            values[key] = found.group(1)
    return values


def string_one(table_block):
    """String 1 of the block holding strings 0 to 15: each is a length, then UTF-16 units."""
    at, strings = 0, []
    while at < len(table_block) and len(strings) < 2:
        (length,) = struct.unpack_from("<H", table_block, at)
        strings.append(table_block[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return strings[1]


class ProgramResourcesTest(unittest.TestCase):
    def test_both_programs_carry_the_icon_the_version_and_the_listed_name(self):
        version = project_version()
        icon = h.ROOT / "packaging" / "icons" / "glassfall.ico"
        for program, description in (("Glassfall.scr", "screensaver"), ("Glassfall.dll", "renderer")):
            path = h.BIN / program
            listing = subprocess.run(["wrestool", "-l", str(path)], check=True, capture_output=True, text=True,
                                     timeout=60).stdout
            # One icon image per number: an image claimed twice would show the wrong picture.
            images = re.findall(r"--type=3 --name=(\d+) ", listing)
            self.assertEqual(len(images), len(set(images)), f"{program}: icon images numbered twice")
            # The first icon group, the one Explorer shows, is ours at every size.
            groups = sorted(int(n) for n in re.findall(r"--type=14 --name=(\d+) ", listing))
            self.assertEqual(groups[0], 1, program)
            with tempfile.TemporaryDirectory() as folder:
                extracted = os.path.join(folder, "extracted.ico")
                subprocess.run(["wrestool", "-x", "--type=14", "--name=1", "-o", extracted, str(path)], check=True,
                               capture_output=True, timeout=60)
                sizes = subprocess.run(["icotool", "-l", extracted], check=True, capture_output=True, text=True,
                                       timeout=60).stdout
                self.assertEqual(re.findall(r"--width=(\d+)", sizes), ["16", "24", "32", "48", "64", "128", "256"])
                for index in (1, 7):
                    ours, source = (subprocess.run(["icotool", "-x", f"--index={index}", "-o", "-", ico], check=True,
                                                   capture_output=True, timeout=60).stdout
                                    for ico in (extracted, str(icon)))
                    self.assertEqual(ours, source, f"{program}: icon image {index}")

            strings = version_strings(resource(path, 16))
            self.assertEqual(strings["ProductName"], "Glassfall")
            self.assertEqual(strings["ProductVersion"], version)
            self.assertEqual(strings["FileVersion"], version)
            self.assertEqual(strings["OriginalFilename"], program)
            self.assertIn(description, strings["FileDescription"])
            self.assertIn("Copyright", strings["LegalCopyright"])
            fixed = resource(path, 16)
            signature = fixed.find(struct.pack("<I", 0xFEEF04BD))
            self.assertGreater(signature, 0, "no fixed version block")
            major, minor, patch = (int(p) for p in version.split("."))
            file_ms, file_ls = struct.unpack_from("<II", fixed, signature + 8)
            self.assertEqual((file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16), (major, minor, patch))

            self.assertEqual(string_one(resource(path, 6, 1)), "Glassfall", program)


# The keys Windows Installer keeps its own books in: made on the machine's first install of
# anything, and left there (empty) after the last removal, as on every Windows.
INSTALLER_CONTAINERS = ("Features", "Products", "UpgradeCodes", "Components", "Patches", "Installer",
                        "UserData", "S-1-5-18", "LocalPackages", "Managed")


def installer_containers_left_out(changed):
    """The registry lines changed, less the empty containers of Windows Installer's own books: a
    key header under an Installer key whose last name is one of them. Any value line stays."""
    def container(line):
        if not (line.startswith("[") and line.endswith("]")) or "\\Installer" not in line:
            return False
        return line[1:-1].rsplit("\\", 1)[-1] in INSTALLER_CONTAINERS
    return {line for line in changed if not container(line)}


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["cmake", "--build", str(h.BUILD_WIN), "--target", "msi"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=600)
        cls.msi = h.BUILD_WIN / f"Glassfall-{project_version()}-windows.msi"
        cls.s = h.session()

    def wine(self, *args, timeout=300):
        return subprocess.run(["wine", *args], env=self.s.env(), stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout)

    def msiexec(self, *args):
        windows_path = subprocess.run(["winepath", "-w", str(self.msi)], env=self.s.env(), check=True,
                                      capture_output=True, text=True, timeout=60).stdout.strip()
        r = self.wine("msiexec", args[0], windows_path, *args[1:])
        self.assertEqual(r.returncode, 0, f"msiexec {args}: {r.stderr.decode(errors='replace')[-2000:]}")

    def files(self):
        """Every file and folder under C:\\, but the temporary folders Wine's own programs use."""
        found = set()
        for folder, dirs, names in os.walk(self.s.drive_c):
            relative = os.path.relpath(folder, self.s.drive_c).lower()
            if relative.startswith(("windows/temp", "users/")):
                continue
            found.update(os.path.join(relative, n) for n in dirs + names)
        return found

    def registry(self):
        """The machine's and the user's software keys, as reg export writes them."""
        dump = self.s.drive_c / "glassfall-registry.reg"
        text = []
        for key in ("HKLM\\Software", "HKCU\\Software"):
            r = self.wine("reg", "export", key, "C:\\glassfall-registry.reg", "/y")
            self.assertEqual(r.returncode, 0, r.stderr)
            text.append(dump.read_bytes().decode("utf-16", "replace"))
            dump.unlink()
        return "\n".join(text)

    def uninstall_entries(self):
        r = self.wine("reg", "query", UNINSTALL, "/s")
        self.assertEqual(r.returncode, 0)
        entries, current = {}, None
        for line in r.stdout.decode("utf-8", "replace").splitlines():
            if line.startswith("HKEY_"):
                current = line.strip()
            elif current and line.strip():
                parts = line.split(None, 2)
                if len(parts) == 3:
                    entries.setdefault(current, {})[parts[0]] = parts[2].strip()
        return {key: values for key, values in entries.items() if values.get("DisplayName") == "Glassfall"}

    def test_msi_installs_for_the_machine_runs_from_the_system_folder_and_removal_leaves_nothing(self):
        # The shared session keeps C:\velk_temp; here the machine starts without it, as a new one would.
        shutil.rmtree(self.s.velk_temp, ignore_errors=True)
        system = self.s.drive_c / "windows" / "system32"
        try:
            files_before, registry_before = self.files(), self.registry()
            self.assertFalse(self.uninstall_entries(), "Glassfall was installed before the test")

            self.msiexec("/i", "/qn")
            for name in PROGRAMS:
                self.assertEqual((system / name).read_bytes(), (h.BIN / name).read_bytes(), name)
            entries = self.uninstall_entries()
            self.assertEqual(len(entries), 1, entries)
            entry = next(iter(entries.values()))
            self.assertEqual(entry.get("DisplayVersion"), project_version())
            self.assertEqual(entry.get("Publisher"), "Glassfall developers")
            self.assertIn("msiexec", entry.get("UninstallString", "").lower())

            # The screen saver settings start it from there as "Glassfall.scr /s".
            run = subprocess.Popen(["wine", "C:\\windows\\system32\\Glassfall.scr", "/s"], env=self.s.env(),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                self.s.wait_window(RENDERER_TITLE, timeout=30)
                self.s.probe("key", RENDERER_TITLE, 27)  # Escape
                self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
                self.assertEqual(run.wait(20), 0)
            finally:
                if run.poll() is None:
                    run.kill()
                    run.wait()
            self.assertTrue((self.s.velk_temp / "Glassfall.ini").exists(), "the run wrote no settings")

            self.msiexec("/x", "/qn")
            for name in PROGRAMS:
                self.assertFalse((system / name).exists(), f"{name} left behind")
            self.assertFalse(self.uninstall_entries())
            changed = self.files() ^ files_before
            # Windows Installer's own cache folder, which every Windows has, may stay behind empty.
            cache = self.s.drive_c / "windows" / "Installer"
            if cache.is_dir() and not any(cache.iterdir()):
                changed.discard("windows/Installer")
            self.assertEqual(sorted(changed), [], "files added or lost")
            before, after = registry_before.splitlines(), self.registry().splitlines()
            self.assertEqual(sorted(installer_containers_left_out(set(after) ^ set(before))), [],
                             "registry lines added or lost")
        finally:
            if self.uninstall_entries():
                self.msiexec("/x", "/qn")
            self.s.velk_temp.mkdir(parents=True, exist_ok=True)


if __name__ == "__main__":
    unittest.main()
