// The Linux sound services.
//
// How it works. Beeps and WAV files play on the feeding device (ALSA), a WAV
// file decoded by libsndfile and streamed in buffers of a quarter second. An
// alert is the desktop's event sound: libcanberra plays it on a thread of its
// own, bounded as liveness.hpp describes. Once a sound has started, that thread
// asks the PulseAudio server behind it, every second, whether it still answers,
// and so the sound may play as long as it lasts; a server that stops answering
// is given up on 2 s later. With no PulseAudio server to ask, the sound may take
// 35 s. With no event sound at all, the beep stands in.
#include "audio/sound_linux.hpp"

#include <canberra.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "audio/liveness.hpp"
#include "audio/pcm_linux.hpp"
#include "audio/player.hpp"
#include "audio/wav_decoder_linux.hpp"
#include "audio/wave_out_linux.hpp"

namespace belvox {
namespace {

using namespace std::chrono_literals;

// How often a started sound's server is asked whether it still answers, and how
// long a sound may take with no PulseAudio server to ask.
constexpr milliseconds kLook{1000};
constexpr milliseconds kEventSoundAllowance{35000};

class SteadyClock final : public Clock {
 public:
  void Sleep(milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

// Plays one event sound by its id and waits for it to finish, since a process
// that exits cuts its event sound off. False when it could not be played.
bool PlayEventSound(std::string_view id, const Extend& extend) {
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
    SystemTimeline().Notify(c->done);
  };

  ca_proplist* properties = nullptr;
  bool played = ca_proplist_create(&properties) == CA_SUCCESS &&
                ca_proplist_sets(properties, CA_PROP_EVENT_ID, std::string(id).c_str()) == CA_SUCCESS &&
                ca_context_play_full(context, 1, properties, finish, &completion) == CA_SUCCESS;
  if (properties != nullptr) ca_proplist_destroy(properties);
  if (played) {
    // The server plays a started sound whether or not its client runs; a stop of
    // 30 s or more outlasts the client library's timeout, which then fails it.
    Timeline& timeline = SystemTimeline();
    bool stopped = false;
    bool asked = true;
    std::unique_lock lock(completion.mutex);
    while (!completion.finished) {
      if (asked) {
        extend(kStallAllowance);
        lock.unlock();
        asked = !PulseServerName("").empty();
        lock.lock();
        extend(asked ? kLook + kStallAllowance : kEventSoundAllowance);
        if (completion.finished) break;  // it finished while the server was asked: no notify will come
      }
      const auto until = timeline.Now() + kLook;
      timeline.Wait(lock, completion.done, until);
      stopped = stopped || timeline.Now() - until > kLateWake;
    }
    played = completion.error == CA_SUCCESS || stopped;
  }
  if (!played) ca_context_cancel(context, 1);
  ca_context_destroy(context);
  return played;
}

// Plays the first of the event sounds that the theme has. Unavailable when
// libcanberra did not start one within kStallAllowance, or did not finish it
// within kEventSoundAllowance; its thread is then left behind.
Playback PlayEventSounds(std::span<const std::string_view> ids) {
  const auto played = RunBounded(SystemTimeline(), kStallAllowance, [ids](const Extend& extend) {
    // libcanberra's ALSA driver may play into a plugin that loses the audio and only says so.
    const unsigned errors = AlsaSystemErrors();
    for (std::string_view id : ids) {
      extend(kStallAllowance);
      if (PlayEventSound(id, extend)) return AlsaSystemErrors() == errors;
    }
    return false;
  });
  if (!played) return Playback::DeviceUnavailable;
  return *played ? Playback::Played : Playback::NotPlayable;
}

}  // namespace

std::span<const std::string_view> EventSoundIds(Alert alert) {
  static constexpr std::array<std::string_view, 1> kBell{"bell"};
  static constexpr std::array<std::string_view, 3> kError{"dialog-error", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 3> kQuestion{"dialog-question", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 3> kWarning{"dialog-warning", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 2> kInformation{"dialog-information", "bell"};
  switch (alert) {
    case Alert::CriticalStop: return kError;
    case Alert::Question: return kQuestion;
    case Alert::Exclamation: return kWarning;
    case Alert::Asterisk: return kInformation;
    case Alert::Default: break;
  }
  return kBell;
}

std::unique_ptr<Sound> MakeSystemSound() {
  QuietSoundLibraries();
  return std::make_unique<LinuxSound>(MakeFeedingWaveOut(MakeAlsaPcm));
}

LinuxSound::LinuxSound(std::unique_ptr<WaveOut> device) : device_(std::move(device)) {}
LinuxSound::~LinuxSound() = default;

Clock& LinuxSound::Time() {
  static SteadyClock clock;
  return clock;
}

// With no event sound at all, a beep, as Windows falls back to one. A device
// that did not answer is not asked again.
Playback LinuxSound::PlayAlert(Alert alert) {
  const Playback played = PlayEventSounds(EventSoundIds(alert));
  if (played != Playback::NotPlayable) return played;
  return PlaySpeakerTones({kBeep});
}

// The beeps and rests play back to back through the sound card, so each starts
// exactly where the last one ended.
Playback LinuxSound::PlaySpeakerTones(const ToneSequence& tones) { return PlayBeeps(tones, *device_); }

bool LinuxSound::WavExists(const std::filesystem::path& path) { return ::access(path.c_str(), F_OK) == 0; }

Playback LinuxSound::PlayWavFile(const std::filesystem::path& path) {
  const auto file = WavDecoder::OpenFile(path);
  if (!file) return Playback::NotPlayable;
  const PcmFormat format = file->Format();
  const std::int64_t framesPerBuffer = format.sampleRate / 4;
  return PlayStream(*device_, format, static_cast<std::size_t>(framesPerBuffer) * format.channels,
                    [&](std::vector<std::int16_t>& buffer) { return file->Read(buffer, framesPerBuffer); });
}

}  // namespace belvox
