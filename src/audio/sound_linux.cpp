#include "audio/sound_linux.hpp"

#include <canberra.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "audio/player.hpp"
#include "audio/wav_decoder_linux.hpp"
#include "audio/wave_out_linux.hpp"

namespace belvox {
namespace {

using namespace std::chrono_literals;

// libcanberra blocks for good on a frozen sound server, so an alert is played
// on a thread of its own and waited for this long at most.
constexpr auto kAlertTimeout = 5s;

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
  bool played = ca_proplist_create(&properties) == CA_SUCCESS &&
                ca_proplist_sets(properties, CA_PROP_EVENT_ID, std::string(id).c_str()) == CA_SUCCESS &&
                ca_context_play_full(context, 1, properties, finish, &completion) == CA_SUCCESS;
  if (properties != nullptr) ca_proplist_destroy(properties);
  if (played) {
    std::unique_lock lock(completion.mutex);
    played = completion.done.wait_for(lock, kAlertTimeout, [&] { return completion.finished; }) &&
             completion.error == CA_SUCCESS;
  }
  if (!played) ca_context_cancel(context, 1);
  ca_context_destroy(context);
  return played;
}

// Plays the first of the event sounds that the theme has. False when none
// played within kAlertTimeout; a thread still blocked then ends with the process.
bool PlayEventSounds(std::span<const std::string_view> ids) {
  struct Outcome {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool played = false;
  };
  std::shared_ptr<Outcome> outcome;
  std::thread player;
  try {
    outcome = std::make_shared<Outcome>();
    player = std::thread([ids, outcome] {
      bool played = false;
      for (std::string_view id : ids) {
        if ((played = PlayEventSound(id))) break;
      }
      std::lock_guard lock(outcome->mutex);
      outcome->finished = true;
      outcome->played = played;
      outcome->done.notify_all();
    });
  } catch (const std::exception&) {  // no memory, or no thread
    return false;
  }
  std::unique_lock lock(outcome->mutex);
  const bool finished = outcome->done.wait_for(lock, kAlertTimeout, [&] { return outcome->finished; });
  lock.unlock();
  if (!finished) {
    player.detach();
    return false;
  }
  player.join();
  return outcome->played;
}

}  // namespace

LinuxSound::LinuxSound() : LinuxSound(MakeAlsaWaveOut()) {}
LinuxSound::LinuxSound(std::unique_ptr<WaveOut> device) : device_(std::move(device)) {}
LinuxSound::~LinuxSound() = default;

WaveOut& LinuxSound::WaveOutDevice() { return *device_; }

// With no event sound at all, a beep, as Windows falls back to one.
Playback LinuxSound::PlayAlert(std::uint32_t alertType) {
  if (PlayEventSounds(AlertSoundIds(alertType))) return Playback::Played;
  return PlaySpeakerTones({{800.0, 200}});
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
