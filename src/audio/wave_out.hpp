#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace belvox {

// How a playback ended; every failure but NotPlayable has a message of its own.
enum class Playback : std::uint8_t { Played, NotPlayable, DeviceUnavailable, OutOfMemory };

struct PcmFormat {
  std::uint32_t sampleRate = 44100;
  std::uint16_t channels = 1;
  std::uint16_t bitsPerSample = 16;  // signed little-endian samples

  std::uint32_t BytesPerFrame() const { return channels * (bitsPerSample / 8u); }
};

// An audio output device as the player uses it: blocks play back to back in the
// order queued. The device judges its own liveness (see liveness.hpp): a wait
// ends in false once it has stopped making the progress it should.
class WaveOut {
 public:
  virtual ~WaveOut() = default;

  // Played once the device is open; else why it did not open. A device opens once.
  virtual Playback Open(const PcmFormat& format) = 0;
  // Queues a block of whole frames. Its memory must stay as it is until the
  // block has played or the device has been stopped.
  virtual bool Queue(std::span<const std::byte> block) = 0;
  // Returns true once at most `blocks` queued blocks have yet to finish playing;
  // false when the device is lost.
  virtual bool WaitPending(std::size_t blocks) = 0;
  // Silences the device at once; it reads no queued block afterwards.
  virtual void Stop() = 0;
  // False when the device, as it closed, lost audio it had taken, or did not
  // close within its allowance. A closed device closes again at once.
  virtual bool Close() = 0;
};

// The time the player pauses in; tests simulate it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

}  // namespace belvox
