#include "app/run.hpp"

#include <gtest/gtest.h>

#include "fakes.hpp"

namespace belvox {
namespace {

using fakes::RecordingConsole;
using fakes::RecordingSound;

struct Outcome {
  std::vector<fakes::WrittenText> texts;
  std::vector<std::string> sounds;
};

Outcome RunWith(std::vector<std::u16string> arguments, LanguageIndex language = LanguageIndex::English) {
  RecordingConsole console;
  RecordingSound sound;
  EXPECT_EQ(belvox::Run(fakes::Arguments(arguments), language, console, sound), 0);
  return {console.texts, sound.calls};
}

// The one message a run writes to standard error, or "" when it writes none.
std::u16string ErrorOf(std::vector<std::u16string> arguments, LanguageIndex language = LanguageIndex::English) {
  const Outcome outcome = RunWith(std::move(arguments), language);
  if (outcome.texts.empty()) return u"";
  EXPECT_EQ(outcome.texts.size(), 1u);
  EXPECT_TRUE(outcome.texts[0].toStandardError);
  EXPECT_TRUE(outcome.texts[0].appendNewline);
  EXPECT_TRUE(outcome.sounds.empty() || outcome.sounds.back() == "wav");  // nothing plays after an error
  return outcome.texts[0].text;
}

TEST(ChooseLanguage, JapaneseOnlyOnAJapaneseUiWithAJapaneseConsole) {
  EXPECT_EQ(ChooseLanguage(932, 0x0411), LanguageIndex::Japanese);
  EXPECT_EQ(ChooseLanguage(65001, 0x0411), LanguageIndex::Japanese);
  EXPECT_EQ(ChooseLanguage(437, 0x0411), LanguageIndex::English);
  EXPECT_EQ(ChooseLanguage(20127, 0x0411), LanguageIndex::English);
  EXPECT_EQ(ChooseLanguage(932, 0x0409), LanguageIndex::English);
}

TEST(Run, WalkErrorsGiveTheirMessages) {
  const std::u16string conflict = u"/s /f /n /w /b - Parameter is not able to use together.";
  const std::vector<std::pair<std::vector<std::u16string>, std::u16string>> cases = {
      {{}, u"Sound parameter is not specified."},
      {{u""}, u"Empty parameter is specified."},
      {{u"/s", u""}, u"Empty parameter is specified."},
      {{u"/b", u"/?"}, u"/? - Parameter is invalid."},
      {{u"/ver", u"/b"}, u"/ver - Parameter is invalid."},
      {{u"/x"}, u"/x - Parameter is invalid."},
      {{u"play"}, u"play - Parameter is invalid."},
      {{u"/bb"}, u"/bb - Parameter is invalid."},
      {{u"/s", u"loud"}, u"loud - Parameter is invalid."},
      {{u"/sx"}, u"/sx - Parameter is invalid."},
      {{u"/sdd"}, u"/sdd - Parameter is invalid."},
      {{u"/b", u"/b"}, conflict},
      {{u"/s", u"/b"}, conflict},
      {{u"/w", u"a.wav", u"/s"}, conflict},
      {{u"/f", u"440,100", u"/n", u"A4,4"}, conflict},
      {{u"/f"}, u"Frequency or note parameter is not specified."},
      {{u"/fsss"}, u"Frequency or note parameter is not specified."},
      {{u"/fsss", u"440,100"}, u"/fsss - Parameter is invalid."},
      {{u"/fx", u"440,100"}, u"/fx - Parameter is invalid."},
      {{u"/nl", u"A4,4"}, u"/nl - Parameter is invalid."},
      {{u"/f", u"/b"}, conflict},
      {{u"/f", u"/x"}, u"/x - Parameter is invalid."},
      {{u"/f", u"440,100", u"/l", u"tones.txt"}, u"/l - Parameter is invalid."},
      {{u"/f", u"/l"}, u"Parameter file is not specified."},
      {{u"/f", u"/l", u""}, u" - File was not able to open."},
      {{u"/f", u"440,5"}, u"5 - Value of time is too short."},
      {{u"/f", u"440,100", u"", u"880,100"}, u"Empty parameter is specified."},
      {{u"/w"}, u"WAV file is not specified."},
      {{u"/w", u"missing.wav"}, u"missing.wav - File was not found."},
      {{u"/w", u"missing.wav", u"/b"}, u"missing.wav - File was not found."},
      {{u"/w", u"text.wav"}, u"text.wav - Was not able to play."},
      {{u"/w", u"a.wav", u"b.wav"}, u"b.wav - Parameter is invalid."},
      {{u"/?", u"/?"}, u"/? - Parameter is invalid."},
  };
  for (const auto& [arguments, message] : cases) {
    std::string line;
    for (const auto& argument : arguments) line += std::string(argument.begin(), argument.end()) + " ";
    EXPECT_EQ(ErrorOf(arguments), message) << line;
  }
}

TEST(Run, WritesJapaneseWhenChosen) {
  const auto japanese = LanguageIndex::Japanese;
  EXPECT_EQ(ErrorOf({}, japanese), u"サウンドのパラメータが指定されていません。");
  EXPECT_EQ(ErrorOf({u"/b", u"/s"}, japanese), u"/s /f /n /w /b - パラメータは一緒に使うことはできません。");
  EXPECT_EQ(ErrorOf({u"/n", u"A4,3"}, japanese), u"3 - 拍の値が正しくありません。");
  const Outcome usage = RunWith({u"/?"}, japanese);
  ASSERT_EQ(usage.texts.size(), 1u);
  EXPECT_TRUE(usage.texts[0].text.starts_with(u"音を鳴らします。\n\nbelvox /s[deiqw]"));
  EXPECT_TRUE(usage.texts[0].text.ends_with(u"/l 周波数または音名のパラメータファイルを読み込む\n"));
}

TEST(Run, StandAloneSwitches) {
  const Outcome usage = RunWith({u"/?"});
  ASSERT_EQ(usage.texts.size(), 1u);
  EXPECT_FALSE(usage.texts[0].toStandardError);
  EXPECT_FALSE(usage.texts[0].appendNewline);
  EXPECT_EQ(usage.texts[0].text.substr(0, 13), u"Play sound.\n\n");

  EXPECT_TRUE(RunWith({u"/VOID"}).texts.empty());

  RecordingConsole console;
  RecordingSound sound;
  belvox::Run(fakes::Arguments({u"/Ver"}), LanguageIndex::English, console, sound);
  std::string expected(1, '\n');  // built up in steps: GCC 12 warns wrongly about "\n" + string
  expected.append(kVersionBanner).append(1, '\n');
  EXPECT_EQ(console.bytes, expected);
}

TEST(Run, PerformsTheChosenAction) {
  const std::vector<std::pair<std::vector<std::u16string>, std::vector<std::string>>> cases = {
      {{u"/s"}, {"alert 0"}},
      {{u"/sd"}, {"alert 0"}},
      {{u"/SE"}, {"alert 16"}},
      {{u"/si"}, {"alert 64"}},
      {{u"/sQ"}, {"alert 32"}},
      {{u"/sw"}, {"alert 48"}},
      {{u"/B"}, {"beep 800 200"}},
      {{u"/fb", u"440.9,100", u"0,100", u"880,100"}, {"beep 440 100", "rest 100", "beep 880 100"}},
      {{u"/nB", u"A4,4", u"R,8", u"C5,4"}, {"beep 440 500", "rest 250", "beep 523 500"}},
      {{u"/W", u"a.wav"}, {"wav"}},
  };
  for (const auto& [arguments, sounds] : cases) {
    const Outcome outcome = RunWith(arguments);
    EXPECT_TRUE(outcome.texts.empty());
    EXPECT_EQ(outcome.sounds, sounds) << std::string(arguments[0].begin(), arguments[0].end());
  }
}

TEST(Run, PlaysTonesWithATrailingRestInTheSwitchesWaveform) {
  RecordingConsole console;
  RecordingSound sound;
  belvox::Run(fakes::Arguments({u"/FS", u"440,100", u"0,200"}), LanguageIndex::English, console, sound);
  EXPECT_TRUE(console.texts.empty());
  ASSERT_EQ(sound.device.headers.size(), 1u);
  // 100 + 200 + 50 ms at 882 bytes per 10 ms; the sine starts at 0, 205, 409.
  EXPECT_EQ(sound.device.played.size(), 35u * 882);
  const auto* samples = reinterpret_cast<const std::int16_t*>(sound.device.played.data());
  EXPECT_EQ(samples[1], 205);
  EXPECT_EQ(samples[2], 409);
  EXPECT_TRUE(std::all_of(samples + 4410, samples + 35 * 441, [](std::int16_t s) { return s == 0; }));
}

TEST(Run, ReportsAnUnavailableDevice) {
  const std::u16string unavailable = u"Audio output device is not available.";
  RecordingConsole console;
  RecordingSound sound;
  sound.deviceAvailable = false;
  for (const std::vector<std::u16string>& arguments :
       {std::vector<std::u16string>{u"/b"}, {u"/nb", u"A4,4"}, {u"/w", u"a.wav"}}) {
    console.texts.clear();
    belvox::Run(fakes::Arguments(arguments), LanguageIndex::English, console, sound);
    ASSERT_EQ(console.texts.size(), 1u);
    EXPECT_EQ(console.texts[0].text, unavailable);
  }
}

}  // namespace
}  // namespace belvox
