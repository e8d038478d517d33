// A PCM as the player's device: ALSA's "default", or the one AUDIODEV names
// (PipeWire and PulseAudio desktops included, through their ALSA plugins).
//
// How it works. Two threads share one `Shared` under its mutex. The player's
// thread calls Open, Queue, WaitPending, Stop and Close; a feeding thread makes
// every call into the PCM, with the lock released.
// - Memory: Queue hands over a block's pointer and length, which the feeder keeps
//   in its own list. The feeder copies a block out, a chunk at a time, only under
//   the lock and only while the state is Open or Draining; the player's memory is
//   read while the player waits on it, never after it has given up (Lost or
//   Closing), whatever call the feeder was in at that moment.
// - A block has played once the device's position has passed its end: frames
//   written, less what the device holds (the larger of what it reports as its
//   delay and what is left in its buffer). When the player waits for everything,
//   the feeder drains the PCM, which also plays out a last part period.
// - Waking: the feeder sleeps until half the buffer is due to be free (while it
//   has audio to write) or the first block still to finish is due to end, as the
//   device's position and delay tell, or until the player wakes it; at most
//   kLookInterval, so that it sees the device's progress. The player sleeps until a block
//   finishes, the state changes, or the device would be late.
// - Liveness: both threads ask a ProgressWatch, which the feeder tells of each
//   position and each call into the PCM. Time in which the process was stopped
//   (a SIGCONT handler counts continues; a wait that ends far later than it
//   asked for) is not held against the device.
// - A feeder stuck in a call (a frozen sound server) is detached: it holds
//   `Shared` by a shared pointer of its own and ends with the process.
#include "audio/wave_out_linux.hpp"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "audio/progress_watch.hpp"

namespace belvox {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using TimePoint = Pcm::TimePoint;

constexpr std::size_t kChunkFrames = 1024;
// The longest the feeder leaves the device unwatched while it holds audio, and
// the least it waits for the device to take more.
constexpr milliseconds kLookInterval = 250ms;
constexpr milliseconds kLeastWait = 5ms;
// How long Close waits for the feeder to close the PCM before leaving it behind;
// a lost device's feeder is most likely stuck in a call.
constexpr auto kCloseAllowance = 1s;
constexpr auto kLostCloseAllowance = 200ms;

std::atomic<unsigned> continues{0};
void CountContinue(int) { continues.fetch_add(1, std::memory_order_relaxed); }

// Opening -> Open | Lost | Closed; Open <-> Draining; Open, Draining -> Lost | Closing;
// Lost, Closing -> Closed. From Lost and Closing the feeder only closes the PCM.
enum class State : std::uint8_t { Opening, Open, Draining, Lost, Closing, Closed };

struct Block {
  const std::byte* data;
  std::size_t frames;
  std::uint64_t end = 0;  // stream position just after its last frame, once handed over
};

struct Shared {
  Shared(std::unique_ptr<Pcm> opened, const PcmFormat& f)
      : pcm(std::move(opened)), format(f), staging(kChunkFrames * f.BytesPerFrame()), watch(pcm->Now()) {}

  bool Feeding() const { return state == State::Open || state == State::Draining; }

  // Every change of state goes through here; a move that the diagram lacks is ignored.
  void MoveTo(State next) {
    bool allowed = false;
    switch (state) {
      case State::Opening: allowed = next == State::Open || next == State::Lost || next == State::Closed; break;
      case State::Open: allowed = next == State::Draining || next == State::Lost || next == State::Closing; break;
      case State::Draining: allowed = next == State::Open || next == State::Lost || next == State::Closing; break;
      case State::Lost:
      case State::Closing: allowed = next == State::Closed; break;
      case State::Closed: break;
    }
    if (!allowed) return;
    state = next;
    changed.notify_all();
    pcm->Wake();
  }

  // Time in which the process was stopped is not held against the device.
  void NoteStops(unsigned& seen, TimePoint asked, milliseconds wanted) {
    const unsigned count = continues.load(std::memory_order_relaxed);
    watch.Woke(asked, wanted, pcm->Now(), std::exchange(seen, count) != count);
  }

