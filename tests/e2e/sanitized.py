"""Runs native e2e files against the program built with ASan and UBSan (or with TSan), and fails if any
sanitizer said anything, whatever the tests themselves saw: a report from a process a test
killed, or one written after its exit code was read, still counts.

    python3 sanitized.py PROGRAM MODULE...

Every report goes to a file of its own in a fresh folder (the program is also run as another
user, and by the XScreenSaver daemon, whose output the tests never see)."""

import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
KEEP_LOADED = HERE.parents[1] / "build" / "linux" / "tests" / "bin" / "libgf_keep_loaded.so"
SUPPRESSIONS = HERE / "sanitizer_suppressions"


def threads_sanitized(program):
    """Whether the program is the ThreadSanitizer build (else ASan with UBSan)."""
    linked = subprocess.run(["ldd", str(program)], capture_output=True, text=True).stdout
    return "libtsan" in linked


def sanitizer_env(program, reports):
    base = f"log_path={reports}/report:log_exe_name=1"
    # The preload comes before the sanitizer's runtime in the library list, which is harmless here.
    env = dict(os.environ, GLASSFALL_PROGRAM=str(program), LD_PRELOAD=str(KEEP_LOADED), GLASSFALL_SANITIZED="1")
    if threads_sanitized(program):
        env["TSAN_OPTIONS"] = (f"{base}:halt_on_error=1:second_deadlock_stack=1:"
                               f"suppressions={SUPPRESSIONS / 'races.txt'}")
    else:
        env["ASAN_OPTIONS"] = (f"{base}:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:"
                               "verify_asan_link_order=0")
        env["UBSAN_OPTIONS"] = f"{base}:halt_on_error=1:print_stacktrace=1"
        env["LSAN_OPTIONS"] = f"suppressions={SUPPRESSIONS / 'leaks.txt'}:print_suppressions=0"
    return env


def wait_for_build():
    """The test run builds the sanitized program beside the first end-to-end files and names a
    file (GLASSFALL_SANITIZED_BUILD_STATUS) that holds the build's exit code once it is over."""
    status = os.environ.get("GLASSFALL_SANITIZED_BUILD_STATUS")
    if not status:
        return True
    deadline = time.monotonic() + 1200
    while not Path(status).exists():
        if time.monotonic() > deadline:
            print(f"the sanitized build did not end within 20 minutes ({status})", file=sys.stderr)
            return False
        time.sleep(1)
    code = Path(status).read_text().strip()
    if code != "0":
        print(f"the sanitized build failed (exit {code}): see its log beside {status}", file=sys.stderr)
    return code == "0"


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, modules = Path(argv[1]).resolve(), argv[2:]
    if not wait_for_build():
        return 1
    if not os.access(program, os.X_OK):
        print(f"{program}: not built (cmake --build --preset linux-asan builds it)", file=sys.stderr)
        return 1
    if not KEEP_LOADED.exists():
        print(f"{KEEP_LOADED}: not built (cmake --build --preset linux builds it)", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="gf-sanitizer-") as reports:
        os.chmod(reports, 0o1777)  # the Wayland tests run the program as another user
        done = subprocess.run([sys.executable, "-m", "unittest", "-v", *modules], cwd=HERE,
                              env=sanitizer_env(program, reports))
        found = sorted(Path(reports).iterdir())
        for report in found:
            print(f"==== {report.name}", file=sys.stderr)
            print(report.read_text(errors="replace"), file=sys.stderr)
        print(f"{len(found)} sanitizer report(s) from the program", file=sys.stderr)
        if found:
            return 1
    return done.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
