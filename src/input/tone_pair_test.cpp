#include "input/tone_pair.hpp"

#include <gtest/gtest.h>

#include <clocale>

namespace belvox {
namespace {

struct Rejection {
  std::u16string token;
  MessageId id;
  std::u16string prefix;
};

TEST(ParseFrequencyTime, RejectsWithTheFirstFailingCheck) {
  const std::u16string thousandDigits(1000, u'9');
  const std::vector<Rejection> cases = {
      {u"440", MessageId::ToneListInvalid, u"440"},
      {u",100", MessageId::ToneListInvalid, u",100"},
      {u"440,", MessageId::ToneListInvalid, u"440,"},
      {u"440,100,100", MessageId::ToneListInvalid, u"440,100,100"},
      {u"", MessageId::ToneListInvalid, u""},
      {u",", MessageId::ToneListInvalid, u","},
      {u"44.0.0,100", MessageId::FrequencyInvalid, u"44.0.0"},
      {u"-440,100", MessageId::FrequencyInvalid, u"-440"},
      {u" 440,100", MessageId::FrequencyInvalid, u" 440"},
      {u"1e3,100", MessageId::FrequencyInvalid, u"1e3"},
      {u"４４０,100", MessageId::FrequencyInvalid, u"４４０"},
      {u"440,+100", MessageId::TimeInvalid, u"+100"},
      {u"440,100.5", MessageId::TimeInvalid, u"100.5"},
      {u"5,abc", MessageId::TimeInvalid, u"abc"},  // character checks come before values
      {u"44.0.0,abc", MessageId::FrequencyInvalid, u"44.0.0"},
      {u"19.99,100", MessageId::FrequencyTooLow, u"19.99"},
      {u"0.5,100", MessageId::FrequencyTooLow, u"0.5"},
      {u"0." + std::u16string(400, u'0') + u"1,100", MessageId::FrequencyTooLow,
       u"0." + std::u16string(400, u'0') + u"1"},
      {u"20000.5,100", MessageId::FrequencyTooHigh, u"20000.5"},
      {thousandDigits + u",100", MessageId::FrequencyTooHigh, thousandDigits},
      {u"19,9", MessageId::FrequencyTooLow, u"19"},  // frequency values before time values
      {u"440,9", MessageId::TimeTooShort, u"9"},
      {u"440,0", MessageId::TimeTooShort, u"0"},
      {u"440,1001", MessageId::TimeTooLong, u"1001"},
      {u"440,65546", MessageId::TimeTooLong, u"65546"},
      {u"440," + thousandDigits, MessageId::TimeTooLong, thousandDigits},
  };
  for (const Rejection& rejection : cases) {
    const PairResult result = ParseFrequencyTime(rejection.token);
    const auto* failure = std::get_if<Failure>(&result);
    ASSERT_NE(failure, nullptr) << std::string(rejection.token.begin(), rejection.token.end());
    EXPECT_EQ(failure->id, rejection.id) << std::string(rejection.token.begin(), rejection.token.end());
    EXPECT_EQ(failure->prefix, rejection.prefix);
  }
}

TEST(ParseFrequencyTime, AcceptsInclusiveBoundsAndRests) {
  const std::vector<std::pair<std::u16string, ToneStep>> cases = {
      {u"440,100", {440.0, 100}},       {u"440.5,100", {440.5, 100}}, {u"20,10", {20.0, 10}},
      {u"20000,1000", {20000.0, 1000}}, {u"020.,0010", {20.0, 10}},   {u"20000.000,10", {20000.0, 10}},
      {u"0,200", {0.0, 200}},           {u"0.0,200", {0.0, 200}},     {u"00,200", {0.0, 200}},
      {u"0.,200", {0.0, 200}},          {u".,200", {0.0, 200}},       {u"1000.000,500", {1000.0, 500}},
  };
  for (const auto& [token, step] : cases) {
    const PairResult result = ParseFrequencyTime(token);
    ASSERT_TRUE(std::holds_alternative<ToneStep>(result)) << std::string(token.begin(), token.end());
    EXPECT_EQ(std::get<ToneStep>(result), step) << std::string(token.begin(), token.end());
  }
}

// A locale whose decimal separator is a comma must not change how 440.5 reads.
TEST(ParseFrequencyTime, IgnoresTheUsersNumericLocale) {
  int tried = 0;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    ++tried;
    EXPECT_EQ(std::get<ToneStep>(ParseFrequencyTime(u"440.5,100")).frequency, 440.5) << name;
  }
  std::setlocale(LC_ALL, "C");
  if (tried == 0) GTEST_SKIP() << "no German or French locale (the test script generates one under LOCPATH)";
}

}  // namespace
}  // namespace belvox
