#include "audio/sound_win32.hpp"

#include <windows.h>
#include <io.h>
#include <mmsystem.h>

#include "audio/wave_out_win32.hpp"

namespace belvox {
Win32Sound::Win32Sound() : device_(MakeWinmmWaveOut()) {}
Win32Sound::~Win32Sound() = default;

WaveOut& Win32Sound::WaveOutDevice() { return *device_; }

void Win32Sound::PlayAlert(std::uint32_t alertType) { MessageBeep(alertType); }

// Windows reports nothing about the speaker, so the beeps always count as played.
bool Win32Sound::PlaySpeakerTones(const ToneSequence& tones) {
  for (const SpeakerCall& call : SpeakerCalls(tones)) {
    if (call.rest) {
      ::Sleep(call.milliseconds);
    } else {
      ::Beep(call.frequency, call.milliseconds);
    }
  }
  return true;
}

bool Win32Sound::WavExists(const std::filesystem::path& path) { return _waccess_s(path.c_str(), 0) == 0; }

WavPlayback Win32Sound::PlayWavFile(const std::filesystem::path& path) {
  return PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT) ? WavPlayback::Played : WavPlayback::NotPlayable;
}

}  // namespace belvox
