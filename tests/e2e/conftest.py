"""Runs the real belvox binaries from outside: Linux natively, Windows under wine."""

import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import termios
import time
import warnings
from collections import namedtuple
from pathlib import Path

import pytest

from servers import SERVERS

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
LINUX_BINARY = BUILD / "linux" / "belvox"
ASAN_BINARY = BUILD / "asan" / "belvox"
WINDOWS_BINARY = BUILD / "windows" / "belvox.exe"
LOCPATH = BUILD / "locale"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
WINE_PREFIX = BUILD / "wine-prefix"
VERSION = re.search(r"project\(belvox VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


def pytest_configure(config):
    config.addinivalue_line("markers", "long: plays in real time for minutes; scripts/test runs it beside the builds")
    config.addinivalue_line("markers", "alone: wine's audio, captured or timed; scripts/test runs it when nothing "
                                       "else is busy, for wine's audio thread slips on a busy machine")


@pytest.hookimpl(tryfirst=True)
def pytest_collection_modifyitems(items):
    for item in items:
        if item.path.name in ("test_audio.py", "test_faults.py") and "windows" in item.name:
            item.add_marker("alone")
        # PipeWire's recorder now and then loses a graph period that the sink played, wine's audio thread slips
        # and its loader may die of SIGSEGV as a run ends, and the 200 s stream, beside the builds, can run dry
        # for a few ms: such a test runs once more, and a fault of belvox's fails twice.
        captured = item.path.name == "test_audio.py" or item.originalname == "test_a_paused_run_plays_on_where_it_stopped"
        if captured and ("pipewire" in item.name.lower() or "long" in item.keywords) or "alone" in item.keywords:
            item.add_marker(pytest.mark.flaky(reruns=1))


RERUNS = []  # each test that pytest-rerunfailures runs again, with its cause, for the summary


def pytest_runtest_logreport(report):
    if report.outcome == "rerun":
        RERUNS.append(f"RUN AGAIN {report.nodeid}: {report.longrepr.reprcrash.message.splitlines()[0]}")


def pytest_terminal_summary(terminalreporter):
    for line in RERUNS:
        terminalreporter.write_line(line)


Result = namedtuple("Result", "stdout stderr returncode seconds")


def clean_environment(**extra):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LANG", "PULSE_", "DISPLAY", "XDG_"))}
    env.update(LOCPATH=str(LOCPATH), WINEPREFIX=str(WINE_PREFIX), WINEDEBUG="-all", **extra)
    return env


class Program:
    """One build of belvox, run with English messages unless the environment says otherwise."""

    def __init__(self, platform, env=None):
        self.windows = platform == "windows"
        self.env = env or {}

    def english(self, text):
        """The bytes of an English text on a redirected stream: UTF-8, or the ANSI code page with CR LF."""
        return text.replace("\n", "\r\n").encode("cp1252") if self.windows else text.encode()

    def command(self, args):
        return [WINE, str(WINDOWS_BINARY), *args] if self.windows else [str(LINUX_BINARY), *args]

    def run(self, args, env=None, cwd=None, timeout=60):
        environment = clean_environment(LANG="en_US.UTF-8" if self.windows else "C.UTF-8", **self.env)
        environment.update(env or {})
        return execute(self.command(args), environment, self.windows, cwd, timeout)


def execute(command, env, windows, cwd=None, timeout=60, console=None):
    """Runs the command with a terminal for standard input (wine then gives it a console), and for the
    stream that `console` names, whose text is then what the terminal shows. Under wine, once more, named
    in the summary, if its loader died of SIGSEGV (a fault in belvox.exe ends wine with the exception's
    code, never a signal) or its console showed nothing, as each has been seen to on a loaded machine."""
    def attempt():
        primary, secondary = pty.openpty()
        fcntl.ioctl(secondary, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 300, 0, 0))  # no line is wrapped
        streams = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE}
        if console:
            streams[console] = secondary
        start = time.monotonic()
        process = subprocess.Popen(command, stdin=secondary, cwd=cwd, env=env, **streams)
        os.close(secondary)
        shown = b""
        while select.select([primary], [], [], timeout)[0]:
            try:
                chunk = os.read(primary, 1 << 16)
            except OSError:  # the terminal's other side has closed
                break
            if not chunk:
                break
            shown += chunk
        os.close(primary)
        stdout, stderr = process.communicate(timeout=timeout)
        output = {"stdout": stdout, "stderr": own_lines(stderr) if windows and stderr is not None else stderr}
        if console:
            output[console] = shown
        return Result(output["stdout"], output["stderr"], process.returncode, time.monotonic() - start)

    completed = attempt()
    crashed, test = completed.returncode == -signal.SIGSEGV, os.environ.get("PYTEST_CURRENT_TEST", "").split(" ")[0]
    if windows and (crashed or console and not getattr(completed, console)) and test not in RUN_AGAIN:
        RUN_AGAIN.add(test)  # once a test: a second time is belvox's fault
        warnings.warn(f"run again: {'SIGSEGV' if crashed else 'a blank console'}: {' '.join(map(str, command))}")
        completed = attempt()
    return completed


