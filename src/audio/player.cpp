// Turns tone steps into 16-bit samples and plays them on a WaveOut.
//
// How it works. A sequence under 16 MiB is rendered whole and queued as one
// block. A longer one, and a WAV file, is streamed: two buffers take turns,
// one queued on the device while the next is produced, so that the device
// always has audio behind what it plays and memory stays at two buffers. An
// open device is stopped (when it did not play to its end) and closed however
// the playback ends.
#include "audio/player.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "audio/synth.hpp"

namespace belvox {
namespace {

// Synthesised tones last whole 10 ms (halves rounded up); beeps last exactly their time.
std::uint32_t ToneSamples(const ToneStep& step) { return StepBytes((step.duration + 5u) / 10u * 10u) / 2; }
std::uint32_t BeepSamples(const ToneStep& step) { return step.duration * kSampleRate / 1000; }
using StepLength = std::uint32_t (*)(const ToneStep&);

void Render(const ToneStep& step, std::uint32_t count, Waveform waveform, std::int16_t* samples) {
  if (step.frequency == 0.0) {
    std::fill_n(samples, count, std::int16_t{0});
  } else {
    SynthesizeSamples(samples, count, waveform, step.frequency, kSampleRate);
  }
}

template <typename Change>
bool Allocated(Change change) {
  try {
    change();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// An open device for one playback, closed however the playback ends. One that
// did not play to its end is stopped first: declared after the sample buffers,
// it silences the device before they are freed, an exception included.
class OpenDevice {
 public:
  explicit OpenDevice(WaveOut& device) : device_(device) {}
  ~OpenDevice() {
    if (!played_) device_.Stop();
    device_.Close();
  }
  OpenDevice(const OpenDevice&) = delete;
  OpenDevice& operator=(const OpenDevice&) = delete;

  bool Queue(std::span<const std::int16_t> samples) { return device_.Queue(std::as_bytes(samples)); }
  bool WaitPending(std::size_t blocks) { return device_.WaitPending(blocks); }

  // Everything has been queued: waits for the last block, pauses on `clock`, if
  // given, and closes the device.
  Playback Finish(Clock* clock) {
    if (!device_.WaitPending(0)) return Playback::DeviceUnavailable;
    played_ = true;
    if (clock != nullptr) clock->Sleep(kClosingPause);
    return device_.Close() ? Playback::Played : Playback::DeviceUnavailable;
  }

 private:
  WaveOut& device_;
  bool played_ = false;
};

Playback PlayWhole(std::span<const std::int16_t> samples, Clock* clock, WaveOut& device) {
  if (const Playback opened = device.Open(PcmFormat{}); opened != Playback::Played) return opened;
  OpenDevice open(device);
  if (!open.Queue(samples)) return Playback::DeviceUnavailable;
  return open.Finish(clock);
}

// Buffer i plays while buffer i + 1 is produced and queued behind it.
Playback Stream(WaveOut& device, const PcmFormat& format, std::size_t capacity, Clock* clock, const Producer& produce) {
  std::array<std::vector<std::int16_t>, 2> buffers;
  if (!Allocated([&] {
        for (auto& buffer : buffers) buffer.reserve(capacity);
      })) {
    return Playback::OutOfMemory;
  }
  if (const Playback opened = device.Open(format); opened != Playback::Played) return opened;
  OpenDevice open(device);
  for (std::size_t i = 0; produce(buffers[i % 2]); ++i) {
    if (!open.Queue(buffers[i % 2]) || !open.WaitPending(1)) return Playback::DeviceUnavailable;
  }
  return open.Finish(clock);
}

// From one buffer below the whole-buffer limit, else streamed.
Playback PlaySteps(std::span<const ToneStep> tones, Waveform waveform, StepLength length, Clock* clock,
                   WaveOut& device) {
  std::uint64_t total = 0;
  std::uint32_t longest = 0;
  for (const ToneStep& step : tones) {
    total += length(step);
    longest = std::max(longest, length(step));
  }

  if (total * 2 < kWholeBufferLimit) {
    std::vector<std::int16_t> buffer;
    if (!Allocated([&] { buffer.resize(total); })) return Playback::OutOfMemory;
    std::int16_t* next = buffer.data();
    for (const ToneStep& step : tones) {
      Render(step, length(step), waveform, next);
      next += length(step);
    }
    return PlayWhole(buffer, clock, device);
  }

  const std::size_t least = kStreamBufferMilliseconds * kSampleRate / 1000;
  auto step = tones.begin();
  return Stream(device, PcmFormat{}, least + longest, clock, [&](std::vector<std::int16_t>& buffer) {
    buffer.clear();
    while (step != tones.end() && buffer.size() < least) {
      const std::size_t start = buffer.size();
      buffer.resize(start + length(*step));
      Render(*step, length(*step), waveform, buffer.data() + start);
      ++step;
    }
    return !buffer.empty();
  });
}

}  // namespace

Playback PlayStream(WaveOut& device, const PcmFormat& format, std::size_t capacity, const Producer& produce) {
  return Stream(device, format, capacity, nullptr, produce);
}

Playback PlaySequence(std::span<const ToneStep> tones, Waveform waveform, WaveOut& device, Clock& clock) {
  return PlaySteps(tones, waveform, ToneSamples, &clock, device);
}

Playback PlayBeeps(std::span<const ToneStep> tones, WaveOut& device) {
  if (tones.empty()) return Playback::Played;
  ToneSequence beeps;
  if (!Allocated([&] { beeps.reserve(tones.size()); })) return Playback::OutOfMemory;
  for (const ToneStep& step : tones) beeps.push_back({std::trunc(step.frequency), step.duration});
  return PlaySteps(beeps, Waveform::Square, BeepSamples, nullptr, device);
}

}  // namespace belvox
