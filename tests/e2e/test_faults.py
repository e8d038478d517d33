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

from conftest import LINUX_BINARY, Program, clean_environment
from servers import RATE, SERVERS, PipeWire, PulseAudio, trim

UNAVAILABLE = "Audio output device is not available.\n"
OUT_OF_MEMORY = "Not enough memory.\n"
LONG = ["/fs", "440,1000", "440,1000", "440,1000"]


def wave_file(tmp_path):
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", str(tmp_path / "ok.wav"), "synth", "1", "sine",
                    "440"], check=True)
    return str(tmp_path / "ok.wav")


@pytest.mark.parametrize("name", list(SERVERS))
@pytest.mark.parametrize("args,freeze_after,within", [
    (["/f", "440,100"], 0, 3.5), (["/b"], 0, 3.5), (["/sd"], 0, 8), (["/w", "WAV"], 0, 3.5),
    (LONG, 0.6, 4.5), (["/w", "WAV"], 0.4, 4.5)])
def test_a_frozen_server_ends_the_run_with_the_message(tmp_path, name, args, freeze_after, within):
    """Frozen before the run (the open never returns) or while it plays (the stream stalls)."""
    server = SERVERS[name]()
    try:
        args = [wave_file(tmp_path) if a == "WAV" else a for a in args]
        if not freeze_after:
            server.freeze()
        process = subprocess.Popen([str(LINUX_BINARY), *args], stderr=subprocess.PIPE,
                                   env=clean_environment(LANG="C.UTF-8", **server.env))
        started = time.monotonic()
        if freeze_after:
            time.sleep(freeze_after)
            server.freeze()
        stderr = process.communicate(timeout=30)[1]
        assert stderr == UNAVAILABLE.encode() and process.returncode == 0
        assert time.monotonic() - started < within
    finally:
        server.stop()


@pytest.mark.parametrize("name", list(SERVERS))
def test_a_vanishing_server_ends_the_run_with_the_message(name):
    for args in (LONG, ["/fb", "440,1000", "440,1000", "440,1000"]):
        server = SERVERS[name]()
        try:
            process = subprocess.Popen([str(LINUX_BINARY), *args], stderr=subprocess.PIPE,
                                       env=clean_environment(LANG="C.UTF-8", **server.env))
            time.sleep(0.6)
        finally:
            for pid in server.pids():
                os.kill(pid, signal.SIGKILL)
            server.stop()
        assert process.communicate(timeout=10)[1] == UNAVAILABLE.encode() and process.returncode == 0


@pytest.mark.parametrize("plugin", ["pipewire", "pulse"])
def test_a_server_that_cannot_start_a_stream_is_given_up_on(plugin):
    """PipeWire without its session manager links no stream: PulseAudio's plugin would wait 30 s."""
    server = PipeWire(session_manager=False, plugin=plugin)
    try:
        result = Program("linux", env=server.env).run(["/f", "440,100"])
    finally:
        server.stop()
    assert result.stderr == UNAVAILABLE.encode() and result.seconds < 3.5


@pytest.mark.parametrize("args", [["/f", "440,100"], ["/nb", "A4,4"], ["/b"], ["/s"], ["/se"], ["/w", "WAV"]],
                         ids=" ".join)
def test_no_device_is_reported_for_every_action(belvox, tmp_path, args):
    """No server answers ALSA's default device (Linux); wine has no audio driver at all (Windows)."""
    if belvox.windows and args[0].startswith(("/s", "/nb", "/b")):
        pytest.skip("Windows reports nothing of alerts and beeps")
    args = [wave_file(tmp_path) if a == "WAV" else a for a in args]
    env = {"PULSE_SERVER": f"unix:{tmp_path}/none.sock", "XDG_CONFIG_HOME": str(tmp_path)}
    (tmp_path / "alsa").mkdir()
    (tmp_path / "alsa" / "asoundrc").write_text(PulseAudio.asoundrc())
    if belvox.windows:
        env["WINEDLLOVERRIDES"] = "winealsa.drv,winepulse.drv,wineoss.drv=d"
        args = [f"Z:{a}" if a.startswith("/tmp") else a for a in args]
    result = belvox.run(args, env=env)
    assert result.stderr == belvox.english(UNAVAILABLE) and result.returncode == 0


def test_ctrl_c_silences_at_once_and_leaves_no_stream_behind():
    server = PulseAudio()
    try:
        with server.capture() as captured:
            # As from a terminal, whatever the test runner inherited (a background job ignores SIGINT).
            process = subprocess.Popen([str(LINUX_BINARY), *LONG], env=clean_environment(**server.env),
                                       preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
            started = time.monotonic()
            time.sleep(0.5)
            interrupted = time.monotonic()
            process.send_signal(signal.SIGINT)
            process.wait(timeout=5)
        # The sound began after the start and stopped within 100 ms of the signal.
        assert len(trim(captured)) / RATE <= interrupted - started + 0.1
        streams = subprocess.run(["pactl", "list", "short", "sink-inputs"], env=server.environ(),
                                 capture_output=True, text=True)
        assert streams.stdout == ""
    finally:
        server.stop()


def as_nobody(tmp_path):
    """A command prefix that drops root (whom process limits spare), and a folder that user can read."""
    folder = Path(tempfile.mkdtemp())
    folder.chmod(0o755)
    shutil.copy(LINUX_BINARY, folder)
    shutil.copy(wave_file(tmp_path), folder)
    user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []
    return user, folder


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
    user, folder = as_nobody(tmp_path)
    completed = subprocess.run([*user, "prlimit", "--nproc=1", str(folder / "belvox"), *args], cwd=folder,
                               capture_output=True, timeout=30, env=clean_environment(LANG="C.UTF-8"))
    shutil.rmtree(folder)
    assert (completed.stderr.decode(), completed.returncode) == (UNAVAILABLE, 0)


def test_a_closed_pipe_loses_the_text_not_the_status():
    completed = subprocess.run(f"{LINUX_BINARY} '/?' | (exec 0<&-; sleep .2); echo ${{PIPESTATUS[0]}}",
                               shell=True, executable="/bin/bash", capture_output=True, text=True)
    assert completed.stdout == "0\n"
