#include "audio/sound_linux.hpp"

#include <canberra.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "audio/pcm_linux.hpp"
#include "audio/player.hpp"
#include "audio/progress_watch.hpp"
#include "audio/wav_decoder_linux.hpp"
#include "audio/wave_out_linux.hpp"

namespace belvox {
namespace {

using namespace std::chrono_literals;

// libcanberra blocks for good on a frozen sound server, so event sounds play on
// a thread of their own. Starting one may take kStallAllowance; an event sound
// lasts a few seconds at most.
constexpr auto kEventSoundAllowance = 5s;

class SteadyClock final : public Clock {
 public:
  void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

// What the thread that plays event sounds reports to the one that waits for it.
struct EventSoundProgress {
  std::mutex mutex;
  std::condition_variable changed;
  bool starting = true;  // in libcanberra's calls, which a frozen server never answers
  bool finished = false;
  bool played = false;

  void Update(bool isStarting, bool isFinished, bool isPlayed) {
    std::lock_guard lock(mutex);
    starting = isStarting;
    finished = isFinished;
    played = isPlayed;
    changed.notify_all();
  }
};

// Plays one event sound by its id and waits for it to finish, since a process
// that exits cuts its event sound off. False when it could not be played.
bool PlayEventSound(std::string_view id, EventSoundProgress& progress) {
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
  bool played = ca_proplist_create(&properties) == CA_SUCCESS &&
                ca_proplist_sets(properties, CA_PROP_EVENT_ID, std::string(id).c_str()) == CA_SUCCESS &&
                ca_context_play_full(context, 1, properties, finish, &completion) == CA_SUCCESS;
  if (properties != nullptr) ca_proplist_destroy(properties);
  if (played) {
    progress.Update(false, false, false);
    const unsigned continues = Continues();
    std::unique_lock lock(completion.mutex);
    completion.done.wait(lock, [&] { return completion.finished; });
    // The server plays a started sound whether or not its client runs; a stop of
    // 30 s or more outlasts the client library's timeout, which then fails it.
    played = completion.error == CA_SUCCESS || Continues() != continues;
  }
  if (!played) ca_context_cancel(context, 1);
  ca_context_destroy(context);
  return played;
}

// Plays the first of the event sounds that the theme has. Unavailable when libcanberra
// did not start one within kStallAllowance or did not finish it within
// kEventSoundAllowance; the thread is then left to end with the process.
Playback PlayEventSounds(std::span<const std::string_view> ids) {
  std::shared_ptr<EventSoundProgress> progress;
  std::thread player;
  try {
    progress = std::make_shared<EventSoundProgress>();
    player = std::thread([ids, progress] {
      // libcanberra's ALSA driver may play into a plugin that loses the audio and only says so.
      const unsigned errors = AlsaSystemErrors();
      bool played = false;
      for (std::string_view id : ids) {
        progress->Update(true, false, false);
        if ((played = PlayEventSound(id, *progress))) break;
      }
      progress->Update(false, true, played && AlsaSystemErrors() == errors);
    });
  } catch (const std::exception&) {  // no memory, or no thread
    return Playback::DeviceUnavailable;
  }
  std::unique_lock lock(progress->mutex);
  unsigned seen = Continues();
  while (!progress->finished) {
    const bool starting = progress->starting;
    const bool changed = WaitWhileRunning(
        starting ? kStallAllowance : kEventSoundAllowance,
        [&](std::chrono::milliseconds most) {
          return progress->changed.wait_for(lock, most,
                                            [&] { return progress->finished || progress->starting != starting; });
        },
        std::chrono::steady_clock::now,
        [&] {
          const unsigned count = Continues();
          return std::exchange(seen, count) != count;
        });
    if (!changed) break;
  }
  const bool finished = progress->finished;
  lock.unlock();
  if (!finished) {
    player.detach();
    return Playback::DeviceUnavailable;
  }
  player.join();
  return progress->played ? Playback::Played : Playback::NotPlayable;
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
  QuietAlsaReports();
  return std::make_unique<LinuxSound>(MakeAlsaWaveOut());
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
