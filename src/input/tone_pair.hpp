#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "common/failure.hpp"
#include "common/tone.hpp"

namespace belvox {

// What a pair parser makes of one token: a step, or the message that rejects it.
using PairResult = std::variant<ToneStep, Failure>;
using PairParser = PairResult (*)(std::u16string_view token);

struct TonePairTexts {
  std::u16string first;
  std::u16string second;
};

// Splits "first,second" at its only comma; both sides must be non-empty.
// Otherwise ToneListInvalid with the whole token as prefix.
std::variant<TonePairTexts, Failure> SplitTonePair(std::u16string_view token);

// "frequency,time": 0 (a rest) or 20 to 20000 Hz, 10 to 1000 ms.
PairResult ParseFrequencyTime(std::u16string_view token);

}  // namespace belvox
