#include "input/note_beat.hpp"

#include <gtest/gtest.h>

namespace belvox {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(ParseNoteBeat, GivesEqualTemperedFrequenciesAndBeatLengths) {
  const std::tuple<std::u16string_view, double, std::uint16_t> cases[] = {
      {u"A4,4", 440.0, 500},        {u"a4,4", 440.0, 500},      {u"C4,4", 261.6256, 500},   {u"db4,8", 277.1826, 250},
      {u"DB4,8", 277.1826, 250},    {u"C#4,8", 277.1826, 250},  {u"C1,1", 32.7032, 2000},   {u"B7,16", 3951.0664, 125},
      {u"E4,2.", 329.6276, 1500},   {u"G4,2_", 391.9954, 1333}, {u"A#3,2", 233.0819, 1000}, {u"Bb3,4.", 233.0819, 750},
      {u"C5,4_", 523.2511, 667},    {u"Eb5,8.", 622.2540, 375}, {u"F#2,8_", 92.4986, 333},  {u"Gb2,16.", 92.4986, 188},
      {u"Ab6,16_", 1661.2188, 166}, {u"G#6,1", 1661.2188, 2000}, {u"D3,8", 146.8324, 250}, {u"F7,2", 2793.8259, 1000},
      {u"R,1", 0.0, 2000},          {u"r,16.", 0.0, 188},
  };
  for (const auto& [token, frequency, duration] : cases) {
    const PairResult result = ParseNoteBeat(token);
    ASSERT_TRUE(std::holds_alternative<ToneStep>(result)) << Narrow(token);
    EXPECT_NEAR(std::get<ToneStep>(result).frequency, frequency, 1e-4) << Narrow(token);
    EXPECT_EQ(std::get<ToneStep>(result).duration, duration) << Narrow(token);
  }
}

TEST(ParseNoteBeat, RejectsWithTheFirstFailingCheck) {
  const std::tuple<std::u16string_view, MessageId, std::u16string_view> cases[] = {
      {u"A4", MessageId::ToneListInvalid, u"A4"},  {u"A4,4,4", MessageId::ToneListInvalid, u"A4,4,4"},
      {u",4", MessageId::ToneListInvalid, u",4"},  {u"Cb4,4", MessageId::NoteInvalid, u"Cb4"},
      {u"E#4,4", MessageId::NoteInvalid, u"E#4"},  {u"C0,4", MessageId::NoteInvalid, u"C0"},
      {u"C8,4", MessageId::NoteInvalid, u"C8"},    {u"H4,4", MessageId::NoteInvalid, u"H4"},
      {u"A 4,4", MessageId::NoteInvalid, u"A 4"},  {u"X9,zz", MessageId::NoteInvalid, u"X9"},
      {u"RR,4", MessageId::NoteInvalid, u"RR"},    {u"A4,3", MessageId::BeatInvalid, u"3"},
      {u"A4,32", MessageId::BeatInvalid, u"32"},   {u"A4,8__", MessageId::BeatInvalid, u"8__"},
      {u"A4,4..", MessageId::BeatInvalid, u"4.."}, {u"A4,1.", MessageId::BeatInvalid, u"1."},
      {u"A4, 4", MessageId::BeatInvalid, u" 4"},
  };
  for (const auto& [token, id, prefix] : cases) {
    const PairResult result = ParseNoteBeat(token);
    ASSERT_TRUE(std::holds_alternative<Failure>(result)) << Narrow(token);
    EXPECT_EQ(std::get<Failure>(result).id, id) << Narrow(token);
    EXPECT_EQ(std::get<Failure>(result).prefix, prefix) << Narrow(token);
  }
}

}  // namespace
}  // namespace belvox
