"""Parameter files and WAV files: the exact message, or none and the play, on both builds."""

import math
import shutil
import struct
import subprocess

import pytest

from conftest import LINUX_BINARY, ROOT, clean_environment
from servers import file_device, rendered
from test_audio import write_wave


@pytest.fixture
def null_device(tmp_path):
    return file_device(tmp_path / "config")


# What each build's file reader shows beyond the texts table; how lines are split and parsed is a unit table.
ARGUMENTS = [
    (["/f", "/l", "empty.txt"], ""),
    (["/f", "/l", "tönë.txt"], "tönë.txt - File was not able to open.\n"),
    (["/f", "/l", "."], ". - File was not able to open.\n"),
    (["/n", "/L", "examples/fanfare.txt"], ""),  # the README's examples
    (["/fs", "/l", "examples/beeps.txt"], ""),
]


@pytest.mark.parametrize("args,stderr", ARGUMENTS, ids=lambda a: " ".join(a) if isinstance(a, list) else "")
def test_file_arguments(belvox, tmp_path, null_device, args, stderr):
    (tmp_path / "empty.txt").write_bytes(b"")
    shutil.copytree(ROOT / "examples", tmp_path / "examples")
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


def riff(chunks, size=None, pad=True):
    """A RIFF WAVE file of (id, body[, the size its header declares]) chunks."""
    body = b"WAVE" + b"".join(name + struct.pack("<I", declared[0] if declared else len(data)) + data
                              + b"\0" * (len(data) % 2 * pad) for name, data, *declared in chunks)
    return b"RIFF" + struct.pack("<I", len(body) if size is None else size) + body


def sine(bits, channels=1, width=None):
    """801 frames of 440 Hz at half scale, 8 kHz: unsigned 8-bit, or signed `bits` in `width` bytes."""
    values = [math.sin(2 * math.pi * 440 * i / 8000) / 2 for i in range(801) for _ in range(channels)]
    return bytes(round(v * 127) + 128 for v in values) if bits == 8 else b"".join(
        (round(v * (2 ** (bits - 1) - 1)) << 8 * (width or bits // 8) - bits).to_bytes(width or bits // 8, "little",
                                                                                       signed=True) for v in values)


def fmt(tag, channels, bits, align, extra=b""):
    return struct.pack("<HHIIHH", tag, channels, 8000, 8000 * align, align, bits) + extra


PCM, DATA = fmt(1, 1, 16, 2), sine(16)
EXTENSIBLE = struct.pack("<HHI", 22, 24, 3) + bytes.fromhex("0100000000001000800000aa00389b71")
MP3 = fmt(0x55, 1, 0, 1, struct.pack("<HHIHHH", 12, 1, 0x0414, 1, 0, 0)), b"\xff\xfb\x90\0" + bytes(4000)
# Shapes of real files: (name, bytes, plays on Linux, plays on Windows). Linux plays what libsndfile decodes
# but MPEG audio (its decoder writes to standard error); Windows leaves all to PlaySoundW but what crashes it.
CORPUS = [
    ("8-bit, extra size of garbage", riff([(b"fmt ", fmt(1, 1, 8, 1, b"\xcd\xab")), (b"data", sine(8))]), 1, 1),
    ("24 in 4 bytes", riff([(b"fmt ", fmt(1, 2, 24, 8)), (b"data", sine(24, 2, 4))]), 1, 1),
    ("extensible, 24 in 4 bytes", riff([(b"fmt ", fmt(0xFFFE, 2, 32, 8, EXTENSIBLE)), (b"data", sine(24, 2, 4))]), 1, 1),
    ("bext and odd LIST before fmt", riff([(b"bext", bytes(602)), (b"LIST", b"INFOISFT\3\0\0\0abc"), (b"fmt ", PCM),
                                       (b"data", DATA)]), 1, 1),
    ("LIST after data, no pad bytes", riff([(b"fmt ", fmt(1, 1, 8, 1)), (b"data", sine(8)),
                                            (b"LIST", b"INFOICMT\3\0\0\0abc")], pad=False), 1, 1),
    ("an odd chunk without", riff([(b"odd ", b"abc"), (b"fmt ", PCM), (b"data", DATA)], pad=False), 0, 0),
    ("RIFF size too large", riff([(b"fmt ", PCM), (b"data", DATA)], size=0xFFFFFFFF), 1, 0),
    ("data size too large", riff([(b"fmt ", PCM), (b"data", DATA, 2000)]), 1, 1),
    ("data size of a stream", riff([(b"fmt ", PCM), (b"data", DATA, 0xFFFFFFFF)]), 1, 0),
    ("block align 0", riff([(b"fmt ", fmt(1, 1, 16, 0)), (b"data", DATA)]), 1, 0),
    ("MPEG behind 64 chunks", riff([(b"JUNK", b"")] * 64 + [(b"fmt ", MP3[0]), (b"data", MP3[1])]), 0, 1),
]


@pytest.mark.parametrize("name,data,linux,windows", CORPUS, ids=[row[0] for row in CORPUS])
def test_real_world_shapes_play_as_their_decoder_plays_them(belvox, tmp_path, null_device, name, data, linux, windows):
    (tmp_path / "shape.wav").write_bytes(data)
    result = belvox.run(["/w", "shape.wav"], cwd=tmp_path, env=null_device)
    refused = "" if (windows if belvox.windows else linux) else "shape.wav - Was not able to play.\n"
    assert (result.stderr, result.returncode) == (belvox.english(refused), 0)
    if linux and not belvox.windows:  # whole, at its own level: 801 frames of each channel
        heard = rendered(["/w", "shape.wav"], cwd=tmp_path)
        assert (len(heard) % 801, max(heard)) == (0, pytest.approx(16383, rel=0.02))
