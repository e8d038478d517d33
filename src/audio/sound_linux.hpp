#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "audio/sound.hpp"

namespace belvox {

// Alerts are the desktop's event sounds (libcanberra); beeps are square waves
// (through the sound card, as Windows plays them today) and WAV files are decoded
// by libsndfile, both played on the device given (ALSA's default device).
class LinuxSound final : public Sound {
 public:
  explicit LinuxSound(std::unique_ptr<WaveOut> device);
  ~LinuxSound() override;

  WaveOut& Device() override { return *device_; }
  Clock& Time() override;
  Playback PlayAlert(Alert alert) override;
  Playback PlaySpeakerTones(const ToneSequence& tones) override;
  bool WavExists(const std::filesystem::path& path) override;
  Playback PlayWavFile(const std::filesystem::path& path) override;

 private:
  std::unique_ptr<WaveOut> device_;
};

// The desktop event sounds for an alert, best first.
std::span<const std::string_view> EventSoundIds(Alert alert);

}  // namespace belvox
