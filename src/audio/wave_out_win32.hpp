#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "audio/progress_watch.hpp"
#include "audio/wave_out.hpp"

namespace belvox {

// winmm's wave-out on WAVE_MAPPER, completions counted by a callback function.
std::unique_ptr<WaveOut> MakeWinmmWaveOut();

// Ends the process at once, its output flushed, when a thread was left in a winmm
// call that never returned: the teardown of an ordinary exit would wait for it, or
// crash under it.
void EndIfLeftInWinmm();
// Notes that a thread is left in winmm.
void LeftInWinmm();

// Runs `work`, a call that a sound system that does not answer never lets
// return, on a thread of its own and waits for it `allowance` of the time the
// process runs at most. nullopt when it had not returned by then (the thread is
// left in winmm) or no thread could be had.
template <typename Work>
auto RunBounded(Work work, std::chrono::milliseconds allowance) -> std::optional<decltype(work())> {
  using Result = decltype(work());
  struct Outcome {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Result> result;
  };
  std::shared_ptr<Outcome> outcome;
  try {
    outcome = std::make_shared<Outcome>();
    std::thread([outcome, work = std::move(work)] {
      Result result = work();
      std::lock_guard lock(outcome->mutex);
      outcome->result = std::move(result);
      outcome->done.notify_all();
    }).detach();
  } catch (const std::exception&) {  // no memory, or no thread
    return std::nullopt;
  }
  // Time in which the process was stopped, or the machine slept, is not held against the call.
  std::unique_lock lock(outcome->mutex);
  const bool returned = WaitWhileRunning(
      allowance,
      [&](std::chrono::milliseconds most) {
        return outcome->done.wait_for(lock, most, [&] { return outcome->result.has_value(); });
      },
      std::chrono::steady_clock::now, [] { return false; });
  if (!returned) LeftInWinmm();
  return outcome->result;
}

}  // namespace belvox