RUN_AGAIN = set()


def own_lines(stderr):
    """Wine's loader and its ALSA driver may add lines of their own (LF-ended, where
    the program's own end in CR LF)."""
    return b"".join(line for line in stderr.splitlines(keepends=True)
                    if line != b"\n" and not line.startswith((b"wine:", b"wine64:", b"ALSA lib "))
                    and b":err:" not in line and b":fixme:" not in line)


def start_wine():
    """Makes the prefix once and starts its server, which stays a minute after its last program: test
    processes running side by side share it, and none of them knows which is the last."""
    environment = clean_environment()
    # Wine's server and services keep the log open: a lock on it would outlive the start.
    with open(BUILD / "wine.lock", "wb") as lock, open(BUILD / "wine.log", "ab") as log:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (WINE_PREFIX / "system.reg").exists():
            subprocess.run([WINE, "wineboot", "-i"], env=environment, stdout=log, stderr=log, check=True)
            # Wine's ALSA driver plays exactly what it is given; its PulseAudio driver loses the last few ms.
            subprocess.run([WINE, "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/t", "REG_SZ",
                            "/d", "alsa", "/f"], env=environment, stdout=log, stderr=log, check=True)
            # The session that created a prefix can stall in waveOutOpen: start afresh.
            subprocess.run([WINESERVER, "-k"], env=environment, stdout=log, stderr=log)
            subprocess.run([WINESERVER, "-w"], env=environment, stdout=log, stderr=log)
        subprocess.run([WINESERVER, "-p60"], env=environment, stdout=log, stderr=log)  # 2 when one already runs
        # Wine's services inherit the first process's streams: give them the log.
        subprocess.run([WINE, "wineboot"], env=environment, stdout=log, stderr=log, stdin=subprocess.DEVNULL)


@pytest.fixture(scope="session")
def wine():
    if not WINDOWS_BINARY.exists():
        pytest.fail(f"{WINDOWS_BINARY} is missing: build the windows preset first")
    start_wine()


@pytest.fixture(params=["linux", "windows"])
def belvox(request):
    """Each test that takes it runs once per build."""
    if request.param == "windows":
        request.getfixturevalue("wine")
    return Program(request.param)


@pytest.fixture(scope="session", params=list(SERVERS))
def server(request):
    """A private sound server, PulseAudio and PipeWire in turn."""
    started = SERVERS[request.param]()
    yield started
    started.stop()


@pytest.fixture(params=["linux", "windows"])
def audible(request, server):
    """A build whose default audio device is the server's captured sink."""
    if request.param == "windows":
        request.getfixturevalue("wine")
    return Program(request.param, env=server.env)

