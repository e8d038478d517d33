"""A hostile world: frozen, vanishing and missing sound servers, no memory, no threads, Ctrl+C, closed pipes.
Every row ends with one clear message (or the expected play) and status 0, never a hang or a crash."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

from conftest import ASAN_BINARY, LINUX_BINARY, WINDOWS_BINARY, WINE, clean_environment, own_lines
from servers import RATE, PipeWire, PulseAudio, file_device, rendered, trim
from test_audio import write_wave

UNAVAILABLE = "Audio output device is not available.\n"
OUT_OF_MEMORY = "Not enough memory.\n"
LONG = ["/fs", "440,1000", "440,1000", "440,1000"]


def wave_file(tmp_path, seconds=1):
    write_wave(tmp_path / "ok.wav", seconds)
    return str(tmp_path / "ok.wav")


freeze, kill = signal.SIGSTOP, signal.SIGKILL  # sent to each of the server's processes


def label(value):
    """A test id's part: arguments as typed, a server or a signal by name."""
    return " ".join(value) if isinstance(value, list) else getattr(value, "__name__", getattr(value, "name", None))


# (server, builds, fault, seconds into the run, arguments, the bound from the fault to the message): one row
# for each wait that can meet it, on each server. A device is given up on 2 s after it stops answering or
# playing, and 4 s after a stream that never started. Windows gives PlaySoundW the file's length and a
# start allowance.
SCENARIOS = [
    *[(server, ("linux", "asan"), *row) for server, never_plays in ((PulseAudio, 3.0), (PipeWire, 4.5)) for row in [
        # PulseAudio's plugin waits for the server in the open; PipeWire's opens, and its stream never starts.
        (freeze, 0, ["/f", "440,100"], never_plays),
        (freeze, 0, ["/sd"], 3.0),  # libcanberra never starts the event sound
        (freeze, 0.15, ["/sw"], 5.5),  # or never finishes it: an event sound may last 5 s
        (freeze, 0.6, LONG, 3.5),  # the position stands still, once what the device said it held has played
        # PulseAudio's stream fails; PipeWire's recovers, again and again, and never plays.
        (kill, 0.6, LONG, 1.0 if server is PulseAudio else 4.5)]],
    (PulseAudio, ("windows",), freeze, 0, ["/f", "440,100"], 3.0),
    (PulseAudio, ("windows",), freeze, 1.5, LONG, 3.5),
    (PulseAudio, ("windows",), freeze, 0, ["/w", "WAV"], 3.0),
    (PulseAudio, ("windows",), kill, 0.5, ["/w", "WAV"], 6.0),
]


@pytest.mark.parametrize("make_server,build,fault,after,args,within",
                         [(row[0], build, *row[2:]) for row in SCENARIOS for build in row[1]], ids=label)
