"""Alerts, beeps and WAV files on both builds."""

import array
import math
import random
import subprocess
import wave

import pytest

from audio_sink import HEAD_START, RATE, trim
from conftest import ROOT, LINUX_BINARY, Program, clean_environment


def write_wave(path, seconds, rate=RATE, channels=1, frequency=440):
    frames = array.array("h")
    for i in range(int(seconds * rate)):
        value = int(8000 * math.sin(2 * math.pi * frequency * i / rate))
        frames.extend([value] * channels)
    with wave.open(str(path), "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(frames.tobytes())
    return frames


def runs(samples):
    """(start, length) of each stretch of non-zero samples, in samples."""
    found, start = [], None
    for i, s in enumerate(list(samples) + [0]):
        if s and start is None:
            start = i
        elif not s and start is not None:
            found.append((start, i - start))
            start = None
    return found


def test_a_cd_quality_wave_plays_bit_exact(audible, sink, tmp_path):
    expected = write_wave(tmp_path / "tone.wav", 0.5)
    with sink.capture() as captured:
        result = audible.run(["/w", "tone.wav"], cwd=tmp_path)
    assert result.stderr == b"" and result.returncode == 0
    heard, wanted = trim(captured)[0], trim(expected)[0]
    if audible.platform == "windows":
        # Wine's PlaySound closes its device up to 10 ms before the end; what it plays is exact.
        assert len(heard) >= len(wanted) - 441
        wanted = wanted[: len(heard)]
    assert heard == wanted


def test_a_stereo_48k_wave_plays_for_its_length(sink, tmp_path):
    write_wave(tmp_path / "stereo.wav", 0.7, rate=48000, channels=2, frequency=300)
    linux = Program("linux", audio_env=sink.env)
    with sink.capture() as captured:
        result = linux.run(["/W", "stereo.wav"], cwd=tmp_path)
    assert result.stderr == b"" and result.seconds >= 0.7 - HEAD_START
    heard, _ = trim(captured)
    assert abs(len(heard) / RATE - 0.7) < 0.01


def test_beeps_sound_with_their_rests(sink):
    linux = Program("linux", audio_env=sink.env)
    with sink.capture() as captured:
        result = linux.run(["/fb", "440,100", "0,100", "880,100"])
    assert result.stderr == b"" and result.seconds >= 0.3 - HEAD_START
    heard, _ = trim(captured)
    assert abs(len(heard) / RATE - 0.3) < 0.005
    # The square wave never rests at 0, so the only silence is the 100 ms rest.
    tones = runs(heard)
    assert [round(length / RATE, 2) for _, length in tones] == [0.1, 0.1]
    assert round((tones[1][0] - sum(tones[0])) / RATE, 2) == 0.1


@pytest.mark.parametrize("switch", ["/s", "/sd", "/se", "/si", "/sq", "/sw", "/b"])
def test_alerts_are_heard(sink, switch):
    linux = Program("linux", audio_env=sink.env)
    with sink.capture() as captured:
        result = linux.run([switch])
    assert result.stderr == b"" and result.stdout == b""
    assert any(captured), "silence"


@pytest.mark.parametrize("switch", [["/s"], ["/sq"], ["/b"], ["/fb", "440,100", "0,50", "880,100"]])
def test_windows_alerts_and_beeps_return(wine, switch):
    result = Program("windows").run(switch)
    assert result.stderr == b"" and result.returncode == 0


def make_bad_files(directory):
    (directory / "text.wav").write_text("hello\n")
    subprocess.run(["sox", "-n", "-r", "44100", "-t", "flac", str(directory / "flac.wav"), "synth", "0.2", "sine", "440"],
                   check=True)
    whole = directory / "whole.wav"
    write_wave(whole, 0.2)
    (directory / "truncated.wav").write_bytes(whole.read_bytes()[:30])
    return ["text.wav", "flac.wav", "truncated.wav"]


def test_files_that_are_not_waves_are_refused(audible, tmp_path):
    for name in make_bad_files(tmp_path):
        result = audible.run(["/w", name], cwd=tmp_path)
        assert result.stderr == audible.encode(f"{name} - Was not able to play.\n", "en"), name


def test_a_missing_file_is_reported_before_anything_plays(audible, sink, tmp_path):
    with sink.capture() as captured:
        result = audible.run(["/w", "nowhere.wav"], cwd=tmp_path)
    assert result.stderr == audible.encode("nowhere.wav - File was not found.\n", "en")
    assert not any(captured)


@pytest.mark.parametrize("binary", [LINUX_BINARY, ROOT / "build" / "asan" / "belvox"], ids=["linux", "asan"])
def test_damaged_waves_play_or_are_refused(tmp_path, binary):
    """Truncated and bit-flipped copies of a valid WAV never crash or hang."""
    alsa = tmp_path / "config" / "alsa"
    alsa.mkdir(parents=True)
    (alsa / "asoundrc").write_text(f'pcm.!default {{ type file; slave.pcm "null"; file "{tmp_path}/out.raw"; }}\n')
    original = (tmp_path / "original.wav")
    write_wave(original, 0.05)
    data = original.read_bytes()
    generator = random.Random(1)
    for n in range(60):
        damaged = bytearray(data[: generator.randrange(len(data))] if n % 3 == 0 else data)
        for _ in range(generator.randrange(1, 8)):
            position = generator.randrange(min(len(damaged), 64)) if damaged else 0
            if damaged:
                damaged[position] ^= 1 << generator.randrange(8)
        path = tmp_path / f"damaged{n}.wav"
        path.write_bytes(bytes(damaged))
        completed = subprocess.run([str(binary), "/w", str(path)], capture_output=True, timeout=30,
                                   env=clean_environment(LANG="C.UTF-8", XDG_CONFIG_HOME=str(tmp_path / "config")))
        assert completed.returncode == 0, n
        assert completed.stderr in (b"", f"{path} - Was not able to play.\n".encode()), completed.stderr
