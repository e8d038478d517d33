#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "input/tone_pair.hpp"

namespace belvox {

struct NoteName {
  std::u16string_view name;
  std::int32_t semitone;  // 0 is the rest; C1 is 1, A4 is 46, B7 is 84
};

struct BeatName {
  std::u16string_view name;
  double factor;  // 1.0 lasts 500 ms
};

extern const std::array<NoteName, 120> NoteNameTable;
extern const std::array<BeatName, 13> BeatNameTable;

// "note,beat": an equal-tempered note (A4 = 440 Hz) or R, and a beat name.
PairResult ParseNoteBeat(std::u16string_view token);

}  // namespace belvox
