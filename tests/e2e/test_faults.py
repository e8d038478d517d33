"""Faults from outside: Ctrl+C, a vanishing audio server, huge and shrinking files (Linux)."""

import os
import signal
import subprocess
import threading
import time
from pathlib import Path

from audio_sink import HEAD_START, RATE, AudioSink, trim
from conftest import LINUX_BINARY, clean_environment

LONG = ["/fs", "440,1000", "440,1000", "440,1000"]


def test_ctrl_c_silences_at_once_and_leaves_nothing_behind(sink):
    with sink.capture() as captured:
        process = subprocess.Popen([str(LINUX_BINARY), *LONG], env=clean_environment(**sink.env))
        started = time.monotonic()
        time.sleep(0.5)
        interrupted = time.monotonic()
        process.send_signal(signal.SIGINT)
        process.wait(timeout=5)
    heard, _ = trim(captured)
    # The sound began after the start and stopped within 100 ms of the signal.
    assert len(heard) / RATE <= interrupted - started + HEAD_START + 0.1
    streams = subprocess.run(["pactl", "list", "short", "sink-inputs"], env={**os.environ, **sink.env},
                             capture_output=True, text=True)
    assert streams.stdout == ""


def test_losing_the_audio_server_ends_the_run_with_its_message():
    for args in (LONG, ["/fb", "440,1000", "440,1000", "440,1000"]):
        server = AudioSink()
        try:
            process = subprocess.Popen([str(LINUX_BINARY), *args], stderr=subprocess.PIPE,
                                       env=clean_environment(LANG="C.UTF-8", **server.env))
            time.sleep(0.6)
        finally:
            server.daemon.kill()
            server.stop()
        assert process.communicate(timeout=10)[1] == b"Audio output device is not available.\n"
        assert process.returncode == 0


def test_a_million_lines_stream_with_flat_memory(tmp_path):
    tones = tmp_path / "million.txt"
    tones.write_text("440,10\n" * 1_000_000)
    fifo = tmp_path / "out.fifo"
    os.mkfifo(fifo)
    alsa = tmp_path / "config" / "alsa"
    alsa.mkdir(parents=True)
    (alsa / "asoundrc").write_text(f'pcm.!default {{ type file; slave.pcm "null"; file "{fifo}"; format "raw" }}\n')
    received = []

    def count():
        total = 0
        with open(fifo, "rb") as pipe:
            while chunk := pipe.read(1 << 20):
                total += len(chunk)
        received.append(total)

    reader = threading.Thread(target=count)
    reader.start()
    completed = subprocess.run(["/usr/bin/time", "-f", "%M", str(LINUX_BINARY), "/f", "/l", str(tones)],
                               capture_output=True, timeout=600,
                               env=clean_environment(LANG="C.UTF-8", XDG_CONFIG_HOME=str(tmp_path / "config")))
    reader.join()
    assert completed.stderr.splitlines()[:-1] == []
    assert received == [1_000_000 * 882 + 4410]
    # The list of steps is 16 MB; the sample buffers are two steps, whatever the length.
    assert int(completed.stderr.split()[-1]) < 40 * 1024


def reading_position(pid, path):
    """How far process `pid` has read into `path`, or None while it has no such file open."""
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            if os.readlink(f"/proc/{pid}/fd/{fd}") == str(path):
                return int(Path(f"/proc/{pid}/fdinfo/{fd}").read_text().split()[1])
    except FileNotFoundError:  # a descriptor closed, or the process ended, while we looked
        pass
    return None


def test_a_file_cut_short_while_it_is_read_is_reported(tmp_path):
    tones = tmp_path / "tones.txt"
    tones.write_text("440,10\n" * 5_000_000)
    process = subprocess.Popen([str(LINUX_BINARY), "/f", "/l", str(tones)], stderr=subprocess.PIPE,
                               env=clean_environment(LANG="C.UTF-8", PULSE_SERVER="unix:/nonexistent"))
    # Cut the file once the reader is inside it.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        position = reading_position(process.pid, tones)
        if position:
            os.truncate(tones, 1000)
            break
    assert process.communicate(timeout=30)[1] == f"{tones} - File was not able to read.\n".encode()