  std::mutex mutex;
  std::condition_variable changed;
  const std::unique_ptr<Pcm> pcm;
  const PcmFormat format;
  std::vector<std::byte> staging;  // the feeder's: one chunk, copied out of a block under the lock
  State state = State::Opening;
  bool faulted = false;        // the PCM lost audio it had taken as it closed
  std::deque<Block> blocks;    // queued and not yet played
  std::size_t handedOver = 0;  // the leading blocks wholly written to the PCM
  ProgressWatch watch;
};

// Opens the PCM, writes the blocks to it in chunks and reports each block played
// once the device's position has passed its end.
class Feeder {
 public:
  explicit Feeder(std::shared_ptr<Shared> shared)
      : s_(std::move(shared)), frameBytes_(s_->format.BytesPerFrame()), seen_(continues.load()) {}

  // Runs on a thread of its own until the PCM is closed.
  void Run() {
    std::unique_lock lock(s_->mutex);
    if (!Start(lock)) return;
    while (Step(lock)) {
    }
    Finish(lock);
  }

  // Opens the PCM: Open, unless the player gave up meanwhile; else Closed.
  bool Start(std::unique_lock<std::mutex>& lock) {
    const long frames = Call(lock, [&] { return s_->pcm->Open(s_->format); });
    if (frames <= 0) {
      s_->MoveTo(State::Closed);
      return false;
    }
    bufferFrames_ = static_cast<std::uint64_t>(frames);
    s_->MoveTo(State::Open);
    s_->watch.Restart(s_->pcm->Now());
    return true;
  }

  // Writes what fits, reports what has played, judges the device and waits for
  // what comes next. False once feeding has ended.
  bool Step(std::unique_lock<std::mutex>& lock) {
    if (!s_->Feeding()) return false;
    const bool writing = s_->handedOver < s_->blocks.size();
    if (!writing && s_->blocks.empty()) {
      s_->changed.wait(lock, [&] { return !s_->Feeding() || !s_->blocks.empty(); });
      return true;
    }
    if (!writing && s_->state == State::Draining) return Drained(lock);

    std::size_t frames = 0;
    if (writing) {
      const Block& block = s_->blocks[s_->handedOver];
      frames = std::min(kChunkFrames, block.frames - offset_);
      std::memcpy(s_->staging.data(), block.data + offset_ * frameBytes_, frames * frameBytes_);
    }
    const long written = Call(lock, [&] { return Write(frames); });
    const std::uint64_t heard = Call(lock, [&] { return Heard(); });
    if (!s_->Feeding()) return false;
    if (written < 0) return Lose();
    if (writing) HandOver(static_cast<std::size_t>(written));
    Complete(heard);
    const TimePoint now = s_->pcm->Now();
    if (std::exchange(recovered_, false)) s_->watch.Recovered();
    s_->watch.Observe(heard, Milliseconds(held_), !s_->blocks.empty(), now);
    if (s_->watch.Lost(now)) return Lose();

    if (written > 0) return true;  // more may fit now
    const milliseconds timeout = Timeout(frames > 0);
    lock.unlock();
    s_->pcm->Wait(timeout);
    lock.lock();
    s_->NoteStops(seen_, now, timeout);
    return true;
  }

  // What is left is silence, or audio nobody waits for any more.
  // A close that outlasts its allowance (a plugin that cannot write its output)
  // played nothing it still held.
  void Finish(std::unique_lock<std::mutex>& lock) {
    const TimePoint asked = s_->pcm->Now();
    s_->faulted = !Call(lock, [&] { return s_->pcm->Close(); }) || s_->pcm->Now() - asked > kCloseAllowance;
    s_->MoveTo(State::Closed);
  }

 private:
  // Calls into the PCM with the lock released, timed by the watch.
  template <typename Calls>
  std::invoke_result_t<Calls> Call(std::unique_lock<std::mutex>& lock, Calls calls) {
    s_->watch.CallStarted(s_->pcm->Now());
    lock.unlock();
    const auto result = calls();
    lock.lock();
    s_->watch.CallEnded();
    return result;
  }

  bool Lose() {
    s_->MoveTo(State::Lost);
    return false;
  }

  // Everything has been written and the player waits for all of it: the stream
  // plays out, and is then ready for more.
  bool Drained(std::unique_lock<std::mutex>& lock) {
    const bool drained = Call(lock, [&] { return Drain(); });
    if (!s_->Feeding()) return false;
    if (!drained) return Lose();
    s_->blocks.clear();
    s_->handedOver = 0;
    s_->watch.Restart(s_->pcm->Now());
    s_->MoveTo(State::Open);
    return true;
  }

