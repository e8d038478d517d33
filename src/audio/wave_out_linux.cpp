// A PCM as the player's device, fed from a thread of its own.
//
// How it works. Two threads share one `Shared` under its mutex: the player's
// (Open, Queue, WaitPending, Stop, Close) and the feeder, which makes every call
// into the PCM with the lock released, so that a PCM that never returns holds up
// the feeder alone, which is then left behind (see liveness.hpp).
// - Memory: Queue hands over a block's pointer and length. The feeder copies a
//   block out, a chunk at a time, only under the lock and only while the state is
//   Open or Draining: once the player has given up (Lost or Closing) no block is
//   read, whatever call the feeder was in at that moment.
// - A block has played once the device's position has passed its end: frames
//   written less what the device holds (the larger of its delay and what is left
//   in its buffer). At the end the feeder drains the PCM, or writes silence
//   behind the audio until it has been heard.
// - The feeder sleeps until half the buffer is due to be free or the first block
//   still to finish is due to have played, or until the player changes something;
//   the player until a block finishes, the state changes or the device is late.
//   The feeder sleeps at least kLeastWait, and at most kSlice.
#include "audio/wave_out_linux.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace belvox {
namespace {

using namespace std::chrono_literals;
using TimePoint = Timeline::TimePoint;

constexpr std::size_t kChunkFrames = 1024;
constexpr milliseconds kLeastWait = 5ms;
// How long the PCM may take to close; past it, it lost what it still held.
constexpr milliseconds kCloseAllowance = 1s;

// Opening -> Open | Lost | Closed; Open -> Draining; Open, Draining -> Lost | Closing;
// Lost, Closing -> Closed: every move goes down this list. From Lost and Closing
// the feeder only closes the PCM.
enum class State : std::uint8_t { Opening, Open, Draining, Closing, Lost, Closed };

struct Block {
  const std::byte* data;
  std::size_t frames;
  std::uint64_t end = 0;  // stream position just after its last frame, once handed over
};

struct Shared {
  Shared(std::unique_ptr<Pcm> opened, const PcmFormat& f, Timeline& t)
      : pcm(std::move(opened)), format(f), timeline(t), staging(kChunkFrames * f.BytesPerFrame()), watch(t.Now()) {}

  bool Feeding() const { return state == State::Open || state == State::Draining; }

  // A move up the list, or back to Closing from Lost, is ignored.
  void MoveTo(State next) {
    if (next <= state) return;
    state = next;
    Changed();
  }
  // Counted: a feeder that was in a call missed the notify, and must not wait.
  void Changed() { ++changes, timeline.Notify(changed); }

  std::mutex mutex;
  std::condition_variable changed;
  const std::unique_ptr<Pcm> pcm;
  const PcmFormat format;
  Timeline& timeline;
  std::vector<std::byte> staging;  // the feeder's: one chunk, copied out of a block under the lock
  State state = State::Opening;
  std::uint64_t changes = 0;   // what the player changed: blocks queued, moves
  long error = 0;              // why the PCM did not open, or -EIO: it lost audio it had taken as it closed
  std::deque<Block> blocks;    // queued and not yet played
  std::size_t handedOver = 0;  // the leading blocks wholly written to the PCM
  ProgressWatch watch;
};

// Opens the PCM, writes the blocks to it in chunks and reports each block played
// once the device's position has passed its end.
class Feeder {
 public:
  explicit Feeder(std::shared_ptr<Shared> shared) : s_(std::move(shared)), frameBytes_(s_->format.BytesPerFrame()) {}

  // Runs on a thread of its own until the PCM is closed.
  void Run() {
    std::unique_lock lock(s_->mutex);
    if (!Start(lock)) return;
    while (s_->Feeding()) Step(lock);
    // What is left is silence, or audio nobody waits for any more.
    if (!Call(lock, [&] { return s_->pcm->Close(); }, kCloseAllowance)) s_->error = -EIO;
    s_->MoveTo(State::Closed);
  }

 private:
  // Opens the PCM: Open, unless the player gave up meanwhile; else Closed.
  bool Start(std::unique_lock<std::mutex>& lock) {
    const long frames = Call(lock, [&] { return s_->pcm->Open(s_->format); });
    if (frames <= 0) {
      s_->error = frames;
      s_->MoveTo(State::Closed);
      return false;
    }
    bufferFrames_ = static_cast<std::uint64_t>(frames);
    s_->MoveTo(State::Open);
    return true;
  }

