#include "input/tone_pair.hpp"

#include "input/note_beat.hpp"

#include <gtest/gtest.h>

#include <clocale>

namespace belvox {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// The first example of each message is a row of the texts table (tests/e2e/test_texts.py).
TEST(PairParsers, RejectWithTheFirstFailingCheck) {
  const std::u16string thousandDigits(1000, u'9');
  const std::u16string tiny = u"0." + std::u16string(400, u'0') + u"1";
  const std::vector<std::tuple<std::u16string, MessageId, std::u16string>> frequencyTime = {
      {u",100", MessageId::ToneListInvalid, u",100"}, {u"440,", MessageId::ToneListInvalid, u"440,"},
      {u"440,100,100", MessageId::ToneListInvalid, u"440,100,100"}, {u"", MessageId::ToneListInvalid, u""},
      {u"44.0.0,100", MessageId::FrequencyInvalid, u"44.0.0"}, {u" 440,100", MessageId::FrequencyInvalid, u" 440"},
      {u"1e3,100", MessageId::FrequencyInvalid, u"1e3"}, {u"４４０,100", MessageId::FrequencyInvalid, u"４４０"},
      {u"440,100.5", MessageId::TimeInvalid, u"100.5"},
      {u"5,abc", MessageId::TimeInvalid, u"abc"},  // character checks come before values
      {u"44.0.0,abc", MessageId::FrequencyInvalid, u"44.0.0"}, {u"0.5,100", MessageId::FrequencyTooLow, u"0.5"},
      {tiny + u",100", MessageId::FrequencyTooLow, tiny},
      {thousandDigits + u",100", MessageId::FrequencyTooHigh, thousandDigits},
      {u"19,9", MessageId::FrequencyTooLow, u"19"},  // frequency values before time values
      {u"440,0", MessageId::TimeTooShort, u"0"}, {u"440,65546", MessageId::TimeTooLong, u"65546"},
      {u"440," + thousandDigits, MessageId::TimeTooLong, thousandDigits},
  };
  const std::vector<std::tuple<std::u16string, MessageId, std::u16string>> noteBeat = {
      {u"A4", MessageId::ToneListInvalid, u"A4"},  {u"A4,4,4", MessageId::ToneListInvalid, u"A4,4,4"},
      {u",4", MessageId::ToneListInvalid, u",4"},  {u"Cb4,4", MessageId::NoteInvalid, u"Cb4"},
      {u"E#4,4", MessageId::NoteInvalid, u"E#4"},  {u"C0,4", MessageId::NoteInvalid, u"C0"},
      {u"C8,4", MessageId::NoteInvalid, u"C8"},    {u"A 4,4", MessageId::NoteInvalid, u"A 4"},
      {u"X9,zz", MessageId::NoteInvalid, u"X9"},   {u"RR,4", MessageId::NoteInvalid, u"RR"},
      {u"A4,32", MessageId::BeatInvalid, u"32"},   {u"A4,8__", MessageId::BeatInvalid, u"8__"},
      {u"A4,4..", MessageId::BeatInvalid, u"4.."}, {u"A4,1.", MessageId::BeatInvalid, u"1."},
      {u"A4, 4", MessageId::BeatInvalid, u" 4"},
  };
  for (const auto& [parse, cases] : {std::pair{&ParseFrequencyTime, frequencyTime}, {&ParseNoteBeat, noteBeat}}) {
    for (const auto& [token, id, prefix] : cases) {
      const PairResult result = parse(token);
      ASSERT_TRUE(std::holds_alternative<Failure>(result)) << Narrow(token);
      EXPECT_EQ(std::get<Failure>(result).id, id) << Narrow(token);
      EXPECT_EQ(std::get<Failure>(result).prefix, prefix) << Narrow(token);
    }
  }
}

TEST(ParseFrequencyTime, AcceptsInclusiveBoundsAndRestsInAnyNumericLocale) {
  const std::vector<std::pair<std::u16string, ToneStep>> cases = {
      {u"440,100", {440.0, 100}},       {u"440.5,100", {440.5, 100}}, {u"20,10", {20.0, 10}},
      {u"20000,1000", {20000.0, 1000}}, {u"020.,0010", {20.0, 10}},   {u"0020.50,10", {20.5, 10}},
      {u"0,200", {0.0, 200}},           {u"0.,200", {0.0, 200}},      {u".,200", {0.0, 200}},
  };
  // A locale whose decimal separator is a comma must not change how 440.5 reads.
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    std::setlocale(LC_ALL, locale);
    for (const auto& [token, step] : cases) {
      const PairResult result = ParseFrequencyTime(token);
      ASSERT_TRUE(std::holds_alternative<ToneStep>(result)) << Narrow(token) << " in " << locale;
      EXPECT_EQ(std::get<ToneStep>(result), step) << Narrow(token) << " in " << locale;
    }
  }
  std::setlocale(LC_ALL, "C");
}

TEST(ParseNoteBeat, GivesEqualTemperedFrequenciesAndBeatLengths) {
  const std::tuple<std::u16string_view, double, std::uint16_t> cases[] = {
      {u"A4,4", 440.0, 500},        {u"a4,4", 440.0, 500},       {u"C4,4", 261.6256, 500},   {u"db4,8", 277.1826, 250},
      {u"DB4,8", 277.1826, 250},    {u"C#4,8", 277.1826, 250},   {u"C1,1", 32.7032, 2000},   {u"B7,16", 3951.0664, 125},
      {u"E4,2.", 329.6276, 1500},   {u"G4,2_", 391.9954, 1333},  {u"A#3,2", 233.0819, 1000}, {u"Bb3,4.", 233.0819, 750},
      {u"C5,4_", 523.2511, 667},    {u"Eb5,8.", 622.2540, 375},  {u"F#2,8_", 92.4986, 333},  {u"Gb2,16.", 92.4986, 188},
      {u"Ab6,16_", 1661.2188, 166}, {u"G#6,1", 1661.2188, 2000}, {u"D3,8", 146.8324, 250},   {u"F7,2", 2793.8259, 1000},
      {u"R,1", 0.0, 2000},          {u"r,16.", 0.0, 188},
  };
  for (const auto& [token, frequency, duration] : cases) {
    const PairResult result = ParseNoteBeat(token);
    ASSERT_TRUE(std::holds_alternative<ToneStep>(result)) << Narrow(token);
    EXPECT_NEAR(std::get<ToneStep>(result).frequency, frequency, 1e-4) << Narrow(token);
    EXPECT_EQ(std::get<ToneStep>(result).duration, duration) << Narrow(token);
  }
}

}  // namespace
}  // namespace belvox
