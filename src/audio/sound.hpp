#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "audio/wave_out.hpp"
#include "common/tone.hpp"

namespace belvox {

// The system's sound services that the actions use.
class Sound {
 public:
  virtual ~Sound() = default;

  virtual WaveOut& WaveOutDevice() = 0;
  // Plays one of the system alerts (0, 0x10, 0x20, 0x30, 0x40). Windows returns at
  // once; Linux waits for the sound, which would be cut off when the process exits.
  virtual Playback PlayAlert(std::uint32_t alertType) = 0;
  // Beeps the steps in order and returns when the last has finished.
  virtual Playback PlaySpeakerTones(const ToneSequence& tones) = 0;
  virtual bool WavExists(const std::filesystem::path& path) = 0;
  // Plays a WAV file to its end.
  virtual Playback PlayWavFile(const std::filesystem::path& path) = 0;
};

// One call of the speaker service: a beep (frequency truncated to whole hertz)
// or, for a step of frequency 0, a rest.
struct SpeakerCall {
  bool rest;
  std::uint32_t frequency;
  std::uint32_t milliseconds;

  friend bool operator==(const SpeakerCall&, const SpeakerCall&) = default;
};

std::vector<SpeakerCall> SpeakerCalls(const ToneSequence& tones);

// The desktop event sounds for an alert type, best first.
std::span<const std::string_view> AlertSoundIds(std::uint32_t alertType);

}  // namespace belvox
