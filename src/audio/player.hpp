#pragma once

#include <cstdint>

#include "audio/wave_out.hpp"
#include "input/tone.hpp"

namespace belvox {

inline constexpr std::uint32_t kSampleRate = 44100;
// A sequence of this many bytes or more is streamed one step at a time.
inline constexpr std::uint64_t kWholeBufferLimit = 0x1000000;

// Bytes of a step of the given rounded duration: 882 for every 10 ms.
constexpr std::uint32_t StepBytes(std::uint32_t milliseconds) { return milliseconds * 882 / 10; }

// Rounds every duration in place to the nearest 10 ms (halves up), then plays the
// steps on the device and returns after the last one has been played and 100 ms
// more. False when the device could not be opened or gave up: nothing more plays.
bool PlaySequence(ToneSequence& tones, Waveform waveform, WaveOut& device);

}  // namespace belvox
