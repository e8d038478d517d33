#include "input/tone_pair.hpp"

#include <algorithm>
#include <charconv>
#include <string>

namespace belvox {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The text holds only digits and at most one '.', so it is also valid ASCII.
double ReadFrequency(std::u16string_view text) {
  if (std::none_of(text.begin(), text.end(), IsDigit)) return 0.0;  // "." alone
  std::string ascii(text.begin(), text.end());
  if (ascii.front() == '.') ascii.insert(0, 1, '0');
  double value = 0.0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Beyond double's range: huge if a digit before the point is non-zero, else a tiny fraction.
    const auto point = ascii.find('.');
    const std::string whole = ascii.substr(0, point);
    const bool huge = whole.find_first_not_of('0') != std::string::npos;
    return huge ? 1e300 : 1e-300;
  }
  return value;
}

}  // namespace

std::variant<TonePairTexts, Failure> SplitTonePair(std::u16string_view token) {
  const auto first = token.find(u',');
  if (first == std::u16string_view::npos || first == 0 || first + 1 == token.size() || token.rfind(u',') != first) {
    return Failure{std::u16string(token), MessageId::ToneListInvalid};
  }
  return TonePairTexts{std::u16string(token.substr(0, first)), std::u16string(token.substr(first + 1))};
}

PairResult ParseFrequencyTime(std::u16string_view token) {
  auto split = SplitTonePair(token);
  if (auto* failure = std::get_if<Failure>(&split)) return std::move(*failure);
  auto& [frequencyText, timeText] = std::get<TonePairTexts>(split);

  const auto frequencyChar = [](char16_t c) { return IsDigit(c) || c == u'.'; };
  if (!std::all_of(frequencyText.begin(), frequencyText.end(), frequencyChar) ||
      std::count(frequencyText.begin(), frequencyText.end(), u'.') > 1) {
    return Failure{std::move(frequencyText), MessageId::FrequencyInvalid};
  }
  if (!std::all_of(timeText.begin(), timeText.end(), IsDigit)) {
    return Failure{std::move(timeText), MessageId::TimeInvalid};
  }

  const double frequency = ReadFrequency(frequencyText);
  // Compared as digits so that a time of any length is too long, never wrapped.
  const auto significant = timeText.find_first_not_of(u'0');
  const std::u16string_view digits =
      significant == std::u16string::npos ? std::u16string_view() : std::u16string_view(timeText).substr(significant);
  unsigned time = 0;
  if (digits.size() <= 4) {
    for (char16_t c : digits) time = time * 10 + static_cast<unsigned>(c - u'0');
  } else {
    time = 10000;
  }

  if (frequency != 0.0 && frequency < 20.0) return Failure{std::move(frequencyText), MessageId::FrequencyTooLow};
  if (frequency > 20000.0) return Failure{std::move(frequencyText), MessageId::FrequencyTooHigh};
  if (time < 10) return Failure{std::move(timeText), MessageId::TimeTooShort};
  if (time > 1000) return Failure{std::move(timeText), MessageId::TimeTooLong};
  return ToneStep{frequency, static_cast<std::uint16_t>(time)};
}

}  // namespace belvox