def test_a_failing_server_ends_the_run_with_the_message(request, tmp_path, make_server, build, fault, after, args,
                                                         within):
    """Frozen before or while it plays, killed, or never starting a stream: the message, and nothing
    else, even under the sanitizers."""
    command = {"linux": [str(LINUX_BINARY)], "asan": [str(ASAN_BINARY)], "windows": [WINE, str(WINDOWS_BINARY)]}[build]
    if build == "windows":  # wine's own start and end are not belvox's: the bound grows by what they take now
        request.getfixturevalue("wine")
        started = time.monotonic()
        subprocess.run([*command, "/ver"], capture_output=True, env=clean_environment(), timeout=60)
        within += time.monotonic() - started
    server = make_server()
    try:
        args = [wave_file(tmp_path) if a == "WAV" else a for a in args]
        if not after:
            server.signal(fault)
        process = subprocess.Popen([*command, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, env=clean_environment(
                                       LANG="en_US.UTF-8" if build == "windows" else "C.UTF-8", **server.env))
        if after:
            time.sleep(after)
            server.signal(fault)
        struck = time.monotonic()
        stderr = process.communicate(timeout=60)[1]
        seconds, status = time.monotonic() - struck, process.returncode
    finally:
        server.stop()
    if build == "windows":
        stderr = own_lines(stderr).replace(b"\r\n", b"\n")
    assert (stderr.decode(), status) == (UNAVAILABLE, 0)
    assert seconds < within


def test_a_deep_buffered_server_plays_every_action(tmp_path):
    """PulseAudio's own sink on a machine without a sound card renders seconds ahead, and a new stream
    waits that long: every action ends within what paplay takes there for a sound as long, plus 300 ms.
    Timed before any recorder has come and gone: after one, the sink holds a new stream of low latency
    (paplay's too) back by up to 2 s more. What is heard is judged after, for one buffer and a stream."""
    one = wave_file(tmp_path)
    server = PulseAudio(deep=True)
    env = clean_environment(LANG="C.UTF-8", **server.env)

    def timed(command):
        time.sleep(1.5)  # the sink has played nothing for a while, as a desktop's mostly has
        started = time.monotonic()
        completed = subprocess.run(command, env=env, capture_output=True, timeout=30, cwd=tmp_path)
        return completed.stderr, time.monotonic() - started

    def belvox(args):
        return [str(LINUX_BINARY), *[one if a == "WAV" else a for a in args]]

    try:
        for args, timeline, _ in DEEP_ACTIONS:
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", "same.wav", "synth", str(timeline),
                            "sine", "440"], cwd=tmp_path, check=True)
            stderr, seconds = timed(belvox(args))
            assert (args, stderr) == (args, b"")
            assert seconds < timed(["paplay", "same.wav"])[1] + 0.3, args
        for args, _, heard in DEEP_ACTIONS:
            if heard:
                with server.capture() as captured:
                    assert timed(belvox(args))[0] == b""
                assert len(trim(captured)) / RATE == pytest.approx(heard, abs=0.01), args
    finally:
        server.stop()


# (arguments, the timeline, the seconds of sound heard when the capture judges it)
DEEP_ACTIONS = [
    (["/f", "440,1000"], 1.15, 1.0), (["/n", "C4,8", "E4,8", "G4,8", "C5,4"], 1.40, None), (["/b"], 0.2, None),
    (["/fb", "440,300", "0,100", "880,300"], 0.7, None), (["/w", "WAV"], 1.0, 1.0), (["/sd"], 0.14, None)]


# (server, build, arguments, seconds into the run, seconds stopped)
PAUSES = [
    *[(server, "linux", LONG, 1.0, 3.0) for server in (PulseAudio, PipeWire)],
    # Before the event sound starts; past the 30 s in which libpulse fails what its client does not answer.
    *[(server, "linux", ["/s"], 0.05, pause) for server, pause in ((PulseAudio, 31.0), (PipeWire, 6.0))],
    (PulseAudio, "windows", ["/w", "WAV"], 1.5, 6.0),
    (PulseAudio, "linux", LONG, 0.5, None),  # Ctrl+C
]


@pytest.mark.parametrize("make_server,build,args,after,pause", PAUSES, ids=label)
def test_a_paused_run_plays_on_where_it_stopped(request, tmp_path, make_server, build, args, after, pause):
    """Stopped while it plays (Ctrl+Z, fg): the rest plays after, and the device is not blamed.
    PipeWire's plugin meanwhile runs dry, and the stream is recovered. Ctrl+C silences it at once."""
    command = [str(LINUX_BINARY)]
    if build == "windows":
        request.getfixturevalue("wine")
        command = [WINE, str(WINDOWS_BINARY)]
    server = make_server()
    try:
        with server.capture() as captured:
            process = subprocess.Popen([*command, *[wave_file(tmp_path, 3) if a == "WAV" else a for a in args]],
                                       stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                       env=clean_environment(LANG="C.UTF-8", **server.env),
                                       preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))  # a shell's
            time.sleep(after)
            for sent in (signal.SIGSTOP, pause, signal.SIGCONT) if pause else (signal.SIGINT,):
                time.sleep(sent) if isinstance(sent, float) else process.send_signal(sent)
            stderr = process.communicate(timeout=30)[1]
        streams = subprocess.run(["pactl", "list", "short", "sink-inputs"], env=server.environ(), capture_output=True)
    finally:
        server.stop()
    assert (own_lines(stderr), process.returncode, streams.stdout) == (b"", -signal.SIGINT if pause is None else 0, b"")
    heard = [s for s in captured if s]
    if pause is None:  # the status a shell shows as 130, within 100 ms, and no stream left on the server
        assert len(trim(captured)) / RATE <= after + 0.1
    elif args == LONG:
        assert heard == [s for s in rendered(LONG) if s]
    elif build == "windows":  # wine's PlaySound closes its device up to 20 ms before the end
        assert len(heard) / RATE == pytest.approx(3.0, abs=0.03)
    else:  # the bell, once: not the beep that stands in for an event sound that could not play
        bell = subprocess.run(["soxi", "-D", "/usr/share/sounds/freedesktop/stereo/bell.oga"], capture_output=True)
        assert len(trim(captured)) / RATE == pytest.approx(float(bell.stdout), abs=0.03)


