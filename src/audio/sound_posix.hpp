#pragma once

#include <memory>

#include "audio/sound.hpp"

namespace belvox {

// Alerts are desktop event sounds; beeps and WAV files play on ALSA's default device.
class PosixSound final : public Sound {
 public:
  PosixSound();
  ~PosixSound() override;

  WaveOut& WaveOutDevice() override;
  void PlayAlert(std::uint32_t alertType) override;
  bool Beep(std::uint32_t frequency, std::uint32_t milliseconds) override;
  bool Rest(std::uint32_t milliseconds) override;
  bool WavExists(const std::u16string& path) override;
  WavPlayback PlayWavFile(const std::u16string& path) override;

 private:
  std::unique_ptr<WaveOut> device_;
};

}  // namespace belvox
