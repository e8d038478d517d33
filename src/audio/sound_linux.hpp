#pragma once

#include <memory>

#include "audio/sound.hpp"

namespace belvox {

// Alerts are the desktop's event sounds (libcanberra); beeps are square waves
// (through the sound card, as Windows plays them today) and WAV files are decoded
// by libsndfile, both played on ALSA's default device.
class LinuxSound final : public Sound {
 public:
  LinuxSound();
  explicit LinuxSound(std::unique_ptr<WaveOut> device);
  ~LinuxSound() override;

  WaveOut& WaveOutDevice() override;
  Playback PlayAlert(std::uint32_t alertType) override;
  Playback PlaySpeakerTones(const ToneSequence& tones) override;
  bool WavExists(const std::filesystem::path& path) override;
  Playback PlayWavFile(const std::filesystem::path& path) override;

 private:
  std::unique_ptr<WaveOut> device_;
};

}  // namespace belvox
