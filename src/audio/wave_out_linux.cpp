#include "audio/wave_out_linux.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace belvox {
namespace {

constexpr unsigned kLatencyMicroseconds = 100000;
constexpr snd_pcm_uframes_t kChunkFrames = 1024;

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Hands queued buffers to ALSA on a thread of its own and reports each one done
// once the device has played its last frame.
class AlsaWaveOut final : public WaveOut {
 public:
  ~AlsaWaveOut() override { Close(); }

  bool Open(const PcmFormat& format) override {
    snd_lib_error_set_handler(IgnoreAlsaError);
    if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
      pcm_ = nullptr;
      return false;
    }
    if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                           format.sampleRate, 1, kLatencyMicroseconds) < 0) {
      snd_pcm_close(pcm_);
      pcm_ = nullptr;
      return false;
    }
    frameBytes_ = format.BytesPerFrame();
    lost_ = false;
    stopping_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  bool Prepare(WaveHeader& header) override { return pcm_ != nullptr && header.data != nullptr; }

  bool Write(WaveHeader& header) override {
    std::lock_guard lock(mutex_);
    if (pcm_ == nullptr || lost_) return false;
    queue_.push_back(&header);
    wake_.notify_all();
    return true;
  }

  void Unprepare(WaveHeader&) override {}

  void Reset() override {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) return;
    resetRequested_ = true;
    wake_.notify_all();
    wake_.wait(lock, [this] { return !resetRequested_ || lost_; });
  }

  void Close() override {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      wake_.notify_all();
    }
    thread_.join();
    if (!lost_) snd_pcm_drain(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

  // Returns early when a buffer completes, so that a player polling the count
  // goes on at once when the device runs faster than real time.
  void Sleep(std::uint32_t milliseconds) override {
    std::unique_lock lock(mutex_);
    const std::uint64_t seen = completions_;
    completed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return completions_ != seen || lost_; });
  }

  bool Lost() const override { return lost_; }

 private:
  void Serve() {
    std::unique_lock lock(mutex_);
    while (!stopping_ && !lost_) {
      if (resetRequested_) {
        DropEverything();
        resetRequested_ = false;
        wake_.notify_all();
        continue;
      }
      if (queue_.empty()) {
        lock.unlock();
        StartIfIdle();
        ReportPlayed();
        lock.lock();
        // Poll the device's position while something is still playing.
        if (pendingEnds_.empty()) {
          wake_.wait(lock, [this] { return stopping_ || resetRequested_ || !queue_.empty(); });
        } else {
          wake_.wait_for(lock, std::chrono::milliseconds(2));
        }
        continue;
      }
      WaveHeader* header = queue_.front();
      lock.unlock();
      const bool complete = Transfer(*header);
      lock.lock();
      if (complete) {
        pendingEnds_.push_back(framesWritten_);
        queue_.pop_front();
      }
    }
    if (lost_) {
      queue_.clear();
      pendingEnds_.clear();
      wake_.notify_all();
      completed_.notify_all();
    }
  }

  // Writes the rest of one buffer in chunks, reporting completions between them.
  // False when a reset or stop interrupted it, or the device failed.
  bool Transfer(WaveHeader& header) {
    const auto* bytes = static_cast<const unsigned char*>(header.data);
    const snd_pcm_uframes_t frames = header.bytes / frameBytes_;
    while (headerOffset_ < frames) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_ || resetRequested_) return false;
      }
      const snd_pcm_uframes_t chunk = std::min(kChunkFrames, frames - headerOffset_);
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, bytes + headerOffset_ * frameBytes_, chunk);
      if (written < 0) {
        // An underrun or a suspend is recovered; anything else loses the device.
        if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) {
          lost_ = true;
          return false;
        }
        continue;
      }
      headerOffset_ += static_cast<snd_pcm_uframes_t>(written);
      framesWritten_ += static_cast<std::uint64_t>(written);
      ReportPlayed();
    }
    headerOffset_ = 0;
    return true;
  }

  // A stream shorter than the device's start threshold is started by hand.
  void StartIfIdle() {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && !pendingEnds_.empty()) snd_pcm_start(pcm_);
  }

  void ReportPlayed() {
    // After an underrun everything written has been played; otherwise the
    // delay counts the frames written and not yet heard.
    std::uint64_t played = framesWritten_;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_XRUN && snd_pcm_delay(pcm_, &delay) == 0 && delay > 0) {
      played -= std::min<std::uint64_t>(framesWritten_, static_cast<std::uint64_t>(delay));
    }
    bool completed = false;
    while (!pendingEnds_.empty() && pendingEnds_.front() <= played) {
      pendingEnds_.pop_front();
      OutstandingBuffers.fetch_sub(1);
      completed = true;
    }
    if (completed) {
      std::lock_guard lock(mutex_);
      ++completions_;
      completed_.notify_all();
    }
  }

  void DropEverything() {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    OutstandingBuffers.fetch_sub(static_cast<int>(pendingEnds_.size() + queue_.size()));
    pendingEnds_.clear();
    queue_.clear();
    headerOffset_ = 0;
  }

  snd_pcm_t* pcm_ = nullptr;
  std::uint32_t frameBytes_ = 2;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable completed_;
  std::uint64_t completions_ = 0;
  std::deque<WaveHeader*> queue_;  // written, not yet wholly handed to ALSA
  bool stopping_ = false;
  bool resetRequested_ = false;
  std::atomic<bool> lost_ = false;

  // Owned by the serving thread.
  std::deque<std::uint64_t> pendingEnds_;  // stream position at which each handed-over buffer ends
  std::uint64_t framesWritten_ = 0;
  snd_pcm_uframes_t headerOffset_ = 0;
};

}  // namespace

std::unique_ptr<WaveOut> MakeAlsaWaveOut() { return std::make_unique<AlsaWaveOut>(); }

}  // namespace belvox
