// winmm's wave-out on WAVE_MAPPER as the player's device.
//
// The whole winmm protocol stays in here: Queue prepares a WAVEHDR for the block
// (flags WHDR_BEGINLOOP | WHDR_ENDLOOP, one loop) and writes it; the callback
// function counts each WOM_DONE and signals an event; WaitPending waits on that
// event and then unprepares the finished headers in the order written. Between
// completions the position that waveOutGetPosition reports, read at least every
// kLookInterval, tells a ProgressWatch whether the device still plays. waveOutOpen can block for good (a sound server
// that does not answer), so it runs on a thread of its own that the player stops
// waiting for after kStallAllowance. A device that was lost is asked nothing more,
// and winmm may still read what was written to it: each block is played from a
// copy of its own, which a lost device keeps for the rest of the process.
#include "audio/wave_out_win32.hpp"

#include <windows.h>
#include <mmsystem.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

#include "audio/progress_watch.hpp"

namespace belvox {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kLookInterval{250};
constexpr DWORD kParkMilliseconds = 20;

std::atomic<bool> leftInWinmm{false};

// A block as winmm plays it.
struct Written {
  std::vector<std::byte> samples;
  WAVEHDR header{};
};

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
    wave.nAvgBytesPerSec = format.sampleRate * format.BytesPerFrame();
    wave.nBlockAlign = static_cast<WORD>(format.BytesPerFrame());
    wave.wBitsPerSample = format.bitsPerSample;
    wave.cbSize = 0;
    const auto opened = RunBounded(
        [wave, instance = reinterpret_cast<DWORD_PTR>(this)] {
          HWAVEOUT handle = nullptr;
          const bool open = waveOutOpen(&handle, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                                        instance, CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
          return open ? handle : nullptr;
        },
        kStallAllowance);
    handle_ = opened.value_or(nullptr);
    lost_ = false;
    return handle_ != nullptr;
  }

  bool Queue(std::span<const std::byte> block) override {
    auto written = std::make_unique<Written>();
    written->samples.assign(block.begin(), block.end());
    WAVEHDR& header = written->header;
    header.lpData = reinterpret_cast<LPSTR>(written->samples.data());
    header.dwBufferLength = static_cast<DWORD>(block.size());
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 1;
    if (waveOutPrepareHeader(handle_, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
    written_.push_back(std::move(written));
    pending_.fetch_add(1);
    if (waveOutWrite(handle_, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) return true;
    pending_.fetch_sub(1);
    return false;
  }

  // Wakes when a block completes, or to look at the position at least every
  // kLookInterval, sooner when the device would be late by then.
  bool WaitPending(std::size_t blocks) override {
    ProgressWatch watch(SteadyClock::now());
    while (pending_.load() > static_cast<int>(blocks)) {
      MMTIME time{};
      time.wType = TIME_SAMPLES;
      const auto now = SteadyClock::now();
      if (waveOutGetPosition(handle_, &time, sizeof(time)) == MMSYSERR_NOERROR && time.wType == TIME_SAMPLES) {
        watch.Observe(time.u.sample, std::chrono::milliseconds(0), true, now);
      }
      if (watch.Lost(now)) {
        LeftInWinmm();
        lost_ = true;
        return false;
      }
      const auto wait =
          std::min(std::chrono::duration_cast<std::chrono::milliseconds>(watch.Deadline() - now), kLookInterval) +
          std::chrono::milliseconds(1);
      WaitForSingleObject(done_, static_cast<DWORD>(wait.count()));
      watch.Woke(now, wait, SteadyClock::now());  // the process may have been stopped, or the machine slept
    }
    // Blocks finish in the order written: the leading ones are done.
    while (written_.size() > blocks) Unprepare();
    return true;
  }

  void Stop() override {
    if (lost_) {
      for (auto& written : written_) written.release();  // winmm may still read it
      written_.clear();
      return;
    }
    waveOutReset(handle_);
    while (!written_.empty()) Unprepare();
    pending_ = 0;
  }

  bool Close() override {
    if (!lost_ && handle_ != nullptr) waveOutClose(handle_);
    handle_ = nullptr;
    return true;
  }

 private:
  void Unprepare() {
    waveOutUnprepareHeader(handle_, &written_.front()->header, sizeof(WAVEHDR));
    written_.pop_front();
  }

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
  std::deque<std::unique_ptr<Written>> written_;  // prepared, in the order written
  bool lost_ = false;
};

// Parks every other thread of the process. Under wine, a termination that
// catches a thread on its way into a system call can crash the process: with a
// thread left in winmm, 19 runs in 30 did; none in 115 with the threads parked.
void SuspendOtherThreads() {
  const HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (threads == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    if (const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
      SuspendThread(thread);
      CloseHandle(thread);
    }
  }
  CloseHandle(threads);
  // A suspension is only asked for: under wine a thread parks once it takes the
  // request up. Without this pause, 8 runs in 68 still crashed.
  Sleep(kParkMilliseconds);
}

}  // namespace

void LeftInWinmm() { leftInWinmm = true; }

void EndIfLeftInWinmm() {
  if (!leftInWinmm) return;
  std::fflush(nullptr);
  SuspendOtherThreads();
  TerminateProcess(GetCurrentProcess(), 0);
}

std::unique_ptr<WaveOut> MakeWinmmWaveOut() { return std::make_unique<WinmmWaveOut>(); }

}  // namespace belvox
