#include "audio/sound_win32.hpp"

#include <windows.h>
#include <io.h>
#include <mmsystem.h>

#include "audio/wave_out_win32.hpp"

namespace belvox {
Win32Sound::Win32Sound() : device_(MakeWinmmWaveOut()) {}
Win32Sound::~Win32Sound() = default;

WaveOut& Win32Sound::WaveOutDevice() { return *device_; }

// Windows reports nothing about alerts and the speaker, so they always count as played.
Playback Win32Sound::PlayAlert(std::uint32_t alertType) {
  MessageBeep(alertType);
  return Playback::Played;
}

// A beep that fails (Beep takes 37 to 32,767 Hz) still takes its time, so the
// sequence keeps its rhythm.
Playback Win32Sound::PlaySpeakerTones(const ToneSequence& tones) {
  for (const SpeakerCall& call : SpeakerCalls(tones)) {
    if (call.rest || !::Beep(call.frequency, call.milliseconds)) ::Sleep(call.milliseconds);
  }
  return Playback::Played;
}

bool Win32Sound::WavExists(const std::filesystem::path& path) { return _waccess_s(path.c_str(), 0) == 0; }

// With no wave-out device at all, no file can play: the file is not to blame.
Playback Win32Sound::PlayWavFile(const std::filesystem::path& path) {
  if (waveOutGetNumDevs() == 0) return Playback::DeviceUnavailable;
  return PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT) ? Playback::Played : Playback::NotPlayable;
}

}  // namespace belvox
