#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/messages.hpp"
#include "common/tone.hpp"

namespace belvox::fuzz {

// Reads the bytes as little-endian UTF-16 code units.
inline std::u16string Utf16(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return text;
}

// A property of the code under test does not hold: stop the fuzzer here.
inline void Require(bool holds) {
  if (!holds) std::abort();
}

// What a pair parser may return: a rest or a tone in range, for a duration in range.
inline bool InLimits(const ToneStep& step, double lowest, double highest, unsigned shortest, unsigned longest) {
  const bool frequency = step.frequency == 0.0 || (step.frequency >= lowest && step.frequency <= highest);
  return frequency && step.duration >= shortest && step.duration <= longest;
}

// A message is a catalogue text alone, or a prefix followed by a " - " text.
inline bool IsCatalogueForm(std::u16string_view message, LanguageIndex language) {
  for (int id = 0; id <= static_cast<int>(MessageId::Usage); ++id) {
    const std::u16string_view text = Text(static_cast<MessageId>(id), language);
    if (text.starts_with(u" - ") ? message.ends_with(text) : message == text) return true;
  }
  return false;
}

}  // namespace belvox::fuzz
