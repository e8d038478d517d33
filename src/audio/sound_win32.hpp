#pragma once

#include <memory>

#include "audio/sound.hpp"

namespace belvox {

// MessageBeep, Beep, Sleep, _waccess_s and PlaySoundW; wave-out through winmm.
class Win32Sound final : public Sound {
 public:
  Win32Sound();
  ~Win32Sound() override;

  WaveOut& WaveOutDevice() override;
  Playback PlayAlert(std::uint32_t alertType) override;
  Playback PlaySpeakerTones(const ToneSequence& tones) override;
  bool WavExists(const std::filesystem::path& path) override;
  Playback PlayWavFile(const std::filesystem::path& path) override;

 private:
  std::unique_ptr<WaveOut> device_;
};

}  // namespace belvox
