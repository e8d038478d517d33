#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "audio/wave_out.hpp"
#include "common/tone.hpp"

namespace belvox {

inline constexpr std::uint32_t kSampleRate = 44100;
// A sequence of this many bytes or more is streamed rather than played from one buffer.
inline constexpr std::uint64_t kWholeBufferLimit = 0x1000000;
// A streamed buffer takes whole steps until it lasts at least this long, so that
// the device always has audio queued behind what it is playing.
inline constexpr std::uint32_t kStreamBufferMilliseconds = 200;
// A synthesised sequence is followed by this pause before the device closes.
inline constexpr std::chrono::milliseconds kClosingPause{100};

// Bytes of a step of the given rounded duration: 882 for every 10 ms.
constexpr std::uint32_t StepBytes(std::uint32_t milliseconds) { return milliseconds * 882 / 10; }

// Replaces the buffer's samples with the next ones to play, within its capacity;
// false when there are no more.
using Producer = std::function<bool(std::vector<std::int16_t>& buffer)>;

// Opens the device for `format`, plays what `produce` gives, back to back with at
// most two buffers queued, and closes it. Both buffers, of `capacity` samples, are
// allocated before the device opens.
Playback PlayStream(WaveOut& device, const PcmFormat& format, std::size_t capacity, const Producer& produce);

// Plays the steps, each rounded to the nearest 10 ms (halves up), in the waveform
// at 44,100 Hz, and returns after the last has been played and kClosingPause more.
Playback PlaySequence(std::span<const ToneStep> tones, Waveform waveform, WaveOut& device, Clock& clock);

// Plays speaker beeps on the device: square waves at the whole hertz below each
// frequency, each step exactly its length, nothing after the last. No steps, no sound.
Playback PlayBeeps(std::span<const ToneStep> tones, WaveOut& device);

}  // namespace belvox
