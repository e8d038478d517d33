"""The Debian package with its manual pages, and the Windows download."""

import gzip
import re
import subprocess
import zipfile

import pytest

from conftest import BUILD, ROOT, VERSION, WINDOWS_BINARY, clean_environment
from servers import RATE, PulseAudio, trim


def test_the_debian_package_is_lintian_clean_and_runs_from_a_scratch_root(tmp_path):
    """lintian renders both manual pages and warns of what groff warns of."""
    subprocess.run(["cpack", "-B", str(tmp_path / "out")], cwd=BUILD / "linux", check=True, capture_output=True)
    package = tmp_path / "out" / f"belvox_{VERSION}_amd64.deb"
    lintian = subprocess.run(["lintian", "--fail-on", "error,warning", str(package)], capture_output=True, text=True)
    assert (lintian.returncode, lintian.stdout) == (0, "")
    depends = subprocess.run(["dpkg-deb", "-f", str(package), "Depends"], capture_output=True, text=True,
                             check=True).stdout
    assert all(library in depends for library in ("libasound2", "libsndfile1", "libcanberra0"))
    root = tmp_path / "root"
    subprocess.run(["dpkg", "-x", str(package), str(root)], check=True)
    for section in ("man1", "ja/man1"):
        assert VERSION in gzip.decompress((root / "usr/share/man" / section / "belvox.1.gz").read_bytes()).decode()
    assert (root / "usr/share/doc/belvox/copyright").read_text().startswith("Format: https://www.debian.org/")
    installed = subprocess.run([root / "usr/bin/belvox", "/f", "440,5"], capture_output=True,
                               env=clean_environment(LANG="C.UTF-8"))
    assert installed.stderr == b"5 - Value of time is too short.\n"


def test_the_windows_download_holds_the_exe_and_both_readmes(tmp_path):
    with zipfile.ZipFile(BUILD / "windows" / f"belvox-{VERSION}-windows-x86_64.zip") as download:
        assert sorted(download.namelist()) == ["README.en.txt", "README.ja.txt", "belvox.exe"]
        download.extractall(tmp_path)
    assert (tmp_path / "README.en.txt").read_text().startswith(f"belvox {VERSION} for Windows")
    # The exe needs no DLL beyond the system's.
    imports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(tmp_path / "belvox.exe")], capture_output=True,
                             text=True, check=True).stdout
    dlls = sorted(line.split()[-1].upper() for line in imports.splitlines() if "DLL Name:" in line)
    assert dlls == ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL", "WINMM.DLL"]
    # Each string of the version resource is its UTF-16 name, padded to 4 bytes, then its value.
    exe = WINDOWS_BINARY.read_bytes()
    for name, value in ("FileVersion", VERSION), ("ProductName", "belvox"), ("LegalCopyright", "(C) The belvox developers"):
        entry = re.escape(f"{name}\0".encode("utf-16-le")) + b"(?:\0\0)?" + re.escape(f"{value}\0".encode("utf-16-le"))
        assert re.search(entry, exe), name


def test_the_quick_start_plays_a_melody_on_the_default_device():
    server = PulseAudio()
    try:
        with server.capture() as captured:
            played = subprocess.run([ROOT / "scripts" / "play"], env=server.environ(), capture_output=True, timeout=300)
    finally:
        server.stop()
    assert (played.returncode, played.stderr, round(len(trim(captured)) / RATE, 2)) == (0, b"", 5.0)  # 5 s of notes


def test_tests_are_under_40_percent_of_all_code_as_the_readme_counts_them():
    lines = lambda *globs: sum(path.read_bytes().count(b"\n") for glob in globs for path in ROOT.glob(glob))  # noqa
    tests = lines("tests/**/*.[ch]pp", "tests/**/*.py", "fuzz/**/*.[ch]pp", "fuzz/**/*.py", "src/**/*_test.cpp")
    code = lines("src/**/*.[ch]pp") - lines("src/**/*_test.cpp")
    stated = re.search(r"Now ([\d,]+) lines\s+of\s+tests\s+against\s+([\d,]+)", (ROOT / "README.md").read_text())
    assert [tests, code] == [int(n.replace(",", "")) for n in stated.groups()] and tests / (tests + code) < 0.4
