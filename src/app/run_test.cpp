#include "app/run.hpp"

#include <gtest/gtest.h>

#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

struct Outcome {
  std::u16string message;  // written to standard error, or empty
  std::vector<std::string> sounds = {};
  std::size_t bytes = 0;  // of synthesised audio

  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    for (const auto& sound : o.sounds) out << sound << ", ";
    return out << std::string(o.message.begin(), o.message.end()) << " | " << o.bytes;
  }
};

Outcome RunWith(const std::vector<std::u16string>& arguments) {
  fakes::RecordingConsole console;
  fakes::RecordingSound sound;
  EXPECT_EQ(Run(fakes::Arguments(arguments), LanguageIndex::English, console, sound), 0);
  EXPECT_LE(console.texts.size(), 1u);
  Outcome outcome{u"", sound.calls, sound.device.winmm->samples.size() * 2};
  if (!console.texts.empty()) {
    EXPECT_TRUE(console.texts[0].toStandardError && console.texts[0].appendNewline);
    outcome.message = console.texts[0].text;
  }
  return outcome;
}

TEST(Run, WalksTheArgumentsToOneActionOrOneMessage) {
  const std::u16string conflict = u"/s /f /n /w /b - Parameter is not able to use together.";
  const std::pair<std::vector<std::u16string>, Outcome> cases[] = {
      {{u"/VOID"}, {}},
      {{u"/s", u""}, {u"Empty parameter is specified."}},
      {{u"/b", u"/?"}, {u"/? - Parameter is invalid."}},
      {{u"/ver", u"/b"}, {u"/ver - Parameter is invalid."}},
      {{u"/void", u"/void"}, {u"/void - Parameter is invalid."}},
      {{u"play"}, {u"play - Parameter is invalid."}},
      {{u"/bb"}, {u"/bb - Parameter is invalid."}},
      {{u"/s", u"loud"}, {u"loud - Parameter is invalid."}},
      {{u"/sx"}, {u"/sx - Parameter is invalid."}},
      {{u"/sdd"}, {u"/sdd - Parameter is invalid."}},
      {{u"/x\x1b]0;\a\x7f\x9b"}, {u"/x?]0;??? - Parameter is invalid."}},  // echoes cannot drive a terminal
      {{u"/b", u"/b"}, {conflict}},
      {{u"/w", u"a.wav", u"/s"}, {conflict}},
      {{u"/f", u"440,100", u"/n", u"A4,4"}, {conflict}},
      {{u"/f", u"/b"}, {conflict}},
      {{u"/fsss"}, {u"Frequency or note parameter is not specified."}},
      {{u"/fss", u"440,100"}, {u"/fss - Parameter is invalid."}},
      {{u"/fx", u"440,100"}, {u"/fx - Parameter is invalid."}},
      {{u"/nl", u"A4,4"}, {u"/nl - Parameter is invalid."}},
      {{u"/f", u"/x"}, {u"/x - Parameter is invalid."}},
      {{u"/f", u"440,100", u"/l", u"tones.txt"}, {u"/l - Parameter is invalid."}},
      {{u"/f", u"/L", u""}, {u" - File was not able to open."}},
      {{u"/f", u"440,100", u"440,5"}, {u"5 - Value of time is too short."}},
      {{u"/n", u"A4,4", u"", u"C4,4"}, {u"Empty parameter is specified."}},
      {{u"/w", u"missing.wav", u"/b"}, {u"missing.wav - File was not found."}},
      {{u"/w", u"text.wav"}, {u"text.wav - Was not able to play.", {"wav"}}},
      {{u"/w", u"a.wav", u"b.wav"}, {u"b.wav - Parameter is invalid."}},
      {{u"/s"}, {u"", {"alert default"}}},
      {{u"/sd"}, {u"", {"alert default"}}},
      {{u"/SE"}, {u"", {"alert critical stop"}}},
      {{u"/si"}, {u"", {"alert asterisk"}}},
      {{u"/sQ"}, {u"", {"alert question"}}},
      {{u"/sw"}, {u"", {"alert exclamation"}}},
      {{u"/B"}, {u"", {"beep 800 200"}}},
      {{u"/fb", u"440.9,100", u"0,100", u"880,100"}, {u"", {"beep 440 100", "rest 100", "beep 880 100"}}},
      {{u"/nB", u"A4,4", u"R,8", u"C5,4"}, {u"", {"beep 440 500", "rest 250", "beep 523 500"}}},
      {{u"/W", u"a.wav"}, {u"", {"wav"}}},
      // The tones, then the 50 ms rest, at 882 bytes per 10 ms.
      {{u"/FS", u"440,100", u"0,200"}, {u"", {}, 35 * 882}},
      {{u"/n", u"A4,16."}, {u"", {}, 24 * 882}},
  };
  for (const auto& [arguments, outcome] : cases) EXPECT_EQ(RunWith(arguments), outcome) << outcome;
}

TEST(Run, EachLetterChoosesItsWaveformAndEachSwitchItsDefault) {
  using enum Waveform;
  const std::pair<std::u16string, Waveform> cases[] = {{u"/f", Triangle},  {u"/fs", Sine},     {u"/fQ", Square},
                                                       {u"/FW", Sawtooth}, {u"/ft", Triangle}, {u"/n", Sawtooth},
                                                       {u"/nS", Sine},     {u"/nq", Square},   {u"/NT", Triangle}};
  for (const auto& [letter, waveform] : cases) {
    fakes::RecordingConsole console;
    fakes::RecordingSound sound;
    const std::u16string pair = letter[1] == u'n' || letter[1] == u'N' ? u"A4,8" : u"440,250";
    belvox::Run(fakes::Arguments({letter, pair}), LanguageIndex::English, console, sound);
    std::vector<std::int16_t> expected(11025);
    SynthesizeSamples(expected.data(), 11025, waveform, 440, 44100);
    std::vector<std::int16_t> played = sound.device.winmm->samples;
    played.resize(expected.size());
    EXPECT_EQ(played, expected) << std::string(letter.begin(), letter.end());
  }
}

}  // namespace
}  // namespace belvox
