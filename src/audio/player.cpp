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

// Submits buffers to an open device and waits for them. A wait lasts at most as
// long as the audio queued plus the margin; on a failure everything still
// queued is stopped and released.
class Queue {
 public:
  Queue(WaveOut& device, const PcmFormat& format) : device_(device), format_(format) {}

  bool Submit(WaveHeader& header, std::span<const std::int16_t> samples) {
    const auto bytes = static_cast<std::uint32_t>(samples.size_bytes());
    header = {samples.data(), bytes, WaveHeader::kBeginLoop | WaveHeader::kEndLoop, 1, nullptr};
    if (!device_.Prepare(header)) return false;
    *std::find(prepared_.begin(), prepared_.end(), nullptr) = &header;
    queued_ += format_.Duration(bytes);
    return device_.Write(header);
  }

  bool WaitUntil(int pending) { return device_.WaitPending(pending, queued_ + kCompletionMargin); }

  void Release(WaveHeader& header) {
    device_.Unprepare(header);
    queued_ -= format_.Duration(header.bytes);
    *std::find(prepared_.begin(), prepared_.end(), &header) = nullptr;
  }

  void Abandon() {
    device_.Reset();
    for (WaveHeader* header : prepared_) {
      if (header != nullptr) Release(*header);
    }
  }

 private:
  WaveOut& device_;
  PcmFormat format_;
  std::array<WaveHeader*, 2> prepared_{};  // at most two buffers are ever queued
  std::chrono::milliseconds queued_{0};
};

Playback Close(WaveOut& device, bool played, std::uint32_t pause) {
  if (played && pause > 0) device.Sleep(pause);
  device.Close();
  return played ? Playback::Played : Playback::DeviceUnavailable;
}

Playback PlayWhole(std::span<const std::int16_t> samples, std::uint32_t pause, WaveOut& device) {
  const PcmFormat format;
  if (!device.Open(format)) return Playback::DeviceUnavailable;
  Queue queue(device, format);
  WaveHeader header;
  const bool played = queue.Submit(header, samples) && queue.WaitUntil(0);
  if (played) {
    queue.Release(header);
  } else {
    queue.Abandon();
  }
  return Close(device, played, pause);
}

// Buffer i plays from header i mod 2 while buffer i + 1 is produced and queued behind it.
Playback Stream(WaveOut& device, const PcmFormat& format, std::size_t capacity, std::uint32_t pause,
                const Producer& produce) {
  std::array<std::vector<std::int16_t>, 2> buffers;
  if (!Allocated([&] {
        for (auto& buffer : buffers) buffer.reserve(capacity);
      })) {
    return Playback::OutOfMemory;
  }
  if (!device.Open(format)) return Playback::DeviceUnavailable;
  std::array<WaveHeader, 2> headers;
  Queue queue(device, format);
  bool played = true;
  std::size_t i = 0;
  for (; played && produce(buffers[i % 2]); ++i) {
    played = queue.Submit(headers[i % 2], buffers[i % 2]);
    if (played && i > 0) {
      played = queue.WaitUntil(1);
      if (played) queue.Release(headers[(i - 1) % 2]);
    }
  }
  played = played && queue.WaitUntil(0);
  if (played && i > 0) queue.Release(headers[(i - 1) % 2]);
  if (!played) queue.Abandon();
  return Close(device, played, pause);
}

// From one buffer below the whole-buffer limit, else streamed.
Playback PlaySteps(std::span<const ToneStep> tones, Waveform waveform, StepLength length, std::uint32_t pause,
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
    return PlayWhole(buffer, pause, device);
  }

  const std::size_t least = kStreamBufferMilliseconds * kSampleRate / 1000;
  auto step = tones.begin();
  return Stream(device, PcmFormat{}, least + longest, pause, [&](std::vector<std::int16_t>& buffer) {
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
  return Stream(device, format, capacity, 0, produce);
}

Playback PlaySequence(std::span<const ToneStep> tones, Waveform waveform, WaveOut& device) {
  return PlaySteps(tones, waveform, ToneSamples, 100, device);
}

Playback PlayBeeps(std::span<const ToneStep> tones, WaveOut& device) {
  if (tones.empty()) return Playback::Played;
  ToneSequence beeps;
  if (!Allocated([&] { beeps.reserve(tones.size()); })) return Playback::OutOfMemory;
  for (const ToneStep& step : tones) beeps.push_back({std::trunc(step.frequency), step.duration});
  return PlaySteps(beeps, Waveform::Square, BeepSamples, 0, device);
}

}  // namespace belvox
