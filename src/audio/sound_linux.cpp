#include "audio/sound_linux.hpp"

#include <canberra.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "audio/player.hpp"
#include "audio/synth.hpp"
#include "audio/wav_decoder_linux.hpp"
#include "audio/wave_out_linux.hpp"

namespace belvox {
namespace {

// Plays one event sound by its id and waits for it to finish, since a process
// that exits cuts its event sound off. False when it could not be played.
bool PlayEventSound(std::string_view id) {
  ca_context* context = nullptr;
  if (ca_context_create(&context) != CA_SUCCESS) return false;
  ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "belvox", nullptr);

  struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = CA_SUCCESS;
  } completion;
  const auto finish = [](ca_context*, std::uint32_t, int error, void* data) {
    auto* c = static_cast<Completion*>(data);
    std::lock_guard lock(c->mutex);
    c->finished = true;
    c->error = error;
    c->done.notify_all();
  };

  ca_proplist* properties = nullptr;
  ca_proplist_create(&properties);
  ca_proplist_sets(properties, CA_PROP_EVENT_ID, std::string(id).c_str());
  bool played = ca_context_play_full(context, 1, properties, finish, &completion) == CA_SUCCESS;
  ca_proplist_destroy(properties);
  if (played) {
    std::unique_lock lock(completion.mutex);
    // Event sounds last a fraction of a second; never wait without end.
    played = completion.done.wait_for(lock, std::chrono::seconds(10), [&] { return completion.finished; }) &&
             completion.error == CA_SUCCESS;
  }
  if (!played) ca_context_cancel(context, 1);
  ca_context_destroy(context);
  return played;
}

// Sends standard error to /dev/null while it lives. libsndfile decodes MPEG data
// in a WAV file with libmpg123, which reports damaged frames there by itself;
// belvox's own message, if any, comes after.
class QuietStandardError {
 public:
  QuietStandardError() : saved_(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~QuietStandardError() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_;
};

}  // namespace

LinuxSound::LinuxSound() : LinuxSound(MakeAlsaWaveOut()) {}
LinuxSound::LinuxSound(std::unique_ptr<WaveOut> device) : device_(std::move(device)) {}
LinuxSound::~LinuxSound() = default;

WaveOut& LinuxSound::WaveOutDevice() { return *device_; }

void LinuxSound::PlayAlert(std::uint32_t alertType) {
  for (std::string_view id : AlertSoundIds(alertType)) {
    if (PlayEventSound(id)) return;
  }
  PlaySpeakerTones({{800.0, 200}});  // no event sound at all: a beep, as Windows falls back to one
}

// The beeps and rests are streamed back to back, so each starts exactly where the
// last one ended; a rest is silence of its length.
bool LinuxSound::PlaySpeakerTones(const ToneSequence& tones) {
  const std::vector<SpeakerCall> calls = SpeakerCalls(tones);
  if (!device_->Open(PcmFormat{})) return false;
  OutstandingBuffers.store(0);
  auto call = calls.begin();
  const bool played = PlayStream(*device_, [&](std::vector<std::int16_t>& buffer) {
    if (call == calls.end()) return false;
    buffer.assign(static_cast<std::size_t>(call->milliseconds) * kSampleRate / 1000, 0);
    if (!call->rest) {
      SynthesizeSamples(buffer.data(), static_cast<std::uint32_t>(buffer.size()), Waveform::Square, call->frequency,
                        kSampleRate);
    }
    ++call;
    return true;
  });
  device_->Close();
  return played;
}

bool LinuxSound::WavExists(const std::filesystem::path& path) { return ::access(path.c_str(), F_OK) == 0; }

WavPlayback LinuxSound::PlayWavFile(const std::filesystem::path& path) {
  const QuietStandardError quiet;
  const auto file = WavDecoder::OpenFile(path);
  if (!file) return WavPlayback::NotPlayable;
  const PcmFormat format = file->Format();
  if (!device_->Open(format)) return WavPlayback::DeviceUnavailable;
  OutstandingBuffers.store(0);
  const std::int64_t framesPerBuffer = format.sampleRate / 4;
  const bool played =
      PlayStream(*device_, [&](std::vector<std::int16_t>& buffer) { return file->Read(buffer, framesPerBuffer); });
  device_->Close();
  return played ? WavPlayback::Played : WavPlayback::DeviceUnavailable;
}

}  // namespace belvox
