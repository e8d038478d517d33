// An ALSA PCM as the player's device: "default", or the one AUDIODEV names
// (PipeWire and PulseAudio desktops included, through their ALSA plugins).
//
// How it works. Two threads share one `Shared` under its mutex. The player's
// thread calls Open, Queue, WaitPending, Stop and Close; a feeding thread makes
// every ALSA call, with the lock released.
// - Memory: Queue hands over a block's pointer and length, which the feeder keeps
//   in its own list. The feeder copies a block out, a chunk at a time, only under
//   the lock and only while the state is Open or Draining; the player's memory is
//   read while the player waits on it, never after it has given up (Lost or
//   Closing), whatever ALSA call the feeder was in at that moment.
// - A block has played once the device's position has passed its end: frames
//   written, less what the device holds (the larger of what it reports as its
//   delay and what is left in its buffer). When the player waits for everything,
//   the feeder drains the PCM, which also plays out a last part period.
// - Liveness: the feeder reports each position and each ALSA call to a
//   ProgressWatch; the player's waits wake every kWakeInterval to ask it. Time in
//   which the process was stopped (a SIGCONT handler counts continues) is not
//   held against the device.
// - A feeder stuck in a call (a frozen sound server) is detached: it holds
//   `Shared` by a shared pointer of its own and ends with the process.
#include "audio/wave_out_linux.hpp"

#include <alsa/asoundlib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "audio/alsa_route_linux.hpp"
#include "audio/progress_watch.hpp"

namespace belvox {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr unsigned kBufferMicroseconds = 200000;
constexpr snd_pcm_uframes_t kChunkFrames = 1024;
constexpr auto kWakeInterval = 20ms;  // how often a waiting player asks whether the device lives
constexpr auto kPollInterval = 2ms;   // how often the feeder reads the position while audio plays
// How long Close waits for the feeder to close the PCM before leaving it behind;
// a lost device's feeder is most likely stuck in a call.
constexpr auto kCloseAllowance = 1s;
constexpr auto kLostCloseAllowance = 200ms;
constexpr int kDeviceWaitMilliseconds = 5;

std::atomic<unsigned> continues{0};
void CountContinue(int) { continues.fetch_add(1, std::memory_order_relaxed); }

std::atomic<unsigned> systemErrors{0};
void CountSystemError(const char*, int, const char*, int error, const char*, ...) {
  if (error != 0) systemErrors.fetch_add(1, std::memory_order_relaxed);
}

// Opening -> Open | Lost | Closed; Open <-> Draining; Open, Draining -> Lost | Closing;
// Lost, Closing -> Closed. From Lost and Closing the feeder only closes the PCM.
enum class State : std::uint8_t { Opening, Open, Draining, Lost, Closing, Closed };

struct Block {
  const std::byte* data;
  std::size_t frames;
  std::uint64_t end = 0;  // stream position just after its last frame, once handed over
};

struct Shared {
  explicit Shared(const PcmFormat& f)
      : format(f), staging(kChunkFrames * f.BytesPerFrame()), watch(SteadyClock::now()) {}

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
  }

  std::mutex mutex;
  std::condition_variable changed;
  const PcmFormat format;
  std::vector<std::byte> staging;  // the feeder's: one chunk, copied out of a block under the lock
  State state = State::Opening;
  bool faulted = false;  // ALSA reported a system error while the PCM was open
  std::deque<Block> blocks;    // queued and not yet played
  std::size_t handedOver = 0;  // the leading blocks wholly written to ALSA
  ProgressWatch watch;
};

// The feeding thread: opens the PCM, writes the blocks to it in chunks and
// reports each block played once the device's position has passed its end.
class Feeder {
 public:
  explicit Feeder(std::shared_ptr<Shared> shared) : s_(std::move(shared)), frameBytes_(s_->format.BytesPerFrame()) {}

  void Run() {
    std::unique_lock lock(s_->mutex);
    if (!Call(lock, [&] { return OpenPcm(); })) {
      s_->MoveTo(State::Closed);
      return;
    }
    s_->MoveTo(State::Open);  // unless the player gave up meanwhile
    s_->watch.Restart(SteadyClock::now());
    const unsigned errors = AlsaSystemErrors();
    Feed(lock);
    // What is left is silence, or audio nobody waits for any more.
    Call(lock, [&] {
      snd_pcm_drop(pcm_);
      return snd_pcm_close(pcm_);
    });
    s_->faulted = AlsaSystemErrors() != errors;
    s_->MoveTo(State::Closed);
  }

