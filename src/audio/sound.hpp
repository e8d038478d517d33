#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/wave_out.hpp"
#include "common/tone.hpp"

namespace belvox {

// The system alerts that `/s` asks for; each platform maps them to its own sounds.
enum class Alert : std::uint8_t { Default, CriticalStop, Question, Exclamation, Asterisk };

// The beep of `/b`, and of an alert that has no sound of its own.
inline constexpr ToneStep kBeep{800.0, 200};

// The system's sound services that the actions use.
class Sound {
 public:
  virtual ~Sound() = default;

  virtual WaveOut& Device() = 0;
  virtual Clock& Time() = 0;
  // Windows returns at once; Linux waits for the sound, which would be cut off
  // when the process exits.
  virtual Playback PlayAlert(Alert alert) = 0;
  // Beeps the steps in order and returns when the last has finished.
  virtual Playback PlaySpeakerTones(const ToneSequence& tones) = 0;
  virtual bool WavExists(const std::filesystem::path& path) = 0;
  // Plays a WAV file to its end; NotPlayable when its header fails ReadWavHeader.
  virtual Playback PlayWavFile(const std::filesystem::path& path) = 0;
};

// The platform's services.
std::unique_ptr<Sound> MakeSystemSound();

// One call of the speaker service: a beep (frequency truncated to whole hertz)
// or, for a step of frequency 0, a rest.
struct SpeakerCall {
  bool rest;
  std::uint32_t frequency;
  std::uint32_t milliseconds;

  friend bool operator==(const SpeakerCall&, const SpeakerCall&) = default;
};

std::vector<SpeakerCall> SpeakerCalls(const ToneSequence& tones);

}  // namespace belvox
