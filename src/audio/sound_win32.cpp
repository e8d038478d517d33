// The Windows sound services: MessageBeep, Beep, PlaySoundW, and winmm's
// wave-out device. PlaySoundW and the search for a device run bounded (see
// liveness.hpp), since a sound system that does not answer never lets them return.
#include <windows.h>
#include <io.h>
#include <mmsystem.h>

#include "audio/liveness.hpp"
#include "audio/sound.hpp"
#include "audio/wav_header.hpp"
#include "audio/winmm.hpp"

namespace belvox {
namespace {

class KernelClock final : public Clock {
 public:
  void Sleep(milliseconds duration) override { ::Sleep(static_cast<DWORD>(duration.count())); }
};

UINT AlertType(Alert alert) {
  switch (alert) {
    case Alert::CriticalStop: return MB_ICONHAND;
    case Alert::Question: return MB_ICONQUESTION;
    case Alert::Exclamation: return MB_ICONEXCLAMATION;
    case Alert::Asterisk: return MB_ICONASTERISK;
    case Alert::Default: break;
  }
  return MB_OK;
}

// MessageBeep, Beep, Sleep, _waccess_s and PlaySoundW; wave-out through winmm.
class Win32Sound final : public Sound {
 public:
  WaveOut& Device() override { return *device_; }
  Clock& Time() override { return clock_; }

  // Windows reports nothing about alerts and the speaker, so they always count as played.
  Playback PlayAlert(Alert alert) override {
    MessageBeep(AlertType(alert));
    return Playback::Played;
  }

  // A beep that fails (Beep takes 37 to 32,767 Hz) still takes its time, so the
  // sequence keeps its rhythm.
  Playback PlaySpeakerTones(const ToneSequence& tones) override {
    for (const SpeakerCall& call : SpeakerCalls(tones)) {
      if (call.rest || !::Beep(call.frequency, call.milliseconds)) ::Sleep(call.milliseconds);
    }
    return Playback::Played;
  }

  bool WavExists(const std::filesystem::path& path) override { return _waccess_s(path.c_str(), 0) == 0; }

  // Windows' decoder judges the file, but for headers that crash it under wine,
  // refused before it sees them. With no device that takes audio, no file can
  // play: the file is not to blame. Both questions may block for good (a frozen
  // sound server), so each runs on a thread of its own, given the time a device
  // may take to answer, then the file's own length and the time it may take to
  // start.
  //
  // The format query also keeps winmm's search for devices off belvox's thread:
  // it searches on winmm's own thread, where waveOutGetNumDevs searches on the
  // caller's, and under wine a thread of belvox's left in that search could crash
  // the process as it ended.
  Playback PlayWavFile(const std::filesystem::path& path) override {
    const auto header = ReadWavHeader(path);
    if (!header || header->CrashesPlaySound()) return Playback::NotPlayable;
    const auto found = RunBounded(SystemTimeline(), kStallAllowance, [](const Extend&) {
      WAVEFORMATEX wave{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
      return waveOutOpen(nullptr, WAVE_MAPPER, &wave, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
    });
    if (!found.value_or(false)) return Playback::DeviceUnavailable;
    const auto played =
        RunBounded(SystemTimeline(), header->Duration() + kStartAllowance, [name = path.wstring()](const Extend&) {
          return PlaySoundW(name.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT) ? Playback::Played
                                                                                 : Playback::NotPlayable;
        });
    return played.value_or(Playback::DeviceUnavailable);
  }

 private:
  std::unique_ptr<WaveOut> device_ = MakeWinmmWaveOut(MakeSystemWinmm());
  KernelClock clock_;
};

}  // namespace

std::unique_ptr<Sound> MakeSystemSound() { return std::make_unique<Win32Sound>(); }

}  // namespace belvox
