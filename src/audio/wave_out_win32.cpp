#include "audio/wave_out_win32.hpp"

#include <windows.h>
#include <mmsystem.h>

namespace belvox {
namespace {

// Runs on winmm's thread; it calls no wave-out function.
void CALLBACK WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (message == WOM_DONE) OutstandingBuffers.fetch_sub(1);
}

WAVEHDR& Native(WaveHeader& header) { return *static_cast<WAVEHDR*>(header.native); }

class WinmmWaveOut final : public WaveOut {
 public:
  bool Open(const PcmFormat& format) override {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.sampleRate;
    wave.nBlockAlign = static_cast<WORD>(format.BytesPerFrame());
    wave.nAvgBytesPerSec = format.sampleRate * format.BytesPerFrame();
    wave.wBitsPerSample = format.bitsPerSample;
    wave.cbSize = 0;
    return waveOutOpen(&handle_, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&WaveOutCallback), 0,
                       CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
  }

  bool Prepare(WaveHeader& header) override {
    auto* native = new WAVEHDR{};
    native->lpData = static_cast<LPSTR>(const_cast<void*>(header.data));
    native->dwBufferLength = header.bytes;
    native->dwFlags = header.flags;
    native->dwLoops = header.loops;
    header.native = native;
    if (waveOutPrepareHeader(handle_, native, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) return true;
    delete native;
    header.native = nullptr;
    return false;
  }

  bool Write(WaveHeader& header) override {
    return waveOutWrite(handle_, &Native(header), sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
  }

  void Unprepare(WaveHeader& header) override {
    waveOutUnprepareHeader(handle_, &Native(header), sizeof(WAVEHDR));
    delete &Native(header);
    header.native = nullptr;
  }

  void Reset() override { waveOutReset(handle_); }
  void Close() override { waveOutClose(handle_); }
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

 private:
  HWAVEOUT handle_ = nullptr;
};

}  // namespace

std::unique_ptr<WaveOut> MakeWinmmWaveOut() { return std::make_unique<WinmmWaveOut>(); }

}  // namespace belvox
