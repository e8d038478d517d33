#pragma once

#include <cstdint>

#include "common/tone.hpp"

namespace belvox {

// Writes samples[0..count) of one tone, starting at the beginning of its
// period. frequency > 0. A frequency whose period rounds to 0 samples gives silence.
void SynthesizeSamples(std::int16_t* samples, std::uint32_t count, Waveform waveform, double frequency,
                       std::uint32_t sampleRate);

}  // namespace belvox
