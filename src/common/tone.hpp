#pragma once

#include <cstdint>
#include <vector>

namespace belvox {

// One step of a sequence; a frequency of exactly 0.0 is a rest.
struct ToneStep {
  double frequency;
  std::uint16_t duration;  // milliseconds

  friend bool operator==(const ToneStep&, const ToneStep&) = default;
};

using ToneSequence = std::vector<ToneStep>;

enum class Waveform : std::uint8_t { Sine = 0, Square = 1, Sawtooth = 2, Triangle = 3 };

}  // namespace belvox
