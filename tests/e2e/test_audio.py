"""What the sink hears on PulseAudio and PipeWire, against what the Linux build renders for the same
arguments into ALSA's file plugin; and that every action ends in time."""

import array
import math
import shutil
import subprocess
import wave
from pathlib import Path

import pytest

from conftest import LINUX_BINARY, Program, clean_environment
from servers import RATE, PulseAudio, file_device, rendered, trim

# A run may end this long after its own timeline: the audio, and for tone
# sequences the 50 ms closing rest and the 100 ms pause.
SLACK = 0.3

# The default, the extremes with a rest, and the beeps; which letter picks which waveform, and
# every switch's default, are a unit table.
SEQUENCES = [
    ["/f", "440,1000"],
    ["/FQ", "1000,200", "0,100", "20000,100", "20,300"],
    ["/nB", "A4,8", "R,16", "C5,8"],
]


@pytest.mark.parametrize("args", SEQUENCES, ids=" ".join)
def test_sequences_play_exactly_and_end_in_time(audible, server, args):
    beeps = args[0].lower().endswith("b")
    if beeps and audible.windows:
        pytest.skip("wine's Beep is silent")
    expected = rendered(args)
    with server.capture() as captured:
        result = audible.run(args)
    assert (result.stdout, result.stderr, result.returncode) == (b"", b"", 0)
    assert trim(captured) == trim(expected)
    if not audible.windows:  # wine's own start-up is not belvox's
        assert result.seconds < len(expected) / RATE + (0 if beeps else 0.1) + SLACK


def write_wave(path, seconds, rate=RATE, channels=1):
    frames = array.array("h", (int(8000 * math.sin(2 * math.pi * 440 * i / rate))
                               for i in range(round(seconds * rate)) for _ in range(channels)))
    with wave.open(str(path), "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(frames.tobytes())
    return frames


def test_a_wave_file_plays_bit_exact(audible, server, tmp_path):
    expected = trim(write_wave(tmp_path / "tone.wav", 0.5))
    with server.capture() as captured:
        result = audible.run(["/w", "tone.wav"], cwd=tmp_path)
    assert (result.stderr, result.returncode) == (b"", 0)
    heard = trim(captured)
    if audible.windows:
        # Wine's PlaySound closes its device up to 20 ms before the end, and may pause for
        # a period when the machine is busy: what is heard is the file's, in order.
        heard, expected = (array.array("h", (s for s in samples if s)) for samples in (heard, expected))
        assert len(heard) >= len(expected) - RATE * 30 // 1000
        expected = expected[: len(heard)]
    else:
        assert result.seconds < len(expected) / RATE + SLACK
    assert heard == expected


@pytest.mark.parametrize("switch,sound", [("/s", "bell"), ("/sq", "dialog-information"), ("/sw", None)])
def test_alerts_play_the_themes_sound(audible, server, tmp_path, switch, sound):
    """No question sound in the theme: the information sound stands in, not the beep that plays where no
    theme is found at all. The bell, made 7 s long, plays whole: its server answers meanwhile."""
    if audible.windows:
        pytest.skip("wine's alerts are silent")
    theme = tmp_path / "sounds" / "freedesktop"
    if sound:  # the system's theme
        shutil.copytree("/usr/share/sounds/freedesktop", theme)
        subprocess.run(["sox", "-n", "-t", "ogg", theme / "stereo/bell.oga", "synth", "7", "sine", "440"], check=True)
    length = float(subprocess.run(["soxi", "-D", theme / f"stereo/{sound}.oga"], capture_output=True).stdout or 0.2)
    with server.capture() as captured:
        result = audible.run([switch], env={"XDG_DATA_DIRS": str(tmp_path), "XDG_CACHE_HOME": str(tmp_path)})
    assert (result.stdout, result.stderr) == (b"", b"")
    heard = trim(captured)
    assert len(heard) / RATE == pytest.approx(length, abs=0.03)
    assert result.seconds < length + SLACK


@pytest.mark.long
def test_long_sequences_of_short_steps_stream_without_a_gap(tmp_path):
    """200 s of 10 ms steps (past 16 MiB, so streamed). PulseAudio only: over this length
    PipeWire's recorder now and then loses a period that the sink played."""
    steps = [f"{440 + i % 7 * 110},10" for i in range(20_000)]
    (tmp_path / "steps.txt").write_text("\n".join(steps))
    expected = trim(rendered(["/fq", "/l", str(tmp_path / "steps.txt")]))
    server = PulseAudio()
    try:
        with server.capture() as captured:
            result = Program("linux", env=server.env).run(["/fq", "/l", str(tmp_path / "steps.txt")], timeout=400)
    finally:
        server.stop()
    heard = trim(captured)
    assert result.stderr == b""
    assert len(heard) == len(expected) and heard == expected
    assert result.seconds < 200.15 + SLACK


def test_streamed_sequences_hold_two_buffers_of_memory(tmp_path):
    """Through ALSA's file plugin, which takes audio as fast as it comes."""
    (tmp_path / "long.txt").write_text("".join(f"{440 + i},1000\n" for i in range(200)))
    completed = subprocess.run(["/usr/bin/time", "-f", "%M", str(LINUX_BINARY), "/fs", "/l", "long.txt"],
                               cwd=tmp_path, capture_output=True,
                               env=clean_environment(LANG="C.UTF-8", **file_device(tmp_path, tmp_path / "out.raw")))
    *messages, peak_kib = completed.stderr.decode().splitlines()
    assert messages == [] and (tmp_path / "out.raw").stat().st_size == 200 * 88200 + 4410
    assert int(peak_kib) < 12 * 1024, "a streamed sequence holds two buffers, not the whole"


def test_audiodev_names_the_pcm_to_play_on():
    """The sound goes to the sink of the PCM that AUDIODEV names, and to no other; a name that
    does not open is a missing device."""
    server = PulseAudio()
    try:
        subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=other", "format=s16le", f"rate={RATE}",
                        "channels=1", "norewinds=1"], env=server.environ(), check=True, stdout=subprocess.DEVNULL)
        config = Path(server.env["XDG_CONFIG_HOME"]) / "alsa" / "asoundrc"
        config.write_text(config.read_text() + 'pcm.other { type pulse device "other" }\n')
        with server.capture() as default:
            server.sink, server.capture_file = "other", "other.raw"
            with server.capture() as other:
                result = Program("linux", env={**server.env, "AUDIODEV": "other"}).run(["/f", "440,100"])
        missing = Program("linux", env={**server.env, "AUDIODEV": "nothing"}).run(["/b"])
    finally:
        server.stop()
    assert result.stderr == b"" and len(trim(other)) / RATE == pytest.approx(0.1, abs=0.001)
    assert not any(default)
    assert missing.stderr == b"Audio output device is not available.\n"