 private:
  // Makes ALSA calls with the lock released, timed by the watch.
  template <typename Calls>
  std::invoke_result_t<Calls> Call(std::unique_lock<std::mutex>& lock, Calls calls) {
    s_->watch.CallStarted(SteadyClock::now());
    lock.unlock();
    const auto result = calls();
    lock.lock();
    s_->watch.CallEnded();
    return result;
  }

  bool OpenPcm() {
    const char* name = PlaybackPcmName();
    if (snd_pcm_open(&pcm_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    if (SetParams(PeriodMicroseconds(name))) return true;
    snd_pcm_close(pcm_);
    return false;
  }

  // The buffer in periods of about `periodMicroseconds`; the stream starts once
  // the buffer is full, or when it is drained.
  bool SetParams(unsigned periodMicroseconds) {
    const PcmFormat& format = s_->format;
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_sw_params_alloca(&sw);
    unsigned buffer = kBufferMicroseconds;
    snd_pcm_uframes_t period = 0;
    return snd_pcm_hw_params_any(pcm_, hw) >= 0 && snd_pcm_hw_params_set_rate_resample(pcm_, hw, 1) >= 0 &&
           snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm_, hw, format.channels) >= 0 &&
           snd_pcm_hw_params_set_rate(pcm_, hw, format.sampleRate, 0) >= 0 &&
           snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &buffer, nullptr) >= 0 &&
           snd_pcm_hw_params_set_period_time_near(pcm_, hw, &periodMicroseconds, nullptr) >= 0 &&
           snd_pcm_hw_params(pcm_, hw) >= 0 && snd_pcm_get_params(pcm_, &bufferFrames_, &period) >= 0 &&
           snd_pcm_sw_params_current(pcm_, sw) >= 0 &&
           snd_pcm_sw_params_set_start_threshold(pcm_, sw, bufferFrames_) >= 0 &&
           snd_pcm_sw_params_set_avail_min(pcm_, sw, period) >= 0 && snd_pcm_sw_params(pcm_, sw) >= 0;
  }

  void Feed(std::unique_lock<std::mutex>& lock) {
    while (s_->Feeding()) {
      const bool writing = s_->handedOver < s_->blocks.size();
      if (!writing && s_->state == State::Draining && !s_->blocks.empty()) {
        if (!Call(lock, [&] { return Drain(); })) return s_->MoveTo(State::Lost);
        if (!s_->Feeding()) return;
        s_->blocks.clear();
        s_->handedOver = 0;
        s_->watch.Restart(SteadyClock::now());
        s_->MoveTo(State::Open);
        continue;
      }
      snd_pcm_uframes_t frames = 0;
      if (writing) {
        const Block& block = s_->blocks[s_->handedOver];
        frames = std::min(kChunkFrames, block.frames - offset_);
        std::memcpy(s_->staging.data(), block.data + offset_ * frameBytes_, frames * frameBytes_);
      }
      const snd_pcm_sframes_t written = Call(lock, [&] { return Write(frames); });
      const std::uint64_t heard = Call(lock, [&] { return Heard(); });
      if (!s_->Feeding()) return;
      if (written < 0) return s_->MoveTo(State::Lost);
      if (writing) HandOver(static_cast<snd_pcm_uframes_t>(written));
      Complete(heard);
      const auto now = SteadyClock::now();
      if (std::exchange(recovered_, false)) s_->watch.Recovered();
      s_->watch.Observe(heard, Milliseconds(held_), !s_->blocks.empty(), now);

      if (frames > 0 && static_cast<snd_pcm_uframes_t>(written) == frames) continue;  // more may fit now
      if (frames > 0) {
        Call(lock, [&] { return snd_pcm_wait(pcm_, kDeviceWaitMilliseconds); });  // the device is full
      } else if (!s_->blocks.empty()) {
        s_->changed.wait_for(lock, kPollInterval);
      } else {
        s_->changed.wait(lock, [&] { return !s_->Feeding() || !s_->blocks.empty(); });
      }
    }
  }

