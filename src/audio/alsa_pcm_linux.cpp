#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <future>

#include "audio/alsa_route_linux.hpp"
#include "audio/pcm_linux.hpp"

namespace belvox {
namespace {

constexpr unsigned kBufferMicroseconds = 200000;
constexpr std::array<std::byte, 4096> kSilence{};

std::atomic<unsigned> systemErrors{0};
void CountSystemError(const char*, int, const char*, int error, const char*, ...) {
  if (error != 0) systemErrors.fetch_add(1, std::memory_order_relaxed);
}

class AlsaPcm final : public Pcm {
 public:
  AlsaPcm() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~AlsaPcm() override {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
    if (wake_ >= 0) ::close(wake_);
  }

  long Open(const PcmFormat& format) override {
    if (wake_ < 0) return -EMFILE;
    const char* name = PlaybackPcmName();
    // The server behind the PCM may be asked its name: while the PCM opens, the
    // configuration read once before both.
    snd_config_update();
    std::future<PcmRoute> asked;
    try {
      asked = std::async(std::launch::async, RouteOf, name);
    } catch (const std::exception&) {  // no thread: ask after the open
    }
    if (const int error = snd_pcm_open(&pcm_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); error < 0) {
      pcm_ = nullptr;
      return error;
    }
    errors_ = AlsaSystemErrors();
    const PcmRoute route = asked.valid() ? asked.get() : RouteOf(name);
    if (const int error = SetParams(format, route.periodMicroseconds); error < 0) return error;
    frameBytes_ = static_cast<std::size_t>(snd_pcm_frames_to_bytes(pcm_, 1));
    playsOutSilence_ = route.pipeWirePlugin && frameBytes_ > 0 && frameBytes_ <= kSilence.size();
    return static_cast<long>(bufferFrames_);
  }

  long Avail() override { return snd_pcm_avail_update(pcm_); }
  long Write(const std::byte* frames, std::size_t count) override { return snd_pcm_writei(pcm_, frames, count); }

  int Delay(long& frames) override {
    snd_pcm_sframes_t delay = 0;
    const int error = snd_pcm_delay(pcm_, &delay);
    frames = delay;
    return error;
  }

  bool Underrun() override { return snd_pcm_state(pcm_) == SND_PCM_STATE_XRUN; }
  int Recover(int error) override { return snd_pcm_recover(pcm_, error, 1); }

  // A drain starts a stream that holds less than its start threshold.
  int Drain() override {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_XRUN) return snd_pcm_prepare(pcm_);
    int drained = 0;
    if (playsOutSilence_) {
      drained = PlayOutSilence();
    } else {
      snd_pcm_nonblock(pcm_, 0);
      drained = snd_pcm_drain(pcm_);
      snd_pcm_nonblock(pcm_, 1);
    }
    return drained < 0 ? drained : snd_pcm_prepare(pcm_);
  }

  // Only Wake ends a wait early: the feeder works out when the device will have
  // room, since PipeWire's plugin (0.3.65) keeps its descriptor readable while its
  // buffer is full, and a wait on it would spin.
  void Wait(std::chrono::milliseconds timeout) override {
    pollfd wake{wake_, POLLIN, 0};
    if (::poll(&wake, 1, static_cast<int>(timeout.count())) <= 0) return;
    std::uint64_t wakes = 0;
    (void)!::read(wake_, &wakes, sizeof wakes);
  }

  void Wake() override {
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }

  bool Close() override {
    if (pcm_ == nullptr) return true;
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return AlsaSystemErrors() == errors_;
  }

  TimePoint Now() override { return std::chrono::steady_clock::now(); }

 private:
  // PipeWire's plugin (0.3.65) drains by ending its stream, and PipeWire drops
  // what is left of the graph's last quantum when that is longer than the
  // period (1024 frames on a virtual machine). So silence follows the audio
  // until the delay shows the audio heard, and is then dropped. A device that
  // ran dry has played everything.
  int PlayOutSilence() {
    long after = 0;  // frames of silence written after the audio
    for (;;) {
      snd_pcm_sframes_t delay = 0;
      const int error = snd_pcm_delay(pcm_, &delay);
      if (error == -EPIPE || (error == 0 && delay <= after)) break;
      const long room = error < 0 ? error : snd_pcm_avail_update(pcm_);
      const long written =
          room > 0 ? snd_pcm_writei(pcm_, kSilence.data(), std::min<std::size_t>(room, kSilence.size() / frameBytes_))
                   : room;
      if (written == -EPIPE) break;
      if (written < 0 && written != -EAGAIN) return static_cast<int>(written);
      if (written > 0) {
        after += written;
      } else {
        ::poll(nullptr, 0, 5);  // until the device has room again
      }
    }
    return snd_pcm_drop(pcm_);
  }

  // The buffer in periods of about `periodMicroseconds`; the stream starts once
  // the buffer is full, or when it is drained.
  int SetParams(const PcmFormat& format, unsigned periodMicroseconds) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_sw_params_alloca(&sw);
    unsigned buffer = kBufferMicroseconds;
    snd_pcm_uframes_t period = 0;
    int error = 0;
    const auto ok = [&](int result) { return (error = result) >= 0; };
    return ok(snd_pcm_hw_params_any(pcm_, hw)) && ok(snd_pcm_hw_params_set_rate_resample(pcm_, hw, 1)) &&
                   ok(snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) &&
                   ok(snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE)) &&
                   ok(snd_pcm_hw_params_set_channels(pcm_, hw, format.channels)) &&
                   ok(snd_pcm_hw_params_set_rate(pcm_, hw, format.sampleRate, 0)) &&
                   ok(snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &buffer, nullptr)) &&
                   ok(snd_pcm_hw_params_set_period_time_near(pcm_, hw, &periodMicroseconds, nullptr)) &&
                   ok(snd_pcm_hw_params(pcm_, hw)) && ok(snd_pcm_get_params(pcm_, &bufferFrames_, &period)) &&
                   ok(snd_pcm_sw_params_current(pcm_, sw)) &&
                   ok(snd_pcm_sw_params_set_start_threshold(pcm_, sw, bufferFrames_)) &&
                   ok(snd_pcm_sw_params_set_avail_min(pcm_, sw, period)) && ok(snd_pcm_sw_params(pcm_, sw))
               ? 0
               : error;
  }

  snd_pcm_t* pcm_ = nullptr;
  const int wake_;  // an eventfd
  snd_pcm_uframes_t bufferFrames_ = 0;
  std::size_t frameBytes_ = 0;
  bool playsOutSilence_ = false;
  unsigned errors_ = 0;  // ALSA's reports of system errors before the PCM was set up
};

}  // namespace

std::unique_ptr<Pcm> MakeAlsaPcm() { return std::make_unique<AlsaPcm>(); }

void QuietAlsaReports() { snd_lib_error_set_handler(CountSystemError); }

unsigned AlsaSystemErrors() { return systemErrors.load(std::memory_order_relaxed); }

}  // namespace belvox
