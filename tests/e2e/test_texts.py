"""Every text belvox shows, in English and Japanese, byte for byte on the stream it belongs to: the
Linux build in UTF-8, EUC-JP and Shift_JIS locales; the Windows build redirected under the
code pages 1252, 932 and 65001, and on a console, where WriteConsoleW writes it."""

import re

import pytest

from conftest import LINUX_BINARY, ROOT, VERSION, WINDOWS_BINARY, WINE, clean_environment, execute

# The usage texts as users read them: the README's usage block, and the end of the Japanese README
# of the Windows download.
USAGE_EN = re.search(r"## Using belvox\n\n```\n(.*?)```", (ROOT / "README.md").read_text(), re.S)[1]
USAGE_JA = (ROOT / "docs" / "windows" / "README.ja.txt.in").read_text().split("belvox /? の表示:\n\n")[1]

# (arguments, English, Japanese[, True when no audio device is there]): each message of the catalogue
# once, then one that echoes what not every code page holds. MEM is a file that opens but cannot be read.
MESSAGES = [
    (["/x"], "/x - Parameter is invalid.", "/x - パラメータが正しくありません。"),
    ([""], "Empty parameter is specified.", "空のパラメータが指定されています。"),
    (["/s", "/b"], "/s /f /n /w /b - Parameter is not able to use together.",
     "/s /f /n /w /b - パラメータは一緒に使うことはできません。"),
    ([], "Sound parameter is not specified.", "サウンドのパラメータが指定されていません。"),
    (["/f"], "Frequency or note parameter is not specified.", "周波数または音名のパラメータが指定されていません。"),
    (["/f", "440"], "440 - Frequency or note parameter is invalid.", "440 - 周波数または音名のパラメータが正しくありません。"),
    (["/f", "-440,100"], "-440 - Value of frequency is invalid.", "-440 - 周波数の値が正しくありません。"),
    (["/f", "19.99,100"], "19.99 - Value of frequency is too low.", "19.99 - 周波数の値が低すぎます。"),
    (["/f", "20000.5,100"], "20000.5 - Value of frequency is too high.", "20000.5 - 周波数の値が高すぎます。"),
    (["/f", "440,+100"], "+100 - Value of time is invalid.", "+100 - 時間の値が正しくありません。"),
    (["/f", "440,9"], "9 - Value of time is too short.", "9 - 時間の値が短すぎます。"),
    (["/f", "440,1001"], "1001 - Value of time is too long.", "1001 - 時間の値が長すぎます。"),
    (["/n", "H4,4"], "H4 - Value of note is invalid.", "H4 - 音名の値が正しくありません。"),
    (["/n", "A4,3"], "3 - Value of beat is invalid.", "3 - 拍の値が正しくありません。"),
    (["/f", "/l"], "Parameter file is not specified.", "パラメータファイルが指定されていません。"),
    (["/f", "/l", "no.txt"], "no.txt - File was not able to open.", "no.txt - ファイルを開けませんでした。"),
    (["/f", "/l", "long.txt"], "long.txt - Line is too long.", "long.txt - 行が長すぎます。"),
    (["/f", "/l", "MEM"], "MEM - File was not able to read.", "MEM - ファイルを読み込めませんでした。"),
    (["/w"], "WAV file is not specified.", "WAV ファイルが指定されていません。"),
    (["/w", "no.wav"], "no.wav - File was not found.", "no.wav - ファイルが見つかりませんでした。"),
    (["/w", "text.wav"], "text.wav - Was not able to play.", "text.wav - 再生できませんでした。"),
    (["/f", "440,10"], "Audio output device is not available.", "オーディオ出力デバイスが使用できません。", True),
    (["/f", "/l", "endless.txt"], "Not enough memory.", "メモリが不足しています。"),
    (["/ドレミ€"], "/ドレミ€ - Parameter is invalid.", "/ドレミ€ - パラメータが正しくありません。"),
]

# name: (build, language, environment, encoding, how it is written). Japanese needs both a Japanese
# user and a console (codeset) that can show it.
MODES = {
    "linux UTF-8 en": ("linux", "en", {"LANG": "C.UTF-8"}, "utf-8", "redirected"),
    "linux UTF-8 ja": ("linux", "ja", {"LANG": "ja_JP.UTF-8"}, "utf-8", "redirected"),
    "linux EUC-JP": ("linux", "ja", {"LC_ALL": "ja_JP.EUC-JP"}, "euc_jp", "redirected"),
    "linux Shift_JIS": ("linux", "ja", {"LANG": "C.UTF-8", "LC_CTYPE": "ja_JP.SHIFT_JIS", "LC_MESSAGES": "ja_JP"},
                        "shift_jis", "redirected"),
    "linux ASCII ja user": ("linux", "en", {"LANG": "ja_JP.UTF-8", "LC_CTYPE": "C"}, "ascii", "redirected"),
    "windows 1252": ("windows", "en", {"LANG": "en_US.UTF-8"}, "cp1252", "redirected"),
    "windows 932": ("windows", "ja", {"LANG": "ja_JP.UTF-8"}, "cp932", "redirected"),
    "windows 65001": ("windows", "ja", {"LANG": "ja_JP.UTF-8"}, "utf-8", "chcp 65001"),
    "windows 437 ja user": ("windows", "en", {"LANG": "ja_JP.UTF-8"}, "cp932", "chcp 437"),
    "windows console": ("windows", "ja", {"LANG": "ja_JP.UTF-8"}, "utf-8", "console"),
}


