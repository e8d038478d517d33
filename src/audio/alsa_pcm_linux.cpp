// ALSA's PCM, and what ALSA's configuration and the PulseAudio server behind it
// say of the route to choose: calls into ALSA and libpulse, nothing more.
#include <alsa/asoundlib.h>
#include <pulse/pulseaudio.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "audio/alsa_route_linux.hpp"
#include "audio/pcm_linux.hpp"

namespace belvox {
namespace {

constexpr unsigned kBufferMicroseconds = 200000;

std::atomic<unsigned> systemErrors{0};
void CountSystemError(const char*, int, const char*, int error, const char*, ...) {
  if (error != 0) systemErrors.fetch_add(1, std::memory_order_relaxed);
}

// The ALSA PCM that belvox plays on: the one AUDIODEV names when it is set and
// not empty, as other audio tools read it; otherwise "default".
const char* PlaybackPcmName() {
  const char* name = std::getenv("AUDIODEV");
  return name != nullptr && *name != '\0' ? name : "default";
}

// Runs the loop until `done` holds; false when the loop fails first.
template <typename Done>
bool Iterate(pa_mainloop* loop, Done done) {
  while (!done()) {
    if (pa_mainloop_iterate(loop, 1, nullptr) < 0) return false;
  }
  return true;
}

// What ALSA's configuration says of the PCM's plugin, and for PulseAudio's what
// its server calls itself.
PcmRoute RouteOf(const char* pcm) {
  std::string type;
  std::string server;
  snd_config_t* top = nullptr;
  if (snd_config_update_ref(&top) >= 0) {
    snd_config_t* definition = nullptr;
    if (snd_config_search_definition(top, "pcm", pcm, &definition) >= 0) {
      for (const auto& [key, value] : {std::pair{"type", &type}, std::pair{"server", &server}}) {
        snd_config_t* node = nullptr;
        const char* text = nullptr;
        if (snd_config_search(definition, key, &node) >= 0 && snd_config_get_string(node, &text) >= 0) *value = text;
      }
      snd_config_delete(definition);
    }
    snd_config_unref(top);
  }
  return ChooseRoute(type, type == "pulse" ? PulseServerName(server) : "");
}

class AlsaPcm final : public Pcm {
 public:
  ~AlsaPcm() override { Close(); }

  long Open(const PcmFormat& format) override {
    const char* name = PlaybackPcmName();
    errno = 0;
    if (const int error = snd_pcm_open(&pcm_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); error < 0) {
      pcm_ = nullptr;
      // A plugin that ran out of memory (PulseAudio's) may say only that it failed.
      return errno == ENOMEM ? -ENOMEM : error;
    }
    errors_ = AlsaSystemErrors();
    const PcmRoute route = RouteOf(name);
    playsOut_ = route.pipeWirePlugin;
    if (const int error = SetParams(format, route.periodMicroseconds); error < 0) return error;
    return static_cast<long>(bufferFrames_);
  }

  bool PlaysOutWithSilence() override { return playsOut_; }
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
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_XRUN) return 0;
    snd_pcm_nonblock(pcm_, 0);
    const int drained = snd_pcm_drain(pcm_);
    snd_pcm_nonblock(pcm_, 1);
    return drained;
  }

  bool Close() override {
    if (pcm_ == nullptr) return true;
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return AlsaSystemErrors() == errors_;
  }

 private:
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
  snd_pcm_uframes_t bufferFrames_ = 0;
  bool playsOut_ = false;
  unsigned errors_ = 0;  // ALSA's reports of system errors before the PCM was set up
};

}  // namespace

std::string PulseServerName(const std::string& server) {
  struct Answer {
    bool done = false;
    std::string name;
  } answer;
  pa_mainloop* loop = pa_mainloop_new();
  if (loop == nullptr) return {};
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "belvox");
  if (context != nullptr &&
      pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
      Iterate(loop,
              [&] {
                return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ||
                       pa_context_get_state(context) == PA_CONTEXT_READY;
              }) &&
      pa_context_get_state(context) == PA_CONTEXT_READY) {
    const auto told = [](pa_context*, const pa_server_info* info, void* data) {
      auto* answer = static_cast<Answer*>(data);
      if (info != nullptr && info->server_name != nullptr) answer->name = info->server_name;
      answer->done = true;
    };
    if (pa_operation* operation = pa_context_get_server_info(context, told, &answer)) {
      Iterate(loop, [&] { return answer.done || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
      pa_operation_unref(operation);
    }
    pa_context_disconnect(context);
  }
  if (context != nullptr) pa_context_unref(context);
  pa_mainloop_free(loop);
  return answer.name;
}

std::unique_ptr<Pcm> MakeAlsaPcm() { return std::make_unique<AlsaPcm>(); }

// libpulse writes its own reports (mmap() failed, when memory runs short) to
// standard error, unless told of another target or level: a user's own choice
// stands, else they go to the system log.
void QuietSoundLibraries() {
  snd_lib_error_set_handler(CountSystemError);
  if (!std::getenv("PULSE_LOG") && !std::getenv("PULSE_LOG_SYSLOG") && !std::getenv("PULSE_LOG_JOURNAL")) {
    setenv("PULSE_LOG_SYSLOG", "1", 0);
  }
}

unsigned AlsaSystemErrors() { return systemErrors.load(std::memory_order_relaxed); }

}  // namespace belvox
