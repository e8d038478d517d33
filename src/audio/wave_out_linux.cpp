#include "audio/wave_out_linux.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace belvox {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr unsigned kLatencyMicroseconds = 100000;
constexpr snd_pcm_uframes_t kChunkFrames = 1024;
// A plugin can block for good while it opens or closes (PulseAudio's with a
// frozen server, or a server with no session manager): the player stops
// waiting for the serving thread after these.
constexpr auto kOpenTimeout = 2s;
constexpr auto kCloseTimeout = 1s;
// A stream that neither takes nor plays audio for this long while some is
// pending has stalled, and the device is lost.
constexpr auto kStallTimeout = 2s;
// How often the serving thread reads the position while audio is pending.
constexpr auto kPollInterval = 2ms;
constexpr int kDeviceWaitMilliseconds = 5;

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// What the player's thread and the serving thread share, under `mutex`. The
// serving thread makes every ALSA call; it may outlive the device when a call
// never returns, so it holds this by a shared pointer of its own.
struct Stream {
  struct Buffer {
    const WaveHeader* header;
    std::uint64_t end = 0;  // stream position just after its last frame, once handed over
  };

  std::mutex mutex;
  std::condition_variable changed;
  PcmFormat format;
  std::vector<unsigned char> staging;  // one chunk, copied out of a buffer under the lock

  enum class Phase : std::uint8_t { Opening, Open, Failed, Closed } phase = Phase::Opening;
  std::deque<Buffer> buffers;  // written and not yet played
  std::size_t handedOver = 0;  // the leading buffers wholly given to ALSA
  bool draining = false;       // nothing more comes until every buffer has played
  bool closing = false;
  bool abandoned = false;  // the player has stopped waiting: touch none of its buffers
  bool lost = false;
};

// The serving thread: opens the PCM, hands it the buffers in chunks, and reports
// each buffer played once the device's position has passed its end.
class Server {
 public:
  explicit Server(std::shared_ptr<Stream> stream) : s_(std::move(stream)) {}

  void Run() {
    const bool opened = OpenPcm();
    std::unique_lock lock(s_->mutex);
    if (!opened) {
      s_->phase = Stream::Phase::Failed;
      s_->changed.notify_all();
      return;
    }
    s_->phase = Stream::Phase::Open;
    s_->changed.notify_all();
    Serve(lock);  // returns at once when the player gave up during the open
    lock.unlock();
    // What is left is silence, or audio nobody waits for any more.
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    lock.lock();
    s_->phase = Stream::Phase::Closed;
    s_->changed.notify_all();
  }

 private:
  bool OpenPcm() {
    if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    const PcmFormat& format = s_->format;
    if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                           format.sampleRate, 1, kLatencyMicroseconds) < 0) {
      snd_pcm_close(pcm_);
      return false;
    }
    frameBytes_ = format.BytesPerFrame();
    return true;
  }

  void Serve(std::unique_lock<std::mutex>& lock) {
    lastProgress_ = Clock::now();
    for (;;) {
      if (s_->closing || s_->abandoned || s_->lost) return;

      const bool audio = s_->handedOver < s_->buffers.size();
      if (!audio && s_->draining && !s_->buffers.empty()) {
        // Nothing more comes until the last buffer has played: let the device play
        // out. A plugin that only passes on whole periods then passes on the last.
        lock.unlock();
        const bool drained = Drain();
        lock.lock();
        if (!drained) {
          s_->lost = true;
          s_->changed.notify_all();
          return;
        }
        s_->buffers.clear();
        s_->handedOver = 0;
        s_->changed.notify_all();
        continue;
      }
      snd_pcm_uframes_t frames = 0;
      if (audio) {
        const WaveHeader& header = *s_->buffers[s_->handedOver].header;
        frames = std::min(kChunkFrames, header.bytes / frameBytes_ - offset_);
        std::memcpy(s_->staging.data(), static_cast<const unsigned char*>(header.data) + offset_ * frameBytes_,
                    frames * frameBytes_);
      }
      lock.unlock();
      const snd_pcm_sframes_t written = frames > 0 ? Write(frames) : 0;
      const std::uint64_t heard = Heard();
      lock.lock();

      if (written < 0 || (!s_->buffers.empty() && Clock::now() - lastProgress_ > kStallTimeout)) {
        s_->lost = true;
        s_->changed.notify_all();
        return;
      }
      if (audio) HandOver(static_cast<snd_pcm_uframes_t>(written));
      Complete(heard);

      if (frames > 0 && static_cast<snd_pcm_uframes_t>(written) == frames) continue;  // more may fit now
      if (frames > 0) {
        lock.unlock();
        snd_pcm_wait(pcm_, kDeviceWaitMilliseconds);  // the device is full
        lock.lock();
      } else if (!s_->buffers.empty()) {
        s_->changed.wait_for(lock, kPollInterval);
      } else {
        s_->changed.wait(lock, [&] { return s_->closing || s_->abandoned || s_->lost || !s_->buffers.empty(); });
        lastProgress_ = Clock::now();
      }
    }
  }

  // Frames written, 0 while the device is full, -1 when it failed for good.
  snd_pcm_sframes_t Write(snd_pcm_uframes_t frames) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room < 0) return Recover(static_cast<int>(room));
    if (room == 0) return 0;
    const snd_pcm_sframes_t written =
        snd_pcm_writei(pcm_, s_->staging.data(), std::min(frames, static_cast<snd_pcm_uframes_t>(room)));
    if (written == -EAGAIN) return 0;
    if (written < 0) return Recover(static_cast<int>(written));
    position_ += static_cast<std::uint64_t>(written);
    lastProgress_ = Clock::now();
    return written;
  }

  // An underrun or a suspend is recovered; anything else loses the device.
  snd_pcm_sframes_t Recover(int error) {
    if (error == -EPIPE) heard_ = position_;  // the device ran dry: it played everything
    return snd_pcm_recover(pcm_, error, 1) < 0 ? -1 : 0;
  }

  // Waits, blocking, until the device has played all it holds (starting a stream
  // that holds less than its start threshold); the stream is then ready for
  // more. A stream that ran dry has nothing left to play.
  bool Drain() {
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_XRUN) {
      snd_pcm_nonblock(pcm_, 0);
      const int drained = snd_pcm_drain(pcm_);
      snd_pcm_nonblock(pcm_, 1);
      if (drained < 0) return false;
    }
    heard_ = position_;
    lastProgress_ = Clock::now();
    return snd_pcm_prepare(pcm_) == 0;
  }

  // The stream position the listener has reached: what was written, less what
  // the device still holds or has yet to pass on.
  std::uint64_t Heard() {
    snd_pcm_sframes_t delay = 0;
    std::uint64_t heard = heard_;
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_XRUN) {
      heard = position_;
    } else if (snd_pcm_delay(pcm_, &delay) == 0) {
      heard = position_ - std::min<std::uint64_t>(position_, static_cast<std::uint64_t>(std::max<long>(delay, 0)));
    }
    if (heard > heard_) {
      heard_ = heard;
      lastProgress_ = Clock::now();
    }
    return heard_;
  }

  void HandOver(snd_pcm_uframes_t written) {
    Stream::Buffer& buffer = s_->buffers[s_->handedOver];
    offset_ += written;
    if (offset_ < buffer.header->bytes / frameBytes_) return;
    buffer.end = position_;
    ++s_->handedOver;
    offset_ = 0;
  }

  void Complete(std::uint64_t heard) {
    bool completed = false;
    while (s_->handedOver > 0 && s_->buffers.front().end <= heard) {
      s_->buffers.pop_front();
      --s_->handedOver;
      completed = true;
    }
    if (completed) s_->changed.notify_all();
  }

  std::shared_ptr<Stream> s_;
  snd_pcm_t* pcm_ = nullptr;
  std::uint32_t frameBytes_ = 2;
  std::uint64_t position_ = 0;  // frames written to ALSA, silence included
  std::uint64_t heard_ = 0;
  snd_pcm_uframes_t offset_ = 0;  // frames of the buffer being handed over that ALSA has
  Clock::time_point lastProgress_;
};