  // While the device is `full`, until half its buffer is due to be free (as the
  // frames in the buffer tell: a deep sink's latency may be seconds); else
  // until the first block still to finish is due to have played, once all of it
  // has been written. At least kLeastWait, at most kLookInterval.
  milliseconds Timeout(bool full) const {
    std::uint64_t frames = 0;
    if (full) {
      frames = buffered_ - std::min(buffered_, bufferFrames_ / 2);
    } else if (s_->handedOver > 0) {
      frames = s_->blocks.front().end - std::min(s_->blocks.front().end, heard_);
    }
    if (frames == 0 && !full) return kLookInterval;
    return std::clamp(Milliseconds(frames) + 1ms, kLeastWait, kLookInterval);
  }

  // Frames written, 0 while the device is full, -1 when it failed for good.
  long Write(std::size_t frames) {
    const long room = s_->pcm->Avail();
    if (room < 0) return Recover(static_cast<int>(room));
    if (frames == 0 || room == 0) return 0;
    const long written = s_->pcm->Write(s_->staging.data(), std::min(frames, static_cast<std::size_t>(room)));
    if (written == -EAGAIN) return 0;
    if (written < 0) return Recover(static_cast<int>(written));
    position_ += static_cast<std::uint64_t>(written);
    return written;
  }

  // An underrun (the process was stopped, say) or a suspend is recovered, and the
  // stream starts anew; anything else loses the device.
  long Recover(int error) {
    if (error == -EPIPE) heard_ = position_;  // the device ran dry: it played everything
    recovered_ = true;
    return s_->pcm->Recover(error) < 0 ? -1 : 0;
  }

  // A drain that a signal interrupts is asked for again.
  bool Drain() {
    int drained = 0;
    do {
      drained = s_->pcm->Drain();
    } while (drained == -EINTR);
    if (drained < 0) return false;
    heard_ = position_;
    return true;
  }

  // The stream position the listener has reached. Some plugins report no delay
  // at all while they hold audio, so what is left in the buffer counts too.
  std::uint64_t Heard() {
    if (s_->pcm->Underrun()) {
      heard_ = position_;
      held_ = buffered_ = 0;
      return heard_;
    }
    long delay = 0;
    const long room = s_->pcm->Avail();
    if (room >= 0 && s_->pcm->Delay(delay) == 0) {
      buffered_ = bufferFrames_ - std::min(bufferFrames_, static_cast<std::uint64_t>(room));
      held_ = std::max(buffered_, static_cast<std::uint64_t>(std::max(delay, 0L)));
      heard_ = std::max(heard_, position_ - std::min(position_, held_));
    }
    return heard_;
  }

  milliseconds Milliseconds(std::uint64_t frames) const { return milliseconds(frames * 1000 / s_->format.sampleRate); }

  void HandOver(std::size_t written) {
    Block& block = s_->blocks[s_->handedOver];
    offset_ += written;
    if (offset_ < block.frames) return;
    block.end = position_;
    ++s_->handedOver;
    offset_ = 0;
  }

  void Complete(std::uint64_t heard) {
    bool completed = false;
    while (s_->handedOver > 0 && s_->blocks.front().end <= heard) {
      s_->blocks.pop_front();
      --s_->handedOver;
      completed = true;
    }
    if (completed) s_->changed.notify_all();
  }

  std::shared_ptr<Shared> s_;
  const std::uint32_t frameBytes_;
  unsigned seen_;  // continues of the process so far
  std::uint64_t bufferFrames_ = 0;
  std::uint64_t position_ = 0;  // frames written to the PCM
  std::uint64_t heard_ = 0;
  std::uint64_t held_ = 0;      // frames the device holds, its sink's latency included
  std::uint64_t buffered_ = 0;  // of those, the frames still in the PCM's buffer
  std::size_t offset_ = 0;      // frames of the block being handed over that the PCM has
  bool recovered_ = false;
};

class FeedingWaveOut final : public WaveOut {
 public:
  FeedingWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm, bool threaded)
      : makePcm_(std::move(makePcm)), threaded_(threaded) {}
  ~FeedingWaveOut() override { Close(); }

