// winmm's wave-out calls: calls into winmm, nothing more.
#include <windows.h>
#include <mmsystem.h>

#include <deque>

#include "audio/winmm.hpp"

namespace belvox {
namespace {

class SystemWinmm final : public Winmm {
 public:
  Playback Open(const PcmFormat& format, std::atomic<int>& pending) override {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.sampleRate;
    wave.nAvgBytesPerSec = format.sampleRate * format.BytesPerFrame();
    wave.nBlockAlign = static_cast<WORD>(format.BytesPerFrame());
    wave.wBitsPerSample = format.bitsPerSample;
    wave.cbSize = 0;
    headers_.clear();
    pending_ = &pending;
    const MMRESULT opened = waveOutOpen(&handle_, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&Done),
                                        reinterpret_cast<DWORD_PTR>(&pending), CALLBACK_FUNCTION);
    if (opened == MMSYSERR_NOERROR) return Playback::Played;
    return opened == MMSYSERR_NOMEM ? Playback::OutOfMemory : Playback::DeviceUnavailable;
  }

  bool Write(std::span<const std::byte> block) override {
    WAVEHDR& header = headers_.emplace_back();
    header.lpData = reinterpret_cast<LPSTR>(const_cast<std::byte*>(block.data()));
    header.dwBufferLength = static_cast<DWORD>(block.size());
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 1;
    if (waveOutPrepareHeader(handle_, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
      pending_->fetch_add(1);
      if (waveOutWrite(handle_, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) return true;
      pending_->fetch_sub(1);
      waveOutUnprepareHeader(handle_, &header, sizeof(WAVEHDR));
    }
    headers_.pop_back();
    return false;
  }

  void Unprepare() override {
    waveOutUnprepareHeader(handle_, &headers_.front(), sizeof(WAVEHDR));
    headers_.pop_front();
  }

  std::optional<std::uint64_t> Position() override {
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(handle_, &time, sizeof(time)) != MMSYSERR_NOERROR || time.wType != TIME_SAMPLES) {
      return std::nullopt;
    }
    return time.u.sample;
  }

  void Reset() override { waveOutReset(handle_); }
  bool Close() override { return waveOutClose(handle_) == MMSYSERR_NOERROR; }

 private:
  // Runs on winmm's thread, where only a few calls are allowed: it calls none.
  static void CALLBACK Done(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message == WOM_DONE) reinterpret_cast<std::atomic<int>*>(instance)->fetch_sub(1);
  }

  HWAVEOUT handle_ = nullptr;
  std::atomic<int>* pending_ = nullptr;
  std::deque<WAVEHDR> headers_;  // prepared, in the order written
};

}  // namespace

std::unique_ptr<Winmm> MakeSystemWinmm() { return std::make_unique<SystemWinmm>(); }

}  // namespace belvox
