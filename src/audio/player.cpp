#include "audio/player.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "audio/synth.hpp"

namespace belvox {

std::atomic<int> OutstandingBuffers{0};

namespace {

// The duration rounded to the nearest 10 ms, halves up.
std::uint32_t RoundedDuration(const ToneStep& step) { return (step.duration + 5u) / 10u * 10u; }

std::uint32_t StepSamples(const ToneStep& step) { return StepBytes(RoundedDuration(step)) / 2; }

// Writes one step's samples and returns the position after them.
std::int16_t* RenderStep(const ToneStep& step, Waveform waveform, std::int16_t* samples) {
  const std::uint32_t count = StepSamples(step);
  if (step.frequency == 0.0) {
    std::fill_n(samples, count, std::int16_t{0});
  } else {
    SynthesizeSamples(samples, count, waveform, step.frequency, kSampleRate);
  }
  return samples + count;
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

}  // namespace

bool PlayBuffer(WaveOut& device, const std::int16_t* samples, std::size_t count) {
  Queue queue(device);
  WaveHeader header;
  if (!queue.Submit(header, samples, static_cast<std::uint32_t>(count * 2)) || !queue.WaitWhileAbove(0)) {
    queue.Abandon();
    return false;
  }
  queue.Release(header);
  return true;
}

// Buffer i plays from header i mod 2 while buffer i + 1 is produced and queued behind it.
bool PlayStream(WaveOut& device, const std::function<bool(std::vector<std::int16_t>&)>& produce) {
  std::array<WaveHeader, 2> headers;
  std::array<std::vector<std::int16_t>, 2> buffers;
  Queue queue(device);
  std::size_t i = 0;
  for (; produce(buffers[i % 2]); ++i) {
    const auto& buffer = buffers[i % 2];
    if (!queue.Submit(headers[i % 2], buffer.data(), static_cast<std::uint32_t>(buffer.size() * 2))) {
      queue.Abandon();
      return false;
    }
    if (i > 0) {
      if (!queue.WaitWhileAbove(1)) {
        queue.Abandon();
        return false;
      }
      queue.Release(headers[(i - 1) % 2]);
      buffers[(i - 1) % 2] = {};
    }
  }
  if (!queue.WaitWhileAbove(0)) {
    queue.Abandon();
    return false;
  }
  if (i > 0) queue.Release(headers[(i - 1) % 2]);
  return true;
}

bool PlaySequence(std::span<const ToneStep> tones, Waveform waveform, WaveOut& device) {
  if (!device.Open(PcmFormat{})) return false;
  OutstandingBuffers.store(0);

  std::uint64_t totalBytes = 0;
  for (const ToneStep& step : tones) totalBytes += StepBytes(RoundedDuration(step));

  bool played = false;
  if (totalBytes < kWholeBufferLimit) {
    std::vector<std::int16_t> buffer(totalBytes / 2);
    std::int16_t* next = buffer.data();
    for (const ToneStep& step : tones) next = RenderStep(step, waveform, next);
    played = PlayBuffer(device, buffer.data(), buffer.size());
  } else {
    auto step = tones.begin();
    played = PlayStream(device, [&](std::vector<std::int16_t>& buffer) {
      if (step == tones.end()) return false;
      buffer.resize(StepSamples(*step));
      RenderStep(*step++, waveform, buffer.data());
      return true;
    });
  }
  if (played) device.Sleep(100);
  device.Close();
  return played;
}

}  // namespace belvox
