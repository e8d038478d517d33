"""Parameter files and WAV files: the exact message, or none and the play, on both builds."""

import random
import struct
import subprocess

import pytest

from conftest import LINUX_BINARY, clean_environment
from test_audio import write_wave


@pytest.fixture
def null_device(tmp_path):
    """ALSA's default device takes audio as fast as it comes and keeps none of it."""
    (tmp_path / "config" / "alsa").mkdir(parents=True)
    (tmp_path / "config" / "alsa" / "asoundrc").write_text(
        'pcm.!default { type file; slave.pcm "null"; file "/dev/null"; format "raw" }\n')
    return {"XDG_CONFIG_HOME": str(tmp_path / "config")}


LINE_1023 = b"440," + b"0" * 1016 + b"100"

# (file bytes, standard error; FILE stands for the file's name)
PARAMETER_FILES = [
    (b"440,10\n880,20\n", ""),
    (b"440,10\r\n880,20\r\n", ""),
    (b"440,10\n880,20", ""),
    (b"", ""),
    (b"440,10\n\x1a\n\nanything", ""),
    (b"440,10\x00junk\n", ""),
    (LINE_1023 + b"\n", ""),
    (b"\xef\xbb\xbf440,10\n", ""),
    (b"440,10\n\n880,20\n", "Empty parameter is specified.\n"),
    (b"\x00440,10\n", "Empty parameter is specified.\n"),
    (b"440,10\n" + b"1" * 1024 + b"\n", "FILE - Line is too long.\n"),
    (b" 440,10\n", " 440 - Value of frequency is invalid.\n"),
    (b"440,10 880,10\n", "440,10 880,10 - Frequency or note parameter is invalid.\n"),
    (b"440,100\r880,100\r", "440,100?880,100? - Frequency or note parameter is invalid.\n"),
    (b"\x1b]0;PWNED\x07\x1b[2J\x1b[31mRED,10\n", "?]0;PWNED??[2J?[31mRED - Value of frequency is invalid.\n"),
    (b"440,5\n", "5 - Value of time is too short.\n"),
]


@pytest.mark.parametrize("content,stderr", PARAMETER_FILES, ids=range(len(PARAMETER_FILES)))
def test_parameter_file_lines(belvox, tmp_path, null_device, content, stderr):
    (tmp_path / "tones.txt").write_bytes(content)
    result = belvox.run(["/f", "/l", "tones.txt"], cwd=tmp_path, env=null_device)
    assert result.stderr == belvox.english(stderr.replace("FILE", "tones.txt"))
    assert (result.stdout, result.returncode) == (b"", 0)


ARGUMENTS = [
    (["/f", "/l", "missing.txt"], "missing.txt - File was not able to open.\n"),
    (["/f", "/l", "tönë.txt"], "tönë.txt - File was not able to open.\n"),
    (["/n", "/l", ""], " - File was not able to open.\n"),
    (["/f", "/l", "."], ". - File was not able to open.\n"),
    (["/f", "/l"], "Parameter file is not specified.\n"),
    (["/f", "/l", "tones.txt", "440,100"], "440,100 - Parameter is invalid.\n"),
    (["/f", "440,100", "/l", "tones.txt"], "/l - Parameter is invalid.\n"),
    (["/f", "/list", "tones.txt"], "/list - Parameter is invalid.\n"),
    (["/n", "/l", "tones.txt"], "440 - Value of note is invalid.\n"),
    (["/NS", "/L", "notes.txt"], ""),
    (["/w", "missing.wav"], "missing.wav - File was not found.\n"),
    (["/w", "text.wav"], "text.wav - Was not able to play.\n"),
    (["/w", "flac.wav"], "flac.wav - Was not able to play.\n"),
    (["/w", "truncated.wav"], "truncated.wav - Was not able to play.\n"),
    (["/w", "mpeg.wav"], "mpeg.wav - Was not able to play.\n"),  # and nothing from the MPEG decoder
]
# Headers that crash or hang wine's PlaySoundW: refused before the platform sees them.
HOSTILE = {"no-align.wav": dict(align=0), "no-channels.wav": dict(channels=0), "all-channels.wav": dict(channels=65535),
           "huge-fmt.wav": dict(fmt_size=0x7FFFFFF0), "beyond.wav": dict(data_size=0xFFFFFFFE)}
ARGUMENTS += [(["/w", name], f"{name} - Was not able to play.\n") for name in HOSTILE]


