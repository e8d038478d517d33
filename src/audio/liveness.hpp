// How belvox keeps a sound system that stops answering from holding it up.
//
// - Any call into a sound system may block for good (a frozen server, a stuck
//   driver), so such calls run on a thread other than the one that waits for them:
//   RunBounded's, or a device's own feeding thread.
// - The waiting thread waits on a Timeline in slices (Await) and after each asks a
//   ProgressWatch whether the device is lost: its position stood still while it
//   held audio, or one call did not return, for longer than its allowance.
// - A slice that ends more than kLateWake later than it asked found the process
//   stopped (a SIGSTOP, a machine that slept): the watch starts afresh, so the
//   stop is not held against the device.
// - A thread left in a call is detached and noted (LeftBehind): the process then
//   ends without the teardown that would wait for it, or crash under it.
//
// Tests run the same code on a virtual Timeline whose time moves only when every
// thread waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace belvox {

using std::chrono::milliseconds;

// How long a device may stand still while it holds audio: before it has started
// (a deep-buffered sink renders seconds ahead and takes nothing new meanwhile),
// and once it plays; and how long one call may take. The latency the device
// reports comes on top.
inline constexpr milliseconds kStartAllowance{4000};
inline constexpr milliseconds kStallAllowance{2000};
// A wait that ends more than this later than it asked found the process stopped.
inline constexpr milliseconds kLateWake{500};
// The longest a waiting thread goes without a look at the device.
inline constexpr milliseconds kSlice{250};

// The time devices play by, and the waits of the threads that drive them.
class Timeline {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Timeline() = default;
  virtual TimePoint Now() = 0;
  // Releases `lock` until `changed` is notified or `until` passes, then takes it
  // again; it may also end early for no reason.
  virtual void Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, TimePoint until) = 0;
  virtual void Notify(std::condition_variable& changed) = 0;
  // A thread that uses the timeline is about to start (told by the thread that
  // starts it), or has ended (told by itself).
  virtual void Starting() {}
  virtual void Ended() {}

  void SleepUntil(TimePoint until);
};

// The steady clock, and waits on it.
Timeline& SystemTimeline();

// Starts `work` on a thread that `timeline` knows of. Throws what std::thread throws.
std::thread StartThread(Timeline& timeline, std::function<void()> work);

// Notes that a sound system was left behind, holding a thread in a call or
// audio of belvox's; LeftBehind() tells.
void NoteLeftBehind();
bool LeftBehind();

// Joins `thread` once it has ended; one still in a call is detached and noted
// as left behind.
void EndThread(std::thread& thread, bool ended);

// Judges whether a device still makes the progress it should (see above).
class ProgressWatch {
 public:
  using TimePoint = Timeline::TimePoint;

  explicit ProgressWatch(TimePoint now) : since_(now) {}

  // The stream (re)starts: it may take kStartAllowance to play.
  void Restart(TimePoint now);
  // The stream starts anew after a failure: it may take kStartAllowance from its
  // last progress to play again. A device that fails again and again without
  // playing is lost all the same.
  void Recovered() { started_ = false; }
  // The device has played `position` frames (a count that only grows), says it
  // holds `latency` of audio, and has audio to play when `holding`.
  void Observe(std::uint64_t position, milliseconds latency, bool holding, TimePoint now);
  // A call starts that may take `allowance`.
  void CallStarted(TimePoint now, milliseconds allowance = kStallAllowance) {
    call_ = now;
    callAllowance_ = allowance;
  }
  void CallEnded() { call_.reset(); }
  // A wait until `until` ended at `now`: far later than that, the process was
  // stopped meanwhile, and what stood still did so because the process did.
  void Woke(TimePoint until, TimePoint now);
  bool Lost(TimePoint now) const { return now > Deadline(); }
  // The earliest time at which the device may be lost, if nothing changes meanwhile.
  TimePoint Deadline() const;

 private:
  TimePoint since_;  // when the position last advanced, or audio arrived
  std::optional<TimePoint> call_;
  milliseconds callAllowance_{0};
  std::uint64_t position_ = 0;
  milliseconds latency_{0};
  bool holding_ = false;
  bool started_ = false;
};

// Waits on `timeline` until `done()` holds, looking at least every `slice`;
// false once `watch` finds the device lost.
template <typename Done>
bool Await(Timeline& timeline, std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
           ProgressWatch& watch, Done done, milliseconds slice = kSlice) {
  for (;;) {
    if (done()) return true;
    const auto now = timeline.Now();
    if (watch.Lost(now)) return false;
    const auto until = watch.Deadline() - now < slice ? watch.Deadline() + milliseconds(1) : now + slice;
    timeline.Wait(lock, changed, until);
    watch.Woke(until, timeline.Now());
  }
}

// Lets a bounded call have `allowance` more from now on.
using Extend = std::function<void(milliseconds allowance)>;

// Runs `work` on a thread of its own and waits for it `allowance` of running
// time at most; false when it had not returned by then (it is left behind) or no
// thread could be had.
bool RunBoundedCall(Timeline& timeline, milliseconds allowance, std::function<void(const Extend&)> work);

// The same for a call with a result: nullopt when it had not returned in time.
template <typename Work>
auto RunBounded(Timeline& timeline, milliseconds allowance, Work work)
    -> std::optional<decltype(work(std::declval<const Extend&>()))> {
  using Result = decltype(work(std::declval<const Extend&>()));
  std::shared_ptr<std::optional<Result>> result;
  try {
    result = std::make_shared<std::optional<Result>>();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  const bool returned = RunBoundedCall(timeline, allowance, [result, work = std::move(work)](const Extend& extend) {
    *result = work(extend);
  });
  return returned ? *result : std::nullopt;
}

}  // namespace belvox
