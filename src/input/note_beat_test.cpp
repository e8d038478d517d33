#include "input/note_beat.hpp"

#include <gtest/gtest.h>

#include <set>

namespace belvox {
namespace {

ToneStep Accept(std::u16string_view token) {
  const PairResult result = ParseNoteBeat(token);
  EXPECT_TRUE(std::holds_alternative<ToneStep>(result)) << std::string(token.begin(), token.end());
  return std::holds_alternative<ToneStep>(result) ? std::get<ToneStep>(result) : ToneStep{-1, 0};
}

TEST(NoteNameTable, HoldsSeventeenNamesForEachOctaveAfterTheRest) {
  EXPECT_EQ(NoteNameTable[0].name, u"R");
  EXPECT_EQ(NoteNameTable[0].semitone, 0);
  EXPECT_EQ(NoteNameTable[1].name, u"C1");
  EXPECT_EQ(NoteNameTable[2].name, u"C#1");
  EXPECT_EQ(NoteNameTable[3].name, u"Db1");
  EXPECT_EQ(NoteNameTable[119].name, u"B7");
  EXPECT_EQ(NoteNameTable[119].semitone, 84);
  std::set<std::u16string_view> names;
  for (const NoteName& note : NoteNameTable) names.insert(note.name);
  EXPECT_EQ(names.size(), 120u);
}

TEST(ParseNoteBeat, GivesEqualTemperedFrequenciesAndBeatLengths) {
  struct Case {
    std::u16string_view token;
    double frequency;
    std::uint16_t duration;
  };
  const Case cases[] = {
      {u"A4,4", 440.0, 500},        {u"a4,4", 440.0, 500},      {u"C4,4", 261.6256, 500},   {u"db4,8", 277.1826, 250},
      {u"DB4,8", 277.1826, 250},    {u"C#4,8", 277.1826, 250},  {u"C1,1", 32.7032, 2000},   {u"B7,16", 3951.0664, 125},
      {u"E4,2.", 329.6276, 1500},   {u"G4,2_", 391.9954, 1333}, {u"A#3,2", 233.0819, 1000}, {u"Bb3,4.", 233.0819, 750},
      {u"C5,4_", 523.2511, 667},    {u"Eb5,8.", 622.2540, 375}, {u"F#2,8_", 92.4986, 333},  {u"Gb2,16.", 92.4986, 188},
      {u"Ab6,16_", 1661.2188, 166}, {u"R,1", 0.0, 2000},        {u"r,16.", 0.0, 188},
  };
  for (const Case& c : cases) {
    const ToneStep step = Accept(c.token);
    EXPECT_NEAR(step.frequency, c.frequency, 1e-3) << std::string(c.token.begin(), c.token.end());
    EXPECT_EQ(step.duration, c.duration) << std::string(c.token.begin(), c.token.end());
  }
  EXPECT_EQ(Accept(u"A4,4").frequency, 440.0);
  EXPECT_EQ(Accept(u"R,4").frequency, 0.0);
}

TEST(ParseNoteBeat, RejectsWithTheFirstFailingCheck) {
  struct Case {
    std::u16string_view token;
    MessageId id;
    std::u16string_view prefix;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const PairResult result = ParseNoteBeat(c.token);
    const auto* failure = std::get_if<Failure>(&result);
    ASSERT_NE(failure, nullptr) << std::string(c.token.begin(), c.token.end());
    EXPECT_EQ(failure->id, c.id) << std::string(c.token.begin(), c.token.end());
    EXPECT_EQ(failure->prefix, c.prefix);
  }
}

}  // namespace
}  // namespace belvox
