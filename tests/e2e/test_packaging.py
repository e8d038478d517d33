"""Install tree, manual pages, the Debian package and the Windows download."""

import subprocess
import zipfile

import pytest

from conftest import BUILD, VERSION, WINE, WINDOWS_BINARY, clean_environment


def run_installed(binary, *args):
    return subprocess.run([str(binary), *args], capture_output=True, env=clean_environment(LANG="C.UTF-8"))


def test_install_puts_the_binary_and_both_manual_pages_in_place(tmp_path):
    subprocess.run(["cmake", "--install", str(BUILD / "linux"), "--prefix", str(tmp_path)], check=True,
                   capture_output=True)
    assert (tmp_path / "share/man/man1/belvox.1").is_file()
    assert (tmp_path / "share/man/ja/man1/belvox.1").is_file()
    assert run_installed(tmp_path / "bin/belvox", "/?").stdout.startswith(b"Play sound.\n")


@pytest.mark.parametrize("page", ["belvox.1", "belvox.ja.1"])
def test_manual_pages_render_without_warnings(page):
    completed = subprocess.run(["groff", "-k", "-t", "-ww", "-man", "-Tutf8", str(BUILD / "linux" / "docs" / page)],
                               capture_output=True, env=clean_environment(LANG="C.UTF-8"))
    assert completed.returncode == 0
    assert completed.stderr == b""
    text = completed.stdout.decode()
    assert "/l" in text and "16_" in text and "1333" in text


def test_debian_package_installs_and_runs_in_a_scratch_root(tmp_path):
    subprocess.run(["cpack", "-B", str(tmp_path / "out")], cwd=BUILD / "linux", check=True, capture_output=True)
    package = tmp_path / "out" / f"belvox_{VERSION}_amd64.deb"
    depends = subprocess.run(["dpkg-deb", "-f", str(package), "Depends"], capture_output=True, text=True,
                             check=True).stdout
    for library in ("libasound2", "libsndfile1", "libcanberra0"):
        assert library in depends
    root = tmp_path / "root"
    subprocess.run(["dpkg", "-x", str(package), str(root)], check=True)
    assert (root / "usr/share/man/ja/man1/belvox.1").is_file()
    installed = run_installed(root / "usr/bin/belvox", "/f", "440,5")
    assert installed.stderr == b"5 - Value of time is too short.\n"


def test_windows_download_holds_the_exe_and_both_readmes(wine, tmp_path):
    archive = BUILD / "windows" / f"belvox-{VERSION}-windows-x86_64.zip"
    with zipfile.ZipFile(archive) as download:
        assert sorted(download.namelist()) == ["README.en.txt", "README.ja.txt", "belvox.exe"]
        download.extract("belvox.exe", tmp_path)
    # The exe alone in its folder runs: it needs no DLL beyond the system's.
    environment = clean_environment(WINEPREFIX=str(BUILD / "wine-prefix"), WINEDEBUG="-all", LANG="en_US.UTF-8")
    completed = subprocess.run([WINE, "belvox.exe", "/?"], cwd=tmp_path, capture_output=True, env=environment,
                               stdin=subprocess.DEVNULL)
    assert completed.stdout.startswith(b"Play sound.\r\n")
    imports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(tmp_path / "belvox.exe")], capture_output=True,
                             text=True, check=True).stdout
    dlls = sorted(line.split()[-1].upper() for line in imports.splitlines() if "DLL Name:" in line)
    assert dlls == ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL", "WINMM.DLL"]


def test_windows_version_resource_reads_back(wine):
    environment = clean_environment(WINEPREFIX=str(BUILD / "wine-prefix"), WINEDEBUG="-all", LANG="en_US.UTF-8")
    completed = subprocess.run([WINE, str(BUILD / "windows" / "read_version.exe"), str(WINDOWS_BINARY)],
                               capture_output=True, env=environment, stdin=subprocess.DEVNULL)
    assert completed.stdout.decode().splitlines() == [
        f"FileVersion={VERSION}", "ProductName=belvox", "LegalCopyright=(C) The belvox developers"]
