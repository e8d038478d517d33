"""Parameter files and WAV files: the exact message, or none and the play, on both builds."""

import random
import struct
import subprocess

import pytest

from conftest import LINUX_BINARY, clean_environment
from servers import file_device
from test_audio import write_wave


@pytest.fixture
def null_device(tmp_path):
    return file_device(tmp_path / "config")


# What each build's file reader and WAV check show beyond the texts table; how lines are split and
# parsed, and which headers are refused, are unit tables.
ARGUMENTS = [
    (["/f", "/l", "ok.txt"], ""),
    (["/f", "/l", "empty.txt"], ""),
    (["/f", "/l", "tönë.txt"], "tönë.txt - File was not able to open.\n"),
    (["/f", "/l", "."], ". - File was not able to open.\n"),
    (["/w", "flac.wav"], "flac.wav - Was not able to play.\n"),
    (["/w", "mpeg.wav"], "mpeg.wav - Was not able to play.\n"),  # and nothing from the MPEG decoder
    # A block align of 0 hangs wine's PlaySoundW: each build checks a header before its platform sees it.
    (["/w", "no-align.wav"], "no-align.wav - Was not able to play.\n"),
]


def riff(chunks):
    body = b"WAVE" + b"".join(name + struct.pack("<I", len(data)) + data + b"\0" * (len(data) % 2) for name, data in chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def make_files(folder):
    (folder / "ok.txt").write_bytes(b"440,10\n880,20\n")
    (folder / "empty.txt").write_bytes(b"")
    subprocess.run(["sox", "-n", "-r", "44100", "-t", "flac", str(folder / "flac.wav"), "synth", "0.2", "sine", "440"],
                   check=True)
    # MPEG layer 3 behind 64 empty chunks and one of odd size, with a frame header and no valid frame.
    junk = b"\xff\xfb\x90\x00" + random.Random(3).randbytes(4000)
    fmt = struct.pack("<HHIIHHHHIHH", 0x55, 1, 44100, 16000, 1, 0, 12, 1, 0x0414, 1, 0)
    (folder / "mpeg.wav").write_bytes(riff([(b"JUNK", b"")] * 64 + [(b"odd ", b"abc"), (b"fmt ", fmt), (b"data", junk)]))
    (folder / "no-align.wav").write_bytes(riff([(b"fmt ", struct.pack("<HHIIHH", 1, 1, 44100, 88200, 0, 16)),
                                                (b"data", bytes(882))]))


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
