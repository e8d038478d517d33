#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace belvox {

// How long a device may stand still while it holds audio to play: before it has
// started (a deep-buffered sink renders seconds ahead and takes nothing new
// meanwhile), and once it plays. The latency the device reports comes on top.
inline constexpr std::chrono::milliseconds kStartAllowance{4000};
inline constexpr std::chrono::milliseconds kStallAllowance{2000};

// Judges whether a device still makes the progress it should: it is lost when the
// position it reports stands still while it holds audio, or when one call into it
// does not return, for longer than its allowance. Time in which the process
// itself was stopped is not held against the device.
class ProgressWatch {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit ProgressWatch(TimePoint now) : since_(now) {}

  // The stream (re)starts from empty: it may take kStartAllowance to play again.
  void Restart(TimePoint now);
  // The stream starts anew after a failure: it may take kStartAllowance from its
  // last progress to play again. A device that fails again and again without
  // playing is lost all the same.
  void Recovered() { started_ = false; }
  // The device has played `position` frames (a count that only grows), says it
  // holds `latency` of audio, and has audio to play when `holding`.
  void Observe(std::uint64_t position, std::chrono::milliseconds latency, bool holding, TimePoint now);
  void CallStarted(TimePoint now) { call_ = now; }
  void CallEnded() { call_.reset(); }
  // The process was stopped and has been continued.
  void Resumed(TimePoint now);
  bool Lost(TimePoint now) const;

 private:
  TimePoint since_;  // when the position last advanced, or audio arrived
  std::optional<TimePoint> call_;
  std::uint64_t position_ = 0;
  std::chrono::milliseconds latency_{0};
  bool holding_ = false;
  bool started_ = false;
};

}  // namespace belvox
