#include "audio/player.hpp"

#include <algorithm>
#include <array>
#include <memory>

#include "audio/synth.hpp"

namespace belvox {

std::atomic<int> OutstandingBuffers{0};

namespace {

using SampleBuffer = std::unique_ptr<std::int16_t[]>;

void RenderStep(const ToneStep& step, Waveform waveform, std::int16_t* samples) {
  const std::uint32_t count = StepBytes(step.duration) / 2;
  if (step.frequency == 0.0) {
    std::fill_n(samples, count, std::int16_t{0});
  } else {
    SynthesizeSamples(samples, count, waveform, step.frequency, kSampleRate);
  }
}

// Submits buffers and waits for them; on a failure everything still queued is
// stopped and released before the device closes.
class Queue {
 public:
  explicit Queue(WaveOut& device) : device_(device) {}

  bool Submit(WaveHeader& header, const std::int16_t* samples, std::uint32_t bytes) {
    header = {samples, bytes, WaveHeader::kBeginLoop | WaveHeader::kEndLoop, 1, nullptr};
    if (!device_.Prepare(header)) return false;
    *std::find(prepared_.begin(), prepared_.end(), nullptr) = &header;
    OutstandingBuffers.fetch_add(1);
    if (device_.Write(header)) return true;
    OutstandingBuffers.fetch_sub(1);
    return false;
  }

  // Polls every 1 ms while more than `limit` buffers are outstanding.
  bool WaitWhileAbove(int limit) {
    while (OutstandingBuffers.load() > limit) {
      if (device_.Lost()) return false;
      device_.Sleep(1);
    }
    return true;
  }

  void Release(WaveHeader& header) {
    device_.Unprepare(header);
    *std::find(prepared_.begin(), prepared_.end(), &header) = nullptr;
  }

  // Stops the device and releases every header still prepared.
  void Abandon() {
    device_.Reset();
    for (WaveHeader* header : prepared_) {
      if (header != nullptr) Release(*header);
    }
    OutstandingBuffers.store(0);
  }

 private:
  WaveOut& device_;
  std::array<WaveHeader*, 2> prepared_{};  // at most two buffers are ever queued
};

bool PlayWholeBuffer(const ToneSequence& tones, Waveform waveform, std::uint64_t totalBytes, WaveOut& device) {
  const auto bytes = static_cast<std::uint32_t>(totalBytes);
  auto buffer = std::make_unique_for_overwrite<std::int16_t[]>(bytes / 2);
  std::int16_t* next = buffer.get();
  for (const ToneStep& step : tones) {
    RenderStep(step, waveform, next);
    next += StepBytes(step.duration) / 2;
  }

  Queue queue(device);
  WaveHeader header;
  if (!queue.Submit(header, buffer.get(), bytes) || !queue.WaitWhileAbove(0)) {
    queue.Abandon();
    return false;
  }
  queue.Release(header);
  return true;
}

// Step i plays from header i mod 2 while step i + 1 is rendered and queued behind it.
bool PlayStreamed(const ToneSequence& tones, Waveform waveform, WaveOut& device) {
  std::array<WaveHeader, 2> headers;
  std::array<SampleBuffer, 2> buffers;
  Queue queue(device);
  for (std::size_t i = 0; i < tones.size(); ++i) {
    const std::uint32_t bytes = StepBytes(tones[i].duration);
    SampleBuffer& buffer = buffers[i % 2];
    buffer = std::make_unique_for_overwrite<std::int16_t[]>(bytes / 2);
    RenderStep(tones[i], waveform, buffer.get());
    if (!queue.Submit(headers[i % 2], buffer.get(), bytes)) {
      queue.Abandon();
      return false;
    }
    if (i > 0) {
      if (!queue.WaitWhileAbove(1)) {
        queue.Abandon();
        return false;
      }
      queue.Release(headers[(i - 1) % 2]);
      buffers[(i - 1) % 2].reset();
    }
  }
  if (!queue.WaitWhileAbove(0)) {
    queue.Abandon();
    return false;
  }
  queue.Release(headers[(tones.size() - 1) % 2]);
  return true;
}

}  // namespace

bool PlaySequence(ToneSequence& tones, Waveform waveform, WaveOut& device) {
  if (!device.Open(PcmFormat{})) return false;
  OutstandingBuffers.store(0);

  std::uint64_t totalBytes = 0;
  for (ToneStep& step : tones) {
    step.duration = static_cast<std::uint16_t>((step.duration + 5) / 10 * 10);
    totalBytes += StepBytes(step.duration);
  }

  const bool played = totalBytes < kWholeBufferLimit ? PlayWholeBuffer(tones, waveform, totalBytes, device)
                                                     : PlayStreamed(tones, waveform, device);
  if (played) device.Sleep(100);
  device.Close();
  return played;
}

}  // namespace belvox