@pytest.mark.parametrize("args", [["/f", "440,100"], ["/b"], ["/s"], ["/w", "WAV"]], ids=" ".join)
@pytest.mark.parametrize("device", ["no server", "a file in no folder", "a full pipe"])
def test_no_device_is_reported_for_every_action(belvox, tmp_path, args, device):
    """No server answers ALSA's default device (Linux); wine has no audio driver at all (Windows).
    ALSA's file plugin opens and takes audio, and says only as it closes that it has no file for it, or
    never closes, its writes into a pipe that nobody reads never returning."""
    if belvox.windows and (args[0] in ("/s", "/b") or device != "no server"):
        pytest.skip("Windows reports nothing of alerts and beeps; the file plugin is the Linux build's")
    args = [wave_file(tmp_path) if a == "WAV" else a for a in args]
    output = f"{tmp_path}/none/out.raw"
    if device == "a full pipe":
        os.mkfifo(output := f"{tmp_path}/full.fifo")
        os.write(os.open(output, os.O_RDWR | os.O_NONBLOCK), bytes(1 << 20))  # fills it, and it stays open
    env = {"PULSE_SERVER": f"unix:{tmp_path}/none.sock", **file_device(tmp_path, output)}
    if device == "no server":
        (tmp_path / "alsa" / "asoundrc").write_text(PulseAudio.asoundrc())
    if belvox.windows:
        env["WINEDLLOVERRIDES"] = "winealsa.drv,winepulse.drv,wineoss.drv=d"
        args = [f"Z:{a}" if a.startswith("/tmp") else a for a in args]
    result = belvox.run(args, env=env)
    assert result.stderr == belvox.english(UNAVAILABLE) and result.returncode == 0


@pytest.mark.parametrize("shell,stderr", [
    ("ulimit -v 200000; yes 440,10 | {belvox} /f /l /dev/stdin", OUT_OF_MEMORY),
    ("ulimit -v 25000; {belvox} /f /l {long}", OUT_OF_MEMORY),  # the one 16 MiB buffer
])
def test_running_out_of_memory_is_a_message(tmp_path, shell, stderr):
    (tmp_path / "long.txt").write_text("440,1000\n" * 180)
    command = shell.format(belvox=LINUX_BINARY, long=tmp_path / "long.txt")
    completed = subprocess.run(["bash", "-c", command], capture_output=True, timeout=120,
                               env=clean_environment(LANG="C.UTF-8", PULSE_SERVER="unix:/nonexistent"))
    assert (completed.stderr.decode(), completed.returncode) == (stderr, 0)


@pytest.mark.parametrize("args", [["/f", "440,100"], ["/b"], ["/sd"], ["/w", "ok.wav"]], ids=" ".join)
def test_no_thread_is_an_unavailable_device(tmp_path, args):
    """As nobody (process limits spare root), from a folder that user can read."""
    folder = Path(tempfile.mkdtemp())
    folder.chmod(0o755)
    shutil.copy(LINUX_BINARY, folder)
    shutil.copy(wave_file(tmp_path), folder)
    user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
    completed = subprocess.run([*user, "prlimit", "--nproc=1", str(folder / "belvox"), *args], cwd=folder,
                               capture_output=True, timeout=30, env=clean_environment(LANG="C.UTF-8"))
    shutil.rmtree(folder)
    assert (completed.stderr.decode(), completed.returncode) == (UNAVAILABLE, 0)


def test_a_closed_pipe_loses_the_text_not_the_status():
    completed = subprocess.run(f"{LINUX_BINARY} '/?' | (exec 0<&-; sleep .2); echo ${{PIPESTATUS[0]}}",
                               shell=True, executable="/bin/bash", capture_output=True, text=True)
    assert completed.stdout == "0\n"
