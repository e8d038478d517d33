#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace belvox {

// How long a device may stand still while it holds audio to play: before it has
// started (a deep-buffered sink renders seconds ahead and takes nothing new
// meanwhile), and once it plays. The latency the device reports comes on top.
inline constexpr std::chrono::milliseconds kStartAllowance{4000};
inline constexpr std::chrono::milliseconds kStallAllowance{2000};
// A wait that returns this much later than it asked for found the process (or the
// machine) stopped meanwhile: the gap is not held against the device.
inline constexpr std::chrono::milliseconds kLateWake{500};
// How long a bounded wait sleeps between two looks at the time, so that a stop
// within it shows as a late wake.
inline constexpr std::chrono::milliseconds kRunningSlice{250};

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
  // A wait that began at `asked` for at most `wanted` ended at `now`: far later
  // than that, or `continued` after a stop, the process was stopped meanwhile.
  void Woke(TimePoint asked, std::chrono::milliseconds wanted, TimePoint now, bool continued = false) {
    if (continued || now - asked > wanted + kLateWake) Resumed(now);
  }
  bool Lost(TimePoint now) const;
  // The earliest time at which the device may be lost, if nothing changes meanwhile.
  TimePoint Deadline() const;

 private:
  TimePoint since_;  // when the position last advanced, or audio arrived
  std::optional<TimePoint> call_;
  std::uint64_t position_ = 0;
  std::chrono::milliseconds latency_{0};
  bool holding_ = false;
  bool started_ = false;
};

// Waits until `wait` reports that what it waits for holds, for at most `allowance`
// of the time in which the process ran. `wait(d)` waits up to d and says whether
// it holds; `now()` reads a steady clock; `resumed()` says whether the process
// was continued after a stop since it was last asked. A slice that ends in a
// resume, or kLateWake or more later than asked for, counts for nothing.
template <typename Wait, typename Now, typename Resumed>
bool WaitWhileRunning(std::chrono::milliseconds allowance, Wait wait, Now now, Resumed resumed) {
  using std::chrono::milliseconds;
  auto before = now();
  while (allowance > milliseconds(0)) {
    const milliseconds asked = std::min(allowance, kRunningSlice);
    if (wait(asked)) return true;
    const auto after = now();
    const auto took = std::chrono::duration_cast<milliseconds>(after - before);
    before = after;
    if (!resumed() && took < asked + kLateWake) allowance -= std::max(took, asked);
  }
  return false;
}

}  // namespace belvox
