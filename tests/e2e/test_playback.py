"""Tone sequences through a real-time sink: the capture equals the simulated device's rendering."""

import array
import subprocess

import pytest

from audio_sink import HEAD_START, trim
from conftest import LINUX_BINARY, clean_environment, render

SEQUENCES = [
    ["/f", "440,1000"],
    ["/fs", "440,300", "0,100", "880,250"],
    ["/FQ", "1000,200", "20000,100", "20,300"],
    ["/fw", "19999.5,120", "523.25,333"],
    ["/n", "C4,4", "E4,4", "G4,2"],
    ["/nt", "A4,8", "R,16", "A5,8."],
    ["/ns", "Db4,16_", "B7,16"],
]


@pytest.mark.parametrize("args", SEQUENCES, ids=" ".join)
def test_capture_equals_rendering(audible, sink, args):
    expected, lead = trim(render(args))
    with sink.capture() as captured:
        result = audible.run(args)
    assert result.stderr == b"" and result.returncode == 0
    heard, _ = trim(captured)
    # The rendering's leading zeros (a sine starts at 0) are inside the capture's silence.
    assert len(heard) == len(expected), f"{len(heard)} samples heard, {len(expected)} rendered"
    assert heard == expected


def test_returns_only_after_the_sequence_has_played(audible, sink):
    # 1,000 ms of tone, the 50 ms rest and the 100 ms pause; the upper bound only catches a hang.
    result = audible.run(["/f", "440,1000"])
    assert 1.15 - HEAD_START <= result.seconds < 10


@pytest.mark.parametrize("args", [["/f", "440,100"], ["/n", "A4,4"]])
def test_no_device_gives_a_message_promptly(belvox, tmp_path, args):
    runtime = tmp_path / "run"
    runtime.mkdir(mode=0o700)
    # ALSA's default device is the PulseAudio plugin, and no server is listening.
    env = {"XDG_RUNTIME_DIR": str(runtime), "PULSE_SERVER": f"unix:{tmp_path}/none.sock"}
    alsa = tmp_path / "config" / "alsa"
    alsa.mkdir(parents=True)
    (alsa / "asoundrc").write_text("pcm.!default { type pulse }\nctl.!default { type pulse }\n")
    env["XDG_CONFIG_HOME"] = str(tmp_path / "config")
    result = belvox.run(args, env=env)
    assert result.stderr == belvox.encode("Audio output device is not available.\n", "en")
    assert result.seconds < 5  # a hang guard; benchmarks measure the real figure


def run_into_file_plugin(tmp_path, args):
    """Runs the Linux belvox with ALSA's default device writing raw PCM to a file
    as fast as it comes; returns the bytes and the peak resident memory in KiB."""
    alsa = tmp_path / "config" / "alsa"
    alsa.mkdir(parents=True)
    out = tmp_path / "out.raw"
    (alsa / "asoundrc").write_text(
        f'pcm.!default {{ type file; slave.pcm "null"; file "{out}"; format "raw" }}\n')
    # GNU time reports the peak of the program itself, not of the forked test runner.
    completed = subprocess.run(["/usr/bin/time", "-f", "%M", str(LINUX_BINARY), *args], capture_output=True,
                               env=clean_environment(LANG="C.UTF-8", XDG_CONFIG_HOME=str(tmp_path / "config")))
    assert completed.returncode == 0
    *messages, peak = completed.stderr.decode().splitlines()
    assert messages == []
    return out.read_bytes(), int(peak)


def test_long_sequences_stream_with_bounded_memory(tmp_path):
    # 200 one-second steps: past the 16 MiB whole-buffer limit, so streamed.
    tones = tmp_path / "long.txt"
    tones.write_text("".join(f"{440 + i},1000\n" for i in range(200)))
    args = ["/fs", "/l", str(tones)]
    played, peak_kib = run_into_file_plugin(tmp_path, args)
    expected = array.array("h", render(args)).tobytes()
    assert len(played) == len(expected) == 200 * 88200 + 50 * 882 // 10
    assert played == expected
    assert peak_kib < 12 * 1024, "a streamed sequence holds two steps, not the whole"