def riff(chunks):
    body = b"WAVE" + b"".join(name + struct.pack("<I", len(data) if size is None else size) + data + b"\0" * (len(data) % 2)
                              for name, data, size in chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def hostile(align=2, channels=1, fmt_size=None, data_size=None):
    fmt = struct.pack("<HHIIHH", 1, channels, 44100, 88200, align, 16)
    return riff([(b"fmt ", fmt, fmt_size), (b"data", bytes(882), data_size)])


def make_files(folder):
    (folder / "tones.txt").write_bytes(b"440,10\n")
    (folder / "notes.txt").write_bytes(b"C4,16\r\nR,16\r\nG4,16\r\n")
    (folder / "text.wav").write_text("hello\n")
    subprocess.run(["sox", "-n", "-r", "44100", "-t", "flac", str(folder / "flac.wav"), "synth", "0.2", "sine", "440"],
                   check=True)
    write_wave(folder / "whole.wav", 0.2)
    (folder / "truncated.wav").write_bytes((folder / "whole.wav").read_bytes()[:30])
    # MPEG layer 3 behind 64 empty chunks and one of odd size, with a frame header and no valid frame.
    junk = b"\xff\xfb\x90\x00" + random.Random(3).randbytes(4000)
    fmt = struct.pack("<HHIIHHHHIHH", 0x55, 1, 44100, 16000, 1, 0, 12, 1, 0x0414, 1, 0)
    (folder / "mpeg.wav").write_bytes(riff([(b"JUNK", b"", None)] * 64 + [(b"odd ", b"abc", None), (b"fmt ", fmt, None),
                                           (b"data", junk, None)]))
    for name, fields in HOSTILE.items():
        (folder / name).write_bytes(hostile(**fields))


@pytest.mark.parametrize("args,stderr", ARGUMENTS, ids=lambda a: " ".join(a) if isinstance(a, list) else "")
def test_file_arguments(belvox, tmp_path, null_device, args, stderr):
    if belvox.windows and args[-1] == "mpeg.wav":
        pytest.skip("Windows decodes MPEG audio in WAV files")
    make_files(tmp_path)
    result = belvox.run(args, cwd=tmp_path, env=null_device)
    assert (result.stderr, result.returncode) == (belvox.english(stderr), 0)


@pytest.mark.parametrize("name,locale", [(b"m\xc3\xa9lodie", "C"), (b"\xff", "C.UTF-8"), (b"\xa4\xb3", "POSIX")])
def test_linux_opens_names_by_their_bytes_in_any_locale(tmp_path, null_device, name, locale):
    (tmp_path / (name + b".txt").decode("utf-8", "surrogateescape")).write_bytes(b"440,10\n")
    write_wave(tmp_path / (name + b".wav").decode("utf-8", "surrogateescape"), 0.05)
    for args in ([b"/f", b"/l", name + b".txt"], [b"/w", name + b".wav"]):
        completed = subprocess.run([bytes(LINUX_BINARY), *args], cwd=tmp_path, capture_output=True,
                                   env=clean_environment(LANG=locale, **null_device))
        assert (completed.stderr, completed.returncode) == (b"", 0)


def test_a_name_in_a_message_is_text_in_the_locale():
    """Bytes that the C locale cannot decode, and a control character, each show as '?'."""
    completed = subprocess.run([bytes(LINUX_BINARY), b"/w", b"caf\xc3\xa9\x07.wav"], capture_output=True,
                               env=clean_environment(LANG="C"))
    assert completed.stderr == b"caf???.wav - File was not found.\n"


@pytest.mark.parametrize("code,size", [("f", 4), ("d", 8)], ids=["float", "double"])
def test_linux_plays_floating_point_waves_at_their_own_level(tmp_path, code, size):
    """Full scale 1.0 is 32767 and louder samples are clipped, whatever the file's peak."""
    values = [0.25, -0.25, 0.5, 1.0, -1.0, 1.5, -1.5, 0.0, float("nan"), 1e-6]
    fmt = struct.pack("<HHIIHH", 3, 1, 44100, 44100 * size, size, size * 8)
    data = struct.pack(f"<{len(values)}{code}", *values)
    body = b"WAVEfmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    (tmp_path / "float.wav").write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)
    (tmp_path / "alsa").mkdir()
    (tmp_path / "alsa" / "asoundrc").write_text(
        f'pcm.!default {{ type file; slave.pcm "null"; file "{tmp_path}/out.raw"; format "raw" }}\n')
    completed = subprocess.run([str(LINUX_BINARY), "/w", "float.wav"], cwd=tmp_path, capture_output=True,
                               env=clean_environment(LANG="C.UTF-8", XDG_CONFIG_HOME=str(tmp_path)))
    assert completed.stderr == b""
    played = struct.unpack(f"<{len(values)}h", (tmp_path / "out.raw").read_bytes())
    assert played == (8192, -8192, 16384, 32767, -32767, 32767, -32768, 0, 0, 0)
