#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "audio/wave_out.hpp"
#include "common/tone.hpp"

namespace belvox {

inline constexpr std::uint32_t kSampleRate = 44100;
// A sequence of this many bytes or more is streamed one step at a time.
inline constexpr std::uint64_t kWholeBufferLimit = 0x1000000;

// Bytes of a step of the given rounded duration: 882 for every 10 ms.
constexpr std::uint32_t StepBytes(std::uint32_t milliseconds) { return milliseconds * 882 / 10; }

// On an open device: plays one buffer of 16-bit samples and returns when the
// device reports it played. False when the device failed; everything is released.
bool PlayBuffer(WaveOut& device, const std::int16_t* samples, std::size_t count);

// On an open device: plays the buffers that `produce` fills, back to back, with
// at most two queued; `produce` returns false when there are no more.
bool PlayStream(WaveOut& device, const std::function<bool(std::vector<std::int16_t>&)>& produce);

// Plays the steps, each rounded to the nearest 10 ms (halves up), on the device
// and returns after the last one has been played and 100 ms more. False when the
// device could not be opened or gave up: nothing more plays.
bool PlaySequence(std::span<const ToneStep> tones, Waveform waveform, WaveOut& device);

}  // namespace belvox
