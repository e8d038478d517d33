#include "app/messages.hpp"

#include <array>

namespace belvox {
namespace {

constexpr std::u16string_view kUsageJapanese =
    u"音を鳴らします。\n"
    u"\n"
    u"belvox /s[deiqw] | /f[sqwt] 周波数,時間... /l ファイル | /n[sqwt] 音名,拍... /l ファイル | /w WAV ファイル\n"
    u"      /s サウンド音\n"
    u"         d:一般の警告音、e:システムエラー、i:情報、q:問い合わせ、w:警告\n"
    u"      /f 周波数指定\n"
    u"         s:正弦波、q:矩形波、w:のこぎり波、t:三角波（デフォルト）\n"
    u"      /n 音名指定\n"
    u"         s:正弦波、q:矩形波、w:のこぎり波（デフォルト）、t:三角波\n"
    u"         音名: Cn Cbn C#n (n=1-7)、R=休符\n"
    u"         拍: 1 2. 2_ 2 4. 4_ 4 8. 8_ 8 16. 16_ 16\n"
    u"      /w WAV ファイル再生\n"
    u"      /l 周波数または音名のパラメータファイルを読み込む\n";

constexpr std::u16string_view kUsageEnglish =
    u"Play sound.\n"
    u"\n"
    u"belvox /s[deiqw] | /f[sqwt] frequency,time... /l file | /n[sqwt] note,beat... /l file | /w WAV file\n"
    u"      /s Sound\n"
    u"         d:default beep, e:critical stop, i:asterisk, q:question, w:exclamation\n"
    u"      /f Specify frequency\n"
    u"         s:sine wave, q:square wave, w:sawtooth wave, t:triangle wave (default)\n"
    u"      /n Specify note\n"
    u"         s:sine wave, q:square wave, w:sawtooth wave (default), t:triangle wave\n"
    u"         note: Cn Cbn C#n (n=1-7), R=rest\n"
    u"         beat: 1 2. 2_ 2 4. 4_ 4 8. 8_ 8 16. 16_ 16\n"
    u"      /w Play WAV file\n"
    u"      /l Read frequency or note parameter file\n";

// Indexed by MessageId.
constexpr std::array<MessagePair, 24> kCatalogue{{
    {u" - パラメータが正しくありません。", u" - Parameter is invalid."},
    {u"空のパラメータが指定されています。", u"Empty parameter is specified."},
    {u" - パラメータは一緒に使うことはできません。", u" - Parameter is not able to use together."},
    {u"サウンドのパラメータが指定されていません。", u"Sound parameter is not specified."},
    {u"周波数または音名のパラメータが指定されていません。", u"Frequency or note parameter is not specified."},
    {u" - 周波数または音名のパラメータが正しくありません。", u" - Frequency or note parameter is invalid."},
    {u" - 周波数の値が正しくありません。", u" - Value of frequency is invalid."},
    {u" - 周波数の値が低すぎます。", u" - Value of frequency is too low."},
    {u" - 周波数の値が高すぎます。", u" - Value of frequency is too high."},
    {u" - 時間の値が正しくありません。", u" - Value of time is invalid."},
    {u" - 時間の値が短すぎます。", u" - Value of time is too short."},
    {u" - 時間の値が長すぎます。", u" - Value of time is too long."},
    {u" - 音名の値が正しくありません。", u" - Value of note is invalid."},
    {u" - 拍の値が正しくありません。", u" - Value of beat is invalid."},
    {u"パラメータファイルが指定されていません。", u"Parameter file is not specified."},
    {u" - ファイルを開けませんでした。", u" - File was not able to open."},
    {u" - 行が長すぎます。", u" - Line is too long."},
    {u" - ファイルを読み込めませんでした。", u" - File was not able to read."},
    {u"WAV ファイルが指定されていません。", u"WAV file is not specified."},
    {u" - ファイルが見つかりませんでした。", u" - File was not found."},
    {u" - 再生できませんでした。", u" - Was not able to play."},
    {u"オーディオ出力デバイスが使用できません。", u"Audio output device is not available."},
    {u"メモリが不足しています。", u"Not enough memory."},
    {kUsageJapanese, kUsageEnglish},
}};

static_assert(kCatalogue.size() == static_cast<std::size_t>(MessageId::Usage) + 1);

}  // namespace

LanguageIndex ChooseLanguage(std::uint32_t consoleOutputCodePage, std::uint16_t uiLanguage) {
  const bool japaneseConsole = consoleOutputCodePage == 932 || consoleOutputCodePage == 65001;
  return japaneseConsole && uiLanguage == 0x0411 ? LanguageIndex::Japanese : LanguageIndex::English;
}

std::u16string_view Text(MessageId id, LanguageIndex language) {
  const MessagePair& pair = kCatalogue[static_cast<std::size_t>(id)];
  return language == LanguageIndex::Japanese ? pair.japanese : pair.english;
}

std::u16string Compose(std::u16string_view prefix, MessageId id, LanguageIndex language) {
  std::u16string message(prefix);
  for (char16_t& c : message) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = u'?';
  }
  message += Text(id, language);
  return message;
}

}  // namespace belvox