# The whole catalogue once for each build and language; the other modes show what they change
# with the one echo of characters that not every code page holds, the usage text and the banner.
WHOLE_CATALOGUE = {"linux UTF-8 en", "linux UTF-8 ja", "windows 1252", "windows 932"}


def make_files(folder, endless):
    """ALSA's default device takes audio and keeps none (sound), or asks a server that is not there (none)."""
    for device, config in ("sound", 'type file; slave.pcm "null"; file "/dev/null"'), ("none", "type pulse"):
        (folder / device / "alsa").mkdir(parents=True)
        (folder / device / "alsa" / "asoundrc").write_text(f"pcm.!default {{ {config} }}\n")
    (folder / "long.txt").write_bytes(b"1" * 1024 + b"\n")
    (folder / "text.wav").write_text("hello\n")
    if endless:  # one step more than a list may hold
        (folder / "endless.txt").write_bytes(b"440,10\n" * ((1 << 23) + 1))
    windows_path = "Z:" + str(WINDOWS_BINARY).replace("/", "\\")
    for page in (65001, 437):
        (folder / f"chcp{page}.bat").write_text(f"@chcp {page} >nul\r\n@{windows_path} %*\r\n")


def memory(mode):
    return "/proc/self/mem" if MODES[mode][0] == "linux" else r"Z:\proc\self\mem"


def run(mode, args, folder, console_stream, no_device=False):
    """Standard output, error and status of one run; the console's text stands in for the stream named."""
    build, _, env, encoding, how = MODES[mode]
    args = [memory(mode) if a == "MEM" else a for a in args]
    if build == "linux":
        command = [str(LINUX_BINARY).encode(), *(a.encode(encoding, errors="replace") for a in args)]
    elif how.startswith("chcp"):
        command = [WINE, "cmd", "/c", how.replace(" ", "") + ".bat", *args]
    else:
        command = [WINE, str(WINDOWS_BINARY), *args]
    environment = clean_environment(XDG_CONFIG_HOME=str(folder / ("none" if no_device else "sound")),
                                    PULSE_SERVER="unix:/nonexistent", **env)
    if no_device:  # wine has no audio driver at all
        environment["WINEDLLOVERRIDES"] = "winealsa.drv,winepulse.drv=d"
    result = execute(command, environment, build == "windows", folder, console=console_stream if how == "console" else None)
    stdout, stderr = result.stdout, result.stderr
    if how == "console":
        stdout, stderr = (on_screen(stdout), stderr) if console_stream == "stdout" else (stdout, on_screen(stderr))
    return stdout, stderr, result.returncode


def on_screen(shown):
    """The text a terminal shows for what wine's console wrote: it moves the cursor rather than
    write some spaces, hides the cursor while it writes, and ends lines in CR CR LF."""
    text = re.sub(rb"\x1b\[(\d*)C", lambda move: b" " * int(move[1] or 1), shown)
    return re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]", b"", text).replace(b"\r", b"")


def expected(mode, text):
    build, _, _, encoding, how = MODES[mode]
    text = text.replace("MEM", memory(mode))
    if build == "windows" and how != "console":
        text = text.replace("\n", "\r\n")
    return text.encode(encoding, errors="replace")


@pytest.mark.parametrize("mode", MODES)
def test_every_text(mode, tmp_path, request):
    """Catalogue messages on standard error, then the usage text and the banner on standard output."""
    build, language, *_ = MODES[mode]
    if build == "windows":
        request.getfixturevalue("wine")
    whole = mode in WHOLE_CATALOGUE
    make_files(tmp_path, endless=whole)
    wrong = []
    for args, english, japanese, *no_device in MESSAGES if whole else MESSAGES[-1:]:
        message = expected(mode, (english if language == "en" else japanese) + "\n")
        outcome = run(mode, args, tmp_path, "stderr", *no_device)
        if outcome != (b"", message, 0):
            wrong.append((args, outcome, message))
    assert wrong == []
    assert run(mode, ["/?"], tmp_path, "stdout") == (expected(mode, USAGE_EN if language == "en" else USAGE_JA), b"", 0)
    if whole and language == "en":  # a Linux user's first words; on Windows, and beside others, invalid
        linux = build == "linux"
        for alone, same in (["--help"], ["/?"]), (["-h"], ["/?"]), (["--version"], ["/ver"]), (["--help", "/b"], []):
            invalid = (b"", expected(mode, f"{alone[0]} - Parameter is invalid.\n"), 0)
            assert run(mode, alone, tmp_path, "stdout") == (run(mode, same, tmp_path, "stdout") if linux and same
                                                            else invalid), alone
    # The banner is bytes, written as they are: " belvox 2.00 64bit <owner> - Mmm dd yyyy hh:mm:ss ".
    stdout, stderr, _ = run(mode, ["/ver"], tmp_path, "stdout")
    newline = b"\n" if build == "linux" or MODES[mode][4] == "console" else b"\r\n"
    assert stderr == b""
    assert re.fullmatch(newline + rb" belvox " + VERSION.encode() + rb" 64bit \(C\) The belvox developers - "
                        rb"[A-Z][a-z]{2} [ 123]\d \d{4} \d\d:\d\d:\d\d " + newline, stdout), stdout