  // Frames written, 0 while the device is full, -1 when it failed for good.
  snd_pcm_sframes_t Write(snd_pcm_uframes_t frames) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room < 0) return Recover(static_cast<int>(room));
    if (frames == 0 || room == 0) return 0;
    const snd_pcm_sframes_t written =
        snd_pcm_writei(pcm_, s_->staging.data(), std::min(frames, static_cast<snd_pcm_uframes_t>(room)));
    if (written == -EAGAIN) return 0;
    if (written < 0) return Recover(static_cast<int>(written));
    position_ += static_cast<std::uint64_t>(written);
    return written;
  }

  // An underrun (the process was stopped, say) or a suspend is recovered, and the
  // stream starts anew; anything else loses the device.
  snd_pcm_sframes_t Recover(int error) {
    if (error == -EPIPE) heard_ = position_;  // the device ran dry: it played everything
    recovered_ = true;
    return snd_pcm_recover(pcm_, error, 1) < 0 ? -1 : 0;
  }

  // Waits, blocking, until the device has played all it holds (starting a stream
  // that holds less than its start threshold); the stream is then ready for more.
  bool Drain() {
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_XRUN) {
      snd_pcm_nonblock(pcm_, 0);
      const int drained = snd_pcm_drain(pcm_);
      snd_pcm_nonblock(pcm_, 1);
      if (drained < 0) return false;
    }
    heard_ = position_;
    return snd_pcm_prepare(pcm_) == 0;
  }

  // The stream position the listener has reached. Some plugins report no delay
  // at all while they hold audio, so what is left in the buffer counts too.
  std::uint64_t Heard() {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_XRUN) {
      heard_ = position_;
      held_ = 0;
      return heard_;
    }
    snd_pcm_sframes_t delay = 0;
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room >= 0 && snd_pcm_delay(pcm_, &delay) == 0) {
      const auto buffered = static_cast<snd_pcm_sframes_t>(bufferFrames_) - room;
      held_ = static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>({delay, buffered, 0}));
      heard_ = std::max(heard_, position_ - std::min(position_, held_));
    }
    return heard_;
  }

  std::chrono::milliseconds Milliseconds(std::uint64_t frames) const {
    return std::chrono::milliseconds(frames * 1000 / s_->format.sampleRate);
  }

  void HandOver(snd_pcm_uframes_t written) {
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
  snd_pcm_t* pcm_ = nullptr;
  snd_pcm_uframes_t bufferFrames_ = 0;
  std::uint64_t position_ = 0;  // frames written to ALSA
  std::uint64_t heard_ = 0;
  std::uint64_t held_ = 0;        // frames the device holds
  snd_pcm_uframes_t offset_ = 0;  // frames of the block being handed over that ALSA has
  bool recovered_ = false;
};

class AlsaWaveOut final : public WaveOut {
 public:
  ~AlsaWaveOut() override { Close(); }

  bool Open(const PcmFormat& format) override {
    Close();
    Continues();
    try {
      shared_ = std::make_shared<Shared>(format);
      feeder_ = std::thread([shared = shared_] { Feeder(shared).Run(); });
    } catch (const std::exception&) {  // no memory, or no thread
      shared_.reset();
      return false;
    }
    std::unique_lock lock(shared_->mutex);
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
    shared_->MoveTo(State::Closing);
    shared_->changed.wait_for(lock, allowance, [&] { return shared_->state == State::Closed; });
    const bool faulted = shared_->faulted;
    Release(lock);
    return !faulted;
  }

 private:
  // Waits until `done` holds; false, with the device lost, once it stops making
  // the progress it should. Continues of the process are passed to the watch.
  template <typename Done>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Done done) {
    unsigned seen = Continues();
    for (;;) {
      if (done()) return true;
      const auto now = SteadyClock::now();
      if (const unsigned count = Continues(); count != seen) {
        seen = count;
        shared_->watch.Resumed(now);
      }
      if (shared_->state == State::Lost || shared_->state == State::Closed || shared_->watch.Lost(now)) {
        shared_->MoveTo(State::Lost);
        return false;
      }
      shared_->changed.wait_for(lock, kWakeInterval);
    }
  }

  // Joins a feeder that has ended; one still in an ALSA call is left to end with the process.
  void Release(std::unique_lock<std::mutex>& lock) {
    const bool ended = shared_->state == State::Closed;
    lock.unlock();
    if (ended) {
      feeder_.join();
    } else {
      feeder_.detach();
    }
    shared_.reset();
  }

  std::shared_ptr<Shared> shared_;
  std::thread feeder_;
};

}  // namespace

std::unique_ptr<WaveOut> MakeAlsaWaveOut() { return std::make_unique<AlsaWaveOut>(); }

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

void QuietAlsaReports() { snd_lib_error_set_handler(CountSystemError); }

unsigned AlsaSystemErrors() { return systemErrors.load(std::memory_order_relaxed); }

}  // namespace belvox
