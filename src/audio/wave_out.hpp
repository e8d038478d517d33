#pragma once

#include <atomic>
#include <cstdint>

namespace belvox {

// Buffers written to a device whose completion has not been reported yet.
// The player raises it just before each write; the device lowers it, on a
// thread of its own, when a buffer's last frame has been played.
extern std::atomic<int> OutstandingBuffers;

struct PcmFormat {
  std::uint32_t sampleRate = 44100;
  std::uint16_t channels = 1;
  std::uint16_t bitsPerSample = 16;  // signed little-endian samples

  std::uint32_t BytesPerFrame() const { return channels * (bitsPerSample / 8u); }
};

struct WaveHeader {
  static constexpr std::uint32_t kBeginLoop = 0x04;
  static constexpr std::uint32_t kEndLoop = 0x08;

  const void* data = nullptr;
  std::uint32_t bytes = 0;
  std::uint32_t flags = 0;
  std::uint32_t loops = 0;
  void* native = nullptr;  // the device's own bookkeeping for this header
};

// A waveform-audio output device: queued buffers play back to back in the
// order written, and each one's end is reported once through OutstandingBuffers.
class WaveOut {
 public:
  virtual ~WaveOut() = default;

  virtual bool Open(const PcmFormat& format) = 0;
  virtual bool Prepare(WaveHeader& header) = 0;
  // Queues the buffer and returns at once.
  virtual bool Write(WaveHeader& header) = 0;
  virtual void Unprepare(WaveHeader& header) = 0;
  // Stops playback at once; buffers still queued are reported done.
  virtual void Reset() = 0;
  virtual void Close() = 0;
  // Suspends the caller; a device may return early when a buffer completes.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // True once the device has failed for good: no more completions will come.
  virtual bool Lost() const { return false; }
};

}  // namespace belvox
