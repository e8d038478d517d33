#include "audio/sound_win32.hpp"

#include <windows.h>
#include <io.h>
#include <mmsystem.h>

#include "audio/wave_out_win32.hpp"

namespace belvox {
namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

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

bool Win32Sound::WavExists(const std::u16string& path) { return _waccess_s(Wide(path), 0) == 0; }

WavPlayback Win32Sound::PlayWavFile(const std::u16string& path) {
  return PlaySoundW(Wide(path), nullptr, SND_FILENAME | SND_NODEFAULT) ? WavPlayback::Played : WavPlayback::NotPlayable;
}

}  // namespace belvox
