"""Runs the real belvox binaries from outside: Linux natively, Windows under wine."""

import array
import os
import pty
import shutil
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

from audio_sink import AudioSink

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
LINUX_BINARY = BUILD / "linux" / "belvox"
WINDOWS_BINARY = BUILD / "windows" / "belvox.exe"
LOCPATH = BUILD / "locale"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
WINE_PREFIX = BUILD / "wine-prefix"
RENDER_BINARY = BUILD / "linux" / "tests" / "belvox_render"


@dataclass
class Result:
    stdout: bytes
    stderr: bytes
    returncode: int
    seconds: float


def clean_environment(**extra):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LANG", "PULSE_", "DISPLAY"))}
    env["LOCPATH"] = str(LOCPATH)
    env.update(extra)
    return env


class Program:
    """One build of belvox; `run` takes the arguments and the user's language."""

    def __init__(self, platform, audio_env=None):
        self.platform = platform
        self.audio_env = audio_env or {}

    def encode(self, text, language):
        """The bytes that a redirected stream receives for `text`."""
        if self.platform == "linux":
            return text.encode("utf-8")
        codepage = "cp932" if language == "ja" else "cp1252"
        return text.replace("\n", "\r\n").encode(codepage, errors="replace")

    def environment(self, language):
        if self.platform == "linux":
            if language == "ja":
                return clean_environment(LANG="ja_JP.UTF-8", LC_CTYPE="C.UTF-8", **self.audio_env)
            return clean_environment(LANG="C.UTF-8", **self.audio_env)
        locale = "ja_JP.UTF-8" if language == "ja" else "en_US.UTF-8"
        return clean_environment(LANG=locale, WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all", **self.audio_env)

    def command(self, args):
        if self.platform == "linux":
            return [str(LINUX_BINARY), *args]
        return [WINE, str(WINDOWS_BINARY), *args]

    def run(self, args, language="en", timeout=60, cwd=None, env=None):
        environment = self.environment(language)
        environment.update(env or {})
        # Wine gives a program a console only when its standard input is a terminal;
        # standard output and error stay redirected, as in a script.
        primary, secondary = pty.openpty()
        start = time.monotonic()
        try:
            completed = subprocess.run(
                self.command(args), stdin=secondary, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                env=environment, timeout=timeout, cwd=cwd)
        finally:
            os.close(primary)
            os.close(secondary)
        seconds = time.monotonic() - start
        return Result(completed.stdout, self._own_lines(completed.stderr), completed.returncode, seconds)

    def _own_lines(self, stderr):
        if self.platform == "linux":
            return stderr
        # Wine's loader and its ALSA driver may add lines of their own (LF-ended,
        # where the program's own end in CR LF).
        return b"".join(line for line in stderr.splitlines(keepends=True)
                        if line != b"\n" and not line.startswith((b"wine:", b"wine64:", b"ALSA lib "))
                        and b":err:" not in line and b":fixme:" not in line)


def start_wine():
    environment = clean_environment(WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all")
    log = open(BUILD / "wine.log", "ab")
    if not (WINE_PREFIX / "system.reg").exists():
        subprocess.run([WINE, "wineboot", "-i"], env=environment, stdout=log, stderr=log, check=True)
        subprocess.run([WINE, "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/t", "REG_SZ",
                        "/d", "alsa", "/f"], env=environment, stdout=log, stderr=log, check=True)
        # The session that created a prefix can stall in waveOutOpen: start afresh.
        subprocess.run([WINESERVER, "-k"], env=environment, stdout=log, stderr=log)
        subprocess.run([WINESERVER, "-w"], env=environment, stdout=log, stderr=log)
    subprocess.run([WINESERVER, "-p"], env=environment, stdout=log, stderr=log, check=True)
    # Wine's services inherit the first process's streams: give them the log.
    subprocess.run([WINE, "wineboot"], env=environment, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    return environment


@pytest.fixture(scope="session")
def wine():
    if not WINDOWS_BINARY.exists():
        pytest.fail(f"{WINDOWS_BINARY} is missing: build the windows preset first")
    environment = start_wine()
    yield
    subprocess.run([WINESERVER, "-k"], env=environment)
    subprocess.run([WINESERVER, "-w"], env=environment)


@pytest.fixture(params=["linux", "windows"])
def belvox(request):
    """Each test that takes it runs once per build."""
    if request.param == "windows":
        request.getfixturevalue("wine")
    return Program(request.param)


@pytest.fixture(scope="session")
def sink():
    audio = AudioSink()
    yield audio
    audio.stop()


@pytest.fixture(params=["linux", "windows"])
def audible(request, sink):
    """A build whose default audio device is the captured sink."""
    if request.param == "windows":
        request.getfixturevalue("wine")
    return Program(request.param, audio_env=sink.env)


def render(args):
    """The PCM that the simulated device receives for these arguments."""
    completed = subprocess.run([str(RENDER_BINARY), *args], capture_output=True, check=True,
                               env=clean_environment(LANG="C.UTF-8"))
    data = array.array("h")
    data.frombytes(completed.stdout)
    return list(data)