  // Writes what fits, reports what has played, judges the device and waits for
  // what comes next.
  void Step(std::unique_lock<std::mutex>& lock) {
    const std::uint64_t seen = s_->changes;
    // With nothing queued there is nothing to judge the device by.
    if (s_->blocks.empty()) return s_->timeline.Wait(lock, s_->changed, TimePoint::max());
    const bool writing = s_->handedOver < s_->blocks.size();
    const bool draining = !writing && s_->state == State::Draining;
    if (draining && !s_->pcm->PlaysOutWithSilence()) return Drain(lock);

    std::size_t frames = 0;
    if (writing) {
      const Block& block = s_->blocks[s_->handedOver];
      frames = std::min(kChunkFrames, block.frames - offset_);
      std::memcpy(s_->staging.data(), block.data + offset_ * frameBytes_, frames * frameBytes_);
    } else if (draining) {
      frames = kChunkFrames;
      std::fill(s_->staging.begin(), s_->staging.end(), std::byte{0});
    }
    const long written = Call(lock, [&] { return Write(frames); });
    const std::uint64_t heard = Call(lock, [&] { return Heard(); });
    if (written < 0) return s_->MoveTo(State::Lost);
    if (writing) HandOver(static_cast<std::size_t>(written));
    Complete(heard);
    const TimePoint now = s_->timeline.Now();
    if (std::exchange(recovered_, false)) s_->watch.Recovered();
    s_->watch.Observe(heard, Milliseconds(held_), !s_->blocks.empty(), now);
    if (s_->watch.Lost(now)) return s_->MoveTo(State::Lost);

    if (written > 0 || s_->changes != seen) return;  // more may fit now, or more has come
    const TimePoint until = now + Timeout(frames > 0);
    s_->timeline.Wait(lock, s_->changed, until);
    s_->watch.Woke(until, s_->timeline.Now());
  }

  // Calls into the PCM with the lock released, timed by the watch.
  template <typename Calls>
  std::invoke_result_t<Calls> Call(std::unique_lock<std::mutex>& lock, Calls calls,
                                   milliseconds allowance = kStallAllowance) {
    s_->watch.CallStarted(s_->timeline.Now(), allowance);
    lock.unlock();
    const auto result = calls();
    lock.lock();
    s_->watch.CallEnded();
    return result;
  }

  // Everything has been written and the player waits for all of it. A drain that
  // a signal interrupts is asked for again.
  void Drain(std::unique_lock<std::mutex>& lock) {
    const int drained = Call(lock, [&] {
      int result = 0;
      do {
        result = s_->pcm->Drain();
      } while (result == -EINTR);
      return result;
    });
    if (drained < 0) return s_->MoveTo(State::Lost);
    Complete(position_);
  }

  // Until half the buffer is due to be free, while the device is `full` (as the
  // frames in the buffer tell: a deep sink's latency may be seconds), or until
  // the first block still to finish is due to have played, whichever comes first.
  milliseconds Timeout(bool full) const {
    std::uint64_t frames = UINT64_MAX;
    if (full) frames = buffered_ - std::min(buffered_, bufferFrames_ / 2);
    if (s_->handedOver > 0) frames = std::min(frames, s_->blocks.front().end - std::min(s_->blocks.front().end, heard_));
    if (frames == UINT64_MAX) return kSlice;
    return std::clamp(Milliseconds(frames) + 1ms, kLeastWait, kSlice);
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
    recovered_ = true;
    return s_->pcm->Recover(error) < 0 ? -1 : 0;
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
    if (completed) s_->timeline.Notify(s_->changed);
  }

  std::shared_ptr<Shared> s_;
  const std::uint32_t frameBytes_;
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
  FeedingWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm, Timeline& timeline)
      : makePcm_(std::move(makePcm)), timeline_(timeline) {}
  ~FeedingWaveOut() override { Close(); }

  Playback Open(const PcmFormat& format) override {
    try {
      shared_ = std::make_shared<Shared>(makePcm_(), format, timeline_);
      feeder_ = StartThread(timeline_, [shared = shared_] { Feeder(shared).Run(); });
    } catch (const std::bad_alloc&) {
      shared_.reset();
      return Playback::OutOfMemory;
    } catch (const std::exception&) {  // no thread
      shared_.reset();
      return Playback::DeviceUnavailable;
    }
    std::unique_lock lock(shared_->mutex);
    if (WaitUntil(lock, [&] { return shared_->state != State::Opening; })) return Playback::Played;
    const bool noMemory = shared_->error == -ENOMEM;
    Release(lock);
    return noMemory ? Playback::OutOfMemory : Playback::DeviceUnavailable;
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
    shared_->Changed();
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

  // A feeder that does not close the PCM within the close's allowance, or is
  // still stuck in an earlier call, is left behind.
  bool Close() override {
    if (!shared_) return true;
    std::unique_lock lock(shared_->mutex);
    shared_->MoveTo(State::Closing);
    Await(timeline_, lock, shared_->changed, shared_->watch, [&] { return shared_->state == State::Closed; });
    const bool closed = shared_->state == State::Closed && shared_->error == 0;
    Release(lock);
    return closed;
  }

 private:
  // Waits until `done` holds, with the device Open or Draining; false, with the
  // device lost, once it stops making the progress it should or feeding ends.
  template <typename Done>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Done done) {
    const auto settled = [&] { return (done() && shared_->Feeding()) || shared_->state >= State::Closing; };
    if (Await(timeline_, lock, shared_->changed, shared_->watch, settled) && shared_->Feeding()) return true;
    shared_->MoveTo(State::Lost);
    return false;
  }

  // Joins a feeder that has ended; one still in a call is left behind.
  void Release(std::unique_lock<std::mutex>& lock) {
    const bool ended = shared_->state == State::Closed;
    lock.unlock();
    EndThread(feeder_, ended);
    shared_.reset();
  }

  std::function<std::unique_ptr<Pcm>()> makePcm_;
  Timeline& timeline_;
  std::shared_ptr<Shared> shared_;
  std::thread feeder_;
};

}  // namespace

std::unique_ptr<WaveOut> MakeFeedingWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm, Timeline& timeline) {
  return std::make_unique<FeedingWaveOut>(std::move(makePcm), timeline);
}

}  // namespace belvox
