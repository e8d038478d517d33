"""Arguments in, exact bytes out: the front end's messages on both builds and in both languages."""

import re
import subprocess

import pytest

from conftest import LINUX_BINARY, clean_environment

CONFLICT_EN = "/s /f /n /w /b - Parameter is not able to use together."
USAGE_EN = (
    "Play sound.\n"
    "\n"
    "belvox /s[deiqw] | /f[sqwt] frequency,time... /l file | /n[sqwt] note,beat... /l file | /w WAV file\n"
    "      /s Sound\n"
    "         d:default beep, e:critical stop, i:asterisk, q:question, w:exclamation\n"
    "      /f Specify frequency\n"
    "         s:sine wave, q:square wave, w:sawtooth wave, t:triangle wave (default)\n"
    "      /n Specify note\n"
    "         s:sine wave, q:square wave, w:sawtooth wave (default), t:triangle wave\n"
    "         note: Cn Cbn C#n (n=1-7), R=rest\n"
    "         beat: 1 2. 2_ 2 4. 4_ 4 8. 8_ 8 16. 16_ 16\n"
    "      /w Play WAV file\n"
    "      /l Read frequency or note parameter file\n"
)
USAGE_JA = (
    "音を鳴らします。\n"
    "\n"
    "belvox /s[deiqw] | /f[sqwt] 周波数,時間... /l ファイル | /n[sqwt] 音名,拍... /l ファイル | /w WAV ファイル\n"
    "      /s サウンド音\n"
    "         d:一般の警告音、e:システムエラー、i:情報、q:問い合わせ、w:警告\n"
    "      /f 周波数指定\n"
    "         s:正弦波、q:矩形波、w:のこぎり波、t:三角波（デフォルト）\n"
    "      /n 音名指定\n"
    "         s:正弦波、q:矩形波、w:のこぎり波（デフォルト）、t:三角波\n"
    "         音名: Cn Cbn C#n (n=1-7)、R=休符\n"
    "         拍: 1 2. 2_ 2 4. 4_ 4 8. 8_ 8 16. 16_ 16\n"
    "      /w WAV ファイル再生\n"
    "      /l 周波数または音名のパラメータファイルを読み込む\n"
)

# (arguments, language, standard output, standard error)
CASES = [
    (["/?"], "en", USAGE_EN, ""),
    (["/?"], "ja", USAGE_JA, ""),
    (["/VOID"], "en", "", ""),
    ([], "en", "", "Sound parameter is not specified.\n"),
    ([], "ja", "", "サウンドのパラメータが指定されていません。\n"),
    ([""], "en", "", "Empty parameter is specified.\n"),
    ([""], "ja", "", "空のパラメータが指定されています。\n"),
    (["/b", "/?"], "en", "", "/? - Parameter is invalid.\n"),
    (["/b", "/?"], "ja", "", "/? - パラメータが正しくありません。\n"),
    (["/xé"], "en", "", "/xé - Parameter is invalid.\n"),
    (["/ドレミ"], "ja", "", "/ドレミ - パラメータが正しくありません。\n"),
    (["/s", "/b"], "en", "", CONFLICT_EN + "\n"),
    (["/b", "/b"], "ja", "", "/s /f /n /w /b - パラメータは一緒に使うことはできません。\n"),
    (["/sx"], "en", "", "/sx - Parameter is invalid.\n"),
    (["/f"], "en", "", "Frequency or note parameter is not specified.\n"),
    (["/nsss"], "ja", "", "周波数または音名のパラメータが指定されていません。\n"),
    (["/fz", "440,100"], "en", "", "/fz - Parameter is invalid.\n"),
    (["/w"], "en", "", "WAV file is not specified.\n"),
    (["/w"], "ja", "", "WAV ファイルが指定されていません。\n"),
    (["/w", "missing.wav"], "en", "", "missing.wav - File was not found.\n"),
    (["/w", "missing.wav"], "ja", "", "missing.wav - ファイルが見つかりませんでした。\n"),
    (["/f", "/l"], "en", "", "Parameter file is not specified.\n"),
    (["/f", "/l"], "ja", "", "パラメータファイルが指定されていません。\n"),
    (["/f", "/l", "missing.txt"], "en", "", "missing.txt - File was not able to open.\n"),
    (["/f", "/l", "missing.txt"], "ja", "", "missing.txt - ファイルを開けませんでした。\n"),
    (["/f", "/l", ""], "en", "", " - File was not able to open.\n"),
    (["/f", "440,100", "/l", "tones.txt"], "en", "", "/l - Parameter is invalid.\n"),
]


@pytest.mark.parametrize("args,language,stdout,stderr", CASES)
def test_messages(belvox, args, language, stdout, stderr):
    result = belvox.run(args, language)
    assert result.returncode == 0
    assert result.stdout == belvox.encode(stdout, language)
    assert result.stderr == belvox.encode(stderr, language)


def test_version_banner_is_one_line_after_an_empty_one(belvox):
    result = belvox.run(["/ver"])
    assert result.returncode == 0 and result.stderr == b""
    newline = b"\n" if belvox.platform == "linux" else b"\r\n"
    lines = result.stdout.split(newline)
    assert lines[0] == b"" and lines[2] == b"" and len(lines) == 3
    banner = lines[1].decode("ascii")
    assert banner.startswith(" belvox 2.00 64bit ") and banner.endswith(" ")
    assert re.search(r" - [A-Z][a-z]{2} [ 123]\d \d{4} \d\d:\d\d:\d\d $", banner), banner


@pytest.mark.parametrize("env", [{"LANG": "ja_JP.EUC-JP"}, {"LANG": "en_US.UTF-8"},
                                 {"LANG": "ja_JP.UTF-8", "LC_CTYPE": "C"}])
def test_linux_stays_english_unless_the_codeset_can_show_japanese(env):
    completed = subprocess.run([str(LINUX_BINARY)], env={**clean_environment(), **env}, capture_output=True)
    assert completed.stderr == b"Sound parameter is not specified.\n"
