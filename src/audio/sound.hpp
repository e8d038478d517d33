#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "audio/wave_out.hpp"
#include "input/tone.hpp"

namespace belvox {

enum class WavPlayback : std::uint8_t { Played, NotPlayable, DeviceUnavailable };

// The system's sound services that the actions use.
class Sound {
 public:
  virtual ~Sound() = default;

  virtual WaveOut& WaveOutDevice() = 0;
  // Starts one of the system alerts (0, 0x10, 0x20, 0x30, 0x40) and returns.
  virtual void PlayAlert(std::uint32_t alertType) = 0;
  // Sounds a tone, synchronously; false when no audio device is available.
  virtual bool Beep(std::uint32_t frequency, std::uint32_t milliseconds) = 0;
  // Keeps silent for a rest between beeps.
  virtual bool Rest(std::uint32_t milliseconds) = 0;
  virtual bool WavExists(const std::u16string& path) = 0;
  // Plays a WAV file to its end.
  virtual WavPlayback PlayWavFile(const std::u16string& path) = 0;
};

// Beeps each step in order (frequency truncated to whole hertz), resting on a
// frequency of 0. False when the audio device was not available.
bool PlaySpeakerTones(const ToneSequence& tones, Sound& sound);

// The desktop event sounds for an alert type, best first.
std::span<const std::string_view> AlertSoundIds(std::uint32_t alertType);

}  // namespace belvox
