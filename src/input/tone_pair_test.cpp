#include "input/tone_pair.hpp"

#include <gtest/gtest.h>

#include <clocale>

namespace belvox {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(ParseFrequencyTime, RejectsWithTheFirstFailingCheck) {
  const std::u16string thousandDigits(1000, u'9');
  const std::u16string tiny = u"0." + std::u16string(400, u'0') + u"1";
  const std::vector<std::tuple<std::u16string, MessageId, std::u16string>> cases = {
      {u"440", MessageId::ToneListInvalid, u"440"},
      {u",100", MessageId::ToneListInvalid, u",100"},
      {u"440,", MessageId::ToneListInvalid, u"440,"},
      {u"440,100,100", MessageId::ToneListInvalid, u"440,100,100"},
      {u"", MessageId::ToneListInvalid, u""},
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
      {tiny + u",100", MessageId::FrequencyTooLow, tiny},
      {u"20000.5,100", MessageId::FrequencyTooHigh, u"20000.5"},
      {thousandDigits + u",100", MessageId::FrequencyTooHigh, thousandDigits},
      {u"19,9", MessageId::FrequencyTooLow, u"19"},  // frequency values before time values
      {u"440,9", MessageId::TimeTooShort, u"9"},
      {u"440,0", MessageId::TimeTooShort, u"0"},
      {u"440,1001", MessageId::TimeTooLong, u"1001"},
      {u"440,65546", MessageId::TimeTooLong, u"65546"},
      {u"440," + thousandDigits, MessageId::TimeTooLong, thousandDigits},
  };
  for (const auto& [token, id, prefix] : cases) {
    const PairResult result = ParseFrequencyTime(token);
    ASSERT_TRUE(std::holds_alternative<Failure>(result)) << Narrow(token);
    EXPECT_EQ(std::get<Failure>(result).id, id) << Narrow(token);
    EXPECT_EQ(std::get<Failure>(result).prefix, prefix) << Narrow(token);
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

}  // namespace
}  // namespace belvox
