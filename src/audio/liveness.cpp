#include "audio/liveness.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace belvox {
namespace {

std::atomic<bool> leftBehind{false};

class SteadyTimeline final : public Timeline {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, TimePoint until) override {
    if (until == TimePoint::max()) {
      changed.wait(lock);
    } else {
      changed.wait_until(lock, until);
    }
  }
  void Notify(std::condition_variable& changed) override { changed.notify_all(); }
};

}  // namespace

void Timeline::SleepUntil(TimePoint until) {
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock lock(mutex);
  while (Now() < until) Wait(lock, never, until);
}

Timeline& SystemTimeline() {
  static SteadyTimeline timeline;
  return timeline;
}

std::thread StartThread(Timeline& timeline, std::function<void()> work) {
  timeline.Starting();
  try {
    return std::thread([&timeline, work = std::move(work)] {
      work();
      timeline.Ended();
    });
  } catch (...) {
    timeline.Ended();
    throw;
  }
}

void NoteLeftBehind() { leftBehind = true; }
bool LeftBehind() { return leftBehind; }

void EndThread(std::thread& thread, bool ended) {
  if (ended) {
    thread.join();
  } else {
    thread.detach();
    NoteLeftBehind();
  }
}

void ProgressWatch::Restart(TimePoint now) {
  started_ = false;
  since_ = now;
}

void ProgressWatch::Observe(std::uint64_t position, milliseconds latency, bool holding, TimePoint now) {
  if (position > position_ || !holding_) since_ = now;
  if (position > position_) started_ = true;
  position_ = std::max(position_, position);
  latency_ = latency;
  holding_ = holding;
}

// A stream that ran dry meanwhile starts anew.
void ProgressWatch::Woke(TimePoint until, TimePoint now) {
  if (now - until <= kLateWake) return;
  Restart(now);
  if (call_) call_ = now;
}

ProgressWatch::TimePoint ProgressWatch::Deadline() const {
  TimePoint deadline = TimePoint::max();
  if (call_) deadline = *call_ + callAllowance_ + latency_;
  if (holding_) deadline = std::min(deadline, since_ + (started_ ? kStallAllowance : kStartAllowance) + latency_);
  return deadline;
}

bool RunBoundedCall(Timeline& timeline, milliseconds allowance, std::function<void(const Extend&)> work) {
  struct Call {
    explicit Call(Timeline::TimePoint now) : watch(now) {}
    std::mutex mutex;
    std::condition_variable changed;
    ProgressWatch watch;
    bool done = false;
  };
  std::shared_ptr<Call> call;
  std::thread thread;
  try {
    call = std::make_shared<Call>(timeline.Now());
    call->watch.CallStarted(timeline.Now(), allowance);
    thread = StartThread(timeline, [&timeline, call, work = std::move(work)] {
      work([&](milliseconds more) {
        std::lock_guard lock(call->mutex);
        call->watch.CallStarted(timeline.Now(), more);
      });
      std::lock_guard lock(call->mutex);
      call->done = true;
      timeline.Notify(call->changed);
    });
  } catch (const std::exception&) {  // no memory, or no thread
    return false;
  }
  std::unique_lock lock(call->mutex);
  // A call that returned has let go of the lock: joining it under the lock is safe.
  const bool returned = Await(timeline, lock, call->changed, call->watch, [&] { return call->done; });
  EndThread(thread, returned);
  return returned;
}

}  // namespace belvox
