#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "audio/liveness.hpp"
#include "audio/wave_out.hpp"

namespace belvox {

// winmm's wave-out calls as the device makes them, on WAVE_MAPPER; tests
// simulate them. Each may block for as long as the driver behind it does.
class Winmm {
 public:
  virtual ~Winmm() = default;

  // waveOutOpen with a callback function that takes 1 from `pending` at each
  // WOM_DONE and does nothing else.
  virtual Playback Open(const PcmFormat& format, std::atomic<int>& pending) = 0;
  // waveOutPrepareHeader, 1 more in `pending`, waveOutWrite: the block plays
  // once, and its memory stays as it is until it has been unprepared. False,
  // with `pending` as it was, when refused.
  virtual bool Write(std::span<const std::byte> block) = 0;
  // waveOutUnprepareHeader on the oldest block written and not yet unprepared.
  virtual void Unprepare() = 0;
  // waveOutGetPosition in samples; nullopt when the device does not tell.
  virtual std::optional<std::uint64_t> Position() = 0;
  // waveOutReset: every block is done at once, each reported to `pending` as any other.
  virtual void Reset() = 0;
  // False when the device lost audio as it closed.
  virtual bool Close() = 0;
};

// winmm's own.
std::unique_ptr<Winmm> MakeSystemWinmm();

// winmm's wave-out as the player's device, every call bounded on `timeline`.
std::unique_ptr<WaveOut> MakeWinmmWaveOut(std::unique_ptr<Winmm> winmm, Timeline& timeline = SystemTimeline());

}  // namespace belvox
