#pragma once

#include <chrono>
#include <cstdint>

namespace belvox {

// How a playback ended; every failure but NotPlayable has a message of its own.
enum class Playback : std::uint8_t { Played, NotPlayable, DeviceUnavailable, OutOfMemory };

struct PcmFormat {
  std::uint32_t sampleRate = 44100;
  std::uint16_t channels = 1;
  std::uint16_t bitsPerSample = 16;  // signed little-endian samples

  std::uint32_t BytesPerFrame() const { return channels * (bitsPerSample / 8u); }
  // How long `bytes` of this format play, rounded up to whole milliseconds.
  std::chrono::milliseconds Duration(std::uint64_t bytes) const {
    const std::uint64_t perSecond = std::uint64_t{sampleRate} * BytesPerFrame();
    return std::chrono::milliseconds((bytes * 1000 + perSecond - 1) / perSecond);
  }
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

// A waveform-audio output device: queued buffers play back to back in the order
// written. The device counts the buffers written and not yet played; the player
// waits on that count through WaitPending, never without a deadline.
class WaveOut {
 public:
  virtual ~WaveOut() = default;

  virtual bool Open(const PcmFormat& format) = 0;
  virtual bool Prepare(WaveHeader& header) = 0;
  // Queues the buffer and returns at once; it is pending until it has been played.
  virtual bool Write(WaveHeader& header) = 0;
  virtual void Unprepare(WaveHeader& header) = 0;
  // Returns true once at most `limit` buffers are pending. False when the device
  // failed, or `atMost` passed first: the device then counts as lost.
  virtual bool WaitPending(int limit, std::chrono::milliseconds atMost) = 0;
  // Stops playback at once; no buffer is pending afterwards.
  virtual void Reset() = 0;
  virtual void Close() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace belvox