  bool Open(const PcmFormat& format) override {
    Close();
    Continues();
    try {
      shared_ = std::make_shared<Shared>(makePcm_(), format);
      if (threaded_) {
        feeder_ = std::thread([shared = shared_] { Feeder(shared).Run(); });
      } else {
        stepper_.emplace(shared_);
      }
    } catch (const std::exception&) {  // no memory, or no thread
      shared_.reset();
      return false;
    }
    std::unique_lock lock(shared_->mutex);
    if (stepper_) stepper_->Start(lock);
    WaitUntil(lock, [&] { return shared_->state != State::Opening; });
    if (shared_->state == State::Open) return true;
    shared_->MoveTo(State::Lost);  // the open never returned: the feeder closes what it opens
    Release(lock);
    return false;
  }

  bool Queue(std::span<const std::byte> block) override {
    if (!shared_) return false;
    std::lock_guard lock(shared_->mutex);
    if (!shared_->Feeding()) return false;
    try {
      shared_->blocks.push_back({block.data(), block.size() / shared_->format.BytesPerFrame()});
    } catch (const std::bad_alloc&) {
      return false;
    }
    shared_->changed.notify_all();
    shared_->pcm->Wake();
    return true;
  }

  bool WaitPending(std::size_t blocks) override {
    if (!shared_) return false;
    std::unique_lock lock(shared_->mutex);
    if (blocks == 0 && !shared_->blocks.empty()) shared_->MoveTo(State::Draining);
    return WaitUntil(lock, [&] { return shared_->blocks.size() <= blocks; });
  }

  void Stop() override {
    if (!shared_) return;
    std::lock_guard lock(shared_->mutex);
    shared_->MoveTo(State::Lost);
  }

  bool Close() override {
    if (!shared_) return true;
    std::unique_lock lock(shared_->mutex);
    const auto allowance = shared_->state == State::Lost ? kLostCloseAllowance : kCloseAllowance;
    const bool opened = shared_->state != State::Closed;
    shared_->MoveTo(State::Closing);
    if (stepper_ && opened) stepper_->Finish(lock);
    const bool closed = shared_->changed.wait_for(lock, allowance, [&] { return shared_->state == State::Closed; });
    const bool faulted = shared_->faulted || !closed;
    Release(lock);
    return !faulted;
  }

 private:
  // Waits until `done` holds; false, with the device lost, once it stops making
  // the progress it should. Without a thread of its own, the feeder runs here.
  template <typename Done>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Done done) {
    unsigned seen = continues.load(std::memory_order_relaxed);
    for (;;) {
      if (done()) return true;
      ProgressWatch& watch = shared_->watch;
      const TimePoint now = shared_->pcm->Now();
      if (shared_->state == State::Lost || shared_->state == State::Closed || watch.Lost(now)) {
        shared_->MoveTo(State::Lost);
        return false;
      }
      if (stepper_) {
        stepper_->Step(lock);
        continue;
      }
      const auto wait = std::min<TimePoint::duration>(watch.Deadline() - now, kStallAllowance) + 1ms;
      shared_->changed.wait_for(lock, wait);
      shared_->NoteStops(seen, now, std::chrono::duration_cast<milliseconds>(wait));
    }
  }

  // Joins a feeder that has ended; one still in a call is left to end with the process.
  void Release(std::unique_lock<std::mutex>& lock) {
    const bool ended = shared_->state == State::Closed;
    lock.unlock();
    if (feeder_.joinable()) {
      if (ended) {
        feeder_.join();
      } else {
        feeder_.detach();
      }
    }
    stepper_.reset();
    shared_.reset();
  }

  std::function<std::unique_ptr<Pcm>()> makePcm_;
  const bool threaded_;
  std::shared_ptr<Shared> shared_;
  std::thread feeder_;
  std::optional<Feeder> stepper_;  // the feeder, when it has no thread of its own
};

}  // namespace

std::unique_ptr<WaveOut> MakeAlsaWaveOut() { return std::make_unique<FeedingWaveOut>(MakeAlsaPcm, true); }

std::unique_ptr<WaveOut> MakeSteppedWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm) {
  return std::make_unique<FeedingWaveOut>(std::move(makePcm), false);
}

unsigned Continues() {
  static const bool counting = [] {
    struct sigaction action {};
    action.sa_handler = CountContinue;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGCONT, &action, nullptr) == 0;
  }();
  (void)counting;
  return continues.load(std::memory_order_relaxed);
}

}  // namespace belvox