class AlsaWaveOut final : public WaveOut {
 public:
  ~AlsaWaveOut() override { Close(); }

  bool Open(const PcmFormat& format) override {
    Close();
    snd_lib_error_set_handler(IgnoreAlsaError);
    try {
      stream_ = std::make_shared<Stream>();
      stream_->format = format;
      stream_->staging.resize(kChunkFrames * format.BytesPerFrame());
      thread_ = std::thread([stream = stream_] { Server(stream).Run(); });
    } catch (const std::exception&) {  // no memory, or no thread
      stream_.reset();
      return false;
    }
    std::unique_lock lock(stream_->mutex);
    stream_->changed.wait_for(lock, kOpenTimeout, [&] { return stream_->phase != Stream::Phase::Opening; });
    if (stream_->phase == Stream::Phase::Open) return true;
    const bool failed = stream_->phase == Stream::Phase::Failed;
    stream_->abandoned = !failed;  // still opening: it closes what it opens, in its own time
    lock.unlock();
    if (failed) {
      thread_.join();
    } else {
      thread_.detach();
    }
    stream_.reset();
    return false;
  }

  bool Prepare(WaveHeader& header) override { return stream_ != nullptr && header.data != nullptr; }

  bool Write(WaveHeader& header) override {
    if (!stream_) return false;
    std::lock_guard lock(stream_->mutex);
    try {
      stream_->buffers.push_back({&header});
    } catch (const std::bad_alloc&) {
      return false;
    }
    stream_->changed.notify_all();
    return true;
  }

  void Unprepare(WaveHeader&) override {}

  bool WaitPending(int limit, std::chrono::milliseconds atMost) override {
    if (!stream_) return false;
    std::unique_lock lock(stream_->mutex);
    stream_->draining = limit == 0;
    stream_->changed.notify_all();
    const bool done = stream_->changed.wait_for(lock, atMost, [&] {
      return static_cast<int>(stream_->buffers.size()) <= limit || stream_->lost;
    });
    stream_->draining = false;
    if (done && !stream_->lost) return true;
    stream_->lost = true;
    stream_->changed.notify_all();
    return false;
  }

  // The player resets a device only when it has given up on it: the serving
  // thread stops, and what is left is dropped when the device closes.
  void Reset() override {
    if (!stream_) return;
    std::lock_guard lock(stream_->mutex);
    stream_->lost = true;
    stream_->changed.notify_all();
  }

  // Waits a bounded time for the serving thread to close the PCM; a thread that
  // does not manage is left to end with the process.
  void Close() override {
    if (!thread_.joinable()) return;
    std::unique_lock lock(stream_->mutex);
    stream_->closing = true;
    stream_->changed.notify_all();
    const bool ended = stream_->changed.wait_for(lock, kCloseTimeout, [&] {
      return stream_->phase == Stream::Phase::Closed || stream_->phase == Stream::Phase::Failed;
    });
    stream_->abandoned = !ended;
    lock.unlock();
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();
    }
    stream_.reset();
  }

  void Sleep(std::uint32_t milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

 private:
  std::shared_ptr<Stream> stream_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<WaveOut> MakeAlsaWaveOut() { return std::make_unique<AlsaWaveOut>(); }

}  // namespace belvox
