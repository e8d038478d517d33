"""The install tree, the manual pages, the Debian package and the Windows download."""

import subprocess
import zipfile

import pytest

from conftest import BUILD, ROOT, VERSION, WINE, WINDOWS_BINARY, clean_environment

MANUAL_PAGES = ["share/man/man1/belvox.1.gz", "share/man/ja/man1/belvox.1.gz"]


def run_installed(binary, *args):
    return subprocess.run([str(binary), *args], capture_output=True, env=clean_environment(LANG="C.UTF-8"))


@pytest.mark.parametrize("page", ["belvox.1", "belvox.ja.1"])
def test_manual_pages_render_without_warnings(page):
    completed = subprocess.run(["groff", "-k", "-t", "-ww", "-man", "-Tutf8", str(BUILD / "linux" / "docs" / page)],
                               capture_output=True, env=clean_environment(LANG="C.UTF-8"))
    assert (completed.returncode, completed.stderr) == (0, b"")
    assert all(word in completed.stdout.decode() for word in ("/l", "16_", "1333", VERSION))


def test_install_puts_the_binary_and_both_manual_pages_in_place(tmp_path):
    subprocess.run(["cmake", "--install", str(BUILD / "linux"), "--prefix", str(tmp_path)], check=True,
                   capture_output=True)
    assert all((tmp_path / page).is_file() for page in MANUAL_PAGES)
    assert run_installed(tmp_path / "bin/belvox", "/?").stdout.startswith(b"Play sound.\n")


def test_the_debian_package_is_lintian_clean_and_runs_from_a_scratch_root(tmp_path):
    subprocess.run(["cpack", "-B", str(tmp_path / "out")], cwd=BUILD / "linux", check=True, capture_output=True)
    package = tmp_path / "out" / f"belvox_{VERSION}_amd64.deb"
    lintian = subprocess.run(["lintian", "--fail-on", "error,warning", str(package)], capture_output=True, text=True)
    assert (lintian.returncode, lintian.stdout) == (0, "")
    depends = subprocess.run(["dpkg-deb", "-f", str(package), "Depends"], capture_output=True, text=True,
                             check=True).stdout
    assert all(library in depends for library in ("libasound2", "libsndfile1", "libcanberra0"))
    root = tmp_path / "root"
    subprocess.run(["dpkg", "-x", str(package), str(root)], check=True)
    assert all((root / "usr" / page).is_file() for page in MANUAL_PAGES)
    assert (root / "usr/share/doc/belvox/copyright").read_text().startswith("Format: https://www.debian.org/")
    assert run_installed(root / "usr/bin/belvox", "/f", "440,5").stderr == b"5 - Value of time is too short.\n"


def test_the_windows_download_holds_the_exe_and_both_readmes(wine, tmp_path):
    with zipfile.ZipFile(BUILD / "windows" / f"belvox-{VERSION}-windows-x86_64.zip") as download:
        assert sorted(download.namelist()) == ["README.en.txt", "README.ja.txt", "belvox.exe"]
        download.extractall(tmp_path)
    assert (tmp_path / "README.en.txt").read_text().startswith(f"belvox {VERSION} for Windows")
    # The exe alone in its folder runs: it needs no DLL beyond the system's.
    completed = subprocess.run([WINE, "belvox.exe", "/?"], cwd=tmp_path, capture_output=True,
                               env=clean_environment(LANG="en_US.UTF-8"), stdin=subprocess.DEVNULL)
    assert completed.stdout.startswith(b"Play sound.\r\n")
    imports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(tmp_path / "belvox.exe")], capture_output=True,
                             text=True, check=True).stdout
    dlls = sorted(line.split()[-1].upper() for line in imports.splitlines() if "DLL Name:" in line)
    assert dlls == ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL", "WINMM.DLL"]


def test_the_windows_version_resource_reads_back(wine):
    completed = subprocess.run([WINE, str(BUILD / "windows" / "read_version.exe"), str(WINDOWS_BINARY)],
                               capture_output=True, env=clean_environment(LANG="en_US.UTF-8"),
                               stdin=subprocess.DEVNULL)
    assert completed.stdout.decode().splitlines() == [
        f"FileVersion={VERSION}", "ProductName=belvox", "LegalCopyright=(C) The belvox developers"]


def test_two_clean_builds_of_one_commit_are_the_same(tmp_path):
    """Debian's reproducible-builds practice: a clean clone of this commit, built in another folder
    and at another time, gives the same belvox, package, belvox.exe and zip, byte for byte."""
    if subprocess.run(["git", "status", "--porcelain", "--untracked-files=no"], cwd=ROOT, capture_output=True,
                      text=True).stdout:
        pytest.skip("the work tree has uncommitted changes: build/ is not one commit's")
    clone = tmp_path / "clone"
    subprocess.run(["git", "clone", "-q", str(ROOT), str(clone)], check=True)
    for preset in ("linux", "windows"):  # niced: captures run beside it
        subprocess.run(f"cmake --preset {preset} -DBUILD_TESTING=OFF && nice cmake --build --preset {preset}",
                       shell=True, cwd=clone, check=True, capture_output=True)
    packages = []
    for name, build in (("first", BUILD), ("second", clone / "build")):
        subprocess.run(["cpack", "-B", str(tmp_path / name)], cwd=build / "linux", check=True, capture_output=True)
        packages.append((tmp_path / name / f"belvox_{VERSION}_amd64.deb").read_bytes())
    assert packages[0] == packages[1]
    for built in ("linux/belvox", "windows/belvox.exe", f"windows/belvox-{VERSION}-windows-x86_64.zip"):
        assert (BUILD / built).read_bytes() == (clone / "build" / built).read_bytes(), built
