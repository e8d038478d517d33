#include "audio/wave_out_win32.hpp"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <new>

namespace belvox {
namespace {

WAVEHDR& Native(WaveHeader& header) { return *static_cast<WAVEHDR*>(header.native); }

// Counts its buffers itself: winmm's callback lowers the count and signals an
// event that the player's waits use.
class WinmmWaveOut final : public WaveOut {
 public:
  ~WinmmWaveOut() override {
    if (done_ != nullptr) CloseHandle(done_);
  }

  bool Open(const PcmFormat& format) override {
    if (done_ == nullptr) done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (done_ == nullptr) return false;
    pending_ = 0;
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.sampleRate;
    wave.nBlockAlign = static_cast<WORD>(format.BytesPerFrame());
    wave.nAvgBytesPerSec = format.sampleRate * format.BytesPerFrame();
    wave.wBitsPerSample = format.bitsPerSample;
    wave.cbSize = 0;
    return waveOutOpen(&handle_, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                       reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
  }

  bool Prepare(WaveHeader& header) override {
    auto* native = new (std::nothrow) WAVEHDR{};
    if (native == nullptr) return false;
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
    pending_.fetch_add(1);
    if (waveOutWrite(handle_, &Native(header), sizeof(WAVEHDR)) == MMSYSERR_NOERROR) return true;
    pending_.fetch_sub(1);
    return false;
  }

  void Unprepare(WaveHeader& header) override {
    waveOutUnprepareHeader(handle_, &Native(header), sizeof(WAVEHDR));
    delete &Native(header);
    header.native = nullptr;
  }

  bool WaitPending(int limit, std::chrono::milliseconds atMost) override {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(atMost.count());
    while (pending_.load() > limit) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      WaitForSingleObject(done_, static_cast<DWORD>(deadline - now));
    }
    return true;
  }

  void Reset() override {
    waveOutReset(handle_);
    pending_ = 0;
  }
  void Close() override { waveOutClose(handle_); }
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

 private:
  // Runs on winmm's thread, where only a few calls are allowed: it calls no
  // wave-out function, only SetEvent.
  static void CALLBACK WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message != WOM_DONE) return;
    auto* device = reinterpret_cast<WinmmWaveOut*>(instance);
    device->pending_.fetch_sub(1);
    SetEvent(device->done_);
  }

  HWAVEOUT handle_ = nullptr;
  HANDLE done_ = nullptr;
  std::atomic<int> pending_{0};
};

}  // namespace

std::unique_ptr<WaveOut> MakeWinmmWaveOut() { return std::make_unique<WinmmWaveOut>(); }

}  // namespace belvox
