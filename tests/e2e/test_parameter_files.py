"""Parameter files read by both builds: the exact message, or none and the tones played."""

import pytest

from audio_sink import trim
from conftest import render

LINE_1023 = b"440," + b"0" * 1016 + b"100"

# (file bytes, standard error; FILE stands for the file name)
CASES = [
    (b"440,10\n880,20\n", ""),
    (b"440,10\r\n880,20\r\n", ""),
    (b"440,10\n880,20", ""),
    (b"", ""),
    (b"440,10\n\x1a\n\nanything", ""),
    (b"440,10\x00junk\n", ""),
    (LINE_1023 + b"\n", ""),
    (b"440,10\n\n880,20\n", "Empty parameter is specified.\n"),
    (b"440,10\n\n", "Empty parameter is specified.\n"),
    (b"\x00440,10\n", "Empty parameter is specified.\n"),
    (b"440,10\n" + b"1" * 1024 + b"\n", "FILE - Line is too long.\n"),
    (b" 440,10\n", " 440 - Value of frequency is invalid.\n"),
    (b"440,10 880,10\n", "440,10 880,10 - Frequency or note parameter is invalid.\n"),
    (b"\xef\xbb\xbf440,10\n", None),  # a byte-order mark is part of the first token
    (b"440,5\n", "5 - Value of time is too short.\n"),
]


@pytest.mark.parametrize("content,stderr", CASES, ids=range(len(CASES)))
def test_file_lines(audible, tmp_path, content, stderr):
    tones = tmp_path / "tones.txt"
    tones.write_bytes(content)
    result = audible.run(["/f", "/l", "tones.txt"], cwd=tmp_path)
    if stderr is None:  # the mark's bytes come back as they were read
        assert result.stderr == b"\xef\xbb\xbf" + audible.encode("440 - Value of frequency is invalid.\n", "en")
    else:
        assert result.stderr == audible.encode(stderr.replace("FILE", "tones.txt"), "en")
    assert result.stdout == b"" and result.returncode == 0


def test_notes_from_a_file_with_a_non_ascii_name_play_exactly(audible, sink, tmp_path):
    tones = tmp_path / "mélodie.txt"
    tones.write_bytes(b"C4,16\r\nR,16\r\nG4,16\r\n")
    with sink.capture() as captured:
        result = audible.run(["/NS", "/L", tones.name], cwd=tmp_path)
    assert result.stderr == b""
    assert trim(captured)[0] == trim(render(["/ns", "/l", str(tones)]))[0]


ARGUMENT_CASES = [
    (["/f", "/l", "missing.txt"], "missing.txt - File was not able to open.\n"),
    (["/f", "/l", "tönë.txt"], "tönë.txt - File was not able to open.\n"),
    (["/n", "/l", ""], " - File was not able to open.\n"),
    (["/f", "/l", "."], ". - File was not able to open.\n"),
    (["/f", "/l"], "Parameter file is not specified.\n"),
    (["/f", "/l", "tones.txt", "440,100"], "440,100 - Parameter is invalid.\n"),
    (["/f", "440,100", "/l", "tones.txt"], "/l - Parameter is invalid.\n"),
    (["/f", "/list", "tones.txt"], "/list - Parameter is invalid.\n"),
    (["/n", "/l", "tones.txt"], "440 - Value of note is invalid.\n"),
]


@pytest.mark.parametrize("args,stderr", ARGUMENT_CASES, ids=lambda a: " ".join(a) if isinstance(a, list) else "")
def test_file_arguments(belvox, tmp_path, args, stderr):
    (tmp_path / "tones.txt").write_bytes(b"440,10\n")
    result = belvox.run(args, cwd=tmp_path)
    assert result.stderr == belvox.encode(stderr, "en")
