#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/console.hpp"
#include "audio/sound.hpp"
#include "audio/wave_out.hpp"
#include "common/system_text.hpp"
#include "input/arguments.hpp"

namespace belvox::fakes {

// Arguments as a test types them; file names are the text in the locale's codeset.
inline std::vector<Argument> Arguments(const std::vector<std::u16string>& texts) {
  std::vector<Argument> arguments;
  for (const std::u16string& text : texts) arguments.push_back({text, EncodeSystemText(text)});
  return arguments;
}

struct WrittenText {
  std::u16string text;
  bool toStandardError;
  bool appendNewline;
};

class RecordingConsole final : public Console {
 public:
  void WriteText(std::u16string text, bool toStandardError, bool appendNewline) override {
    texts.push_back({std::move(text), toStandardError, appendNewline});
  }
  void WriteBytes(std::string_view bytes) override { this->bytes += bytes; }

  std::vector<WrittenText> texts;
  std::string bytes;
};

// A wave-out device that records every call and buffer, reports completions
// from a thread of its own, and fails on demand.
class SimWaveOut final : public WaveOut {
 public:
  struct Faults {
    bool open = false;
    int prepareAt = -1;  // the n-th Prepare (from 0) is refused
    int writeAt = -1;
    int loseAfter = -1;  // after n writes the device is lost and completes nothing more
  };

  SimWaveOut() : SimWaveOut(Faults{}) {}
  explicit SimWaveOut(Faults faults) : faults_(faults), completer_([this] { Complete(); }) {}
  ~SimWaveOut() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    completer_.join();
  }

  bool Open(const PcmFormat&) override {
    calls.push_back("open");
    return !faults_.open;
  }
  bool Prepare(WaveHeader& header) override {
    calls.push_back("prepare " + std::to_string(header.bytes));
    return prepares_++ != faults_.prepareAt;
  }
  bool Write(WaveHeader& header) override {
    calls.push_back("write");
    maxOutstanding = std::max(maxOutstanding, OutstandingBuffers.load());
    if (writes_++ == faults_.writeAt) return false;
    const auto* bytes = static_cast<const unsigned char*>(header.data);
    played.insert(played.end(), bytes, bytes + header.bytes);
    headers.push_back(header);
    if (faults_.loseAfter >= 0 && writes_ > faults_.loseAfter) {
      lost_ = true;
      return true;
    }
    std::lock_guard lock(mutex_);
    pending_.push_back(&header);
    wake_.notify_all();
    return true;
  }
  void Unprepare(WaveHeader& header) override { calls.push_back("unprepare " + std::to_string(header.bytes)); }
  void Reset() override { calls.push_back("reset"); }
  void Close() override { calls.push_back("close"); }
  void Sleep(std::uint32_t milliseconds) override {
    if (milliseconds != 1) calls.push_back("sleep " + std::to_string(milliseconds));
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  bool Lost() const override { return lost_; }

  std::vector<std::string> calls;  // every call but the 1 ms polling sleeps
  std::vector<unsigned char> played;
  std::vector<WaveHeader> headers;
  int maxOutstanding = 0;  // outstanding buffers seen just before a write

 private:
  void Complete() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      pending_.pop_front();
      OutstandingBuffers.fetch_sub(1);
    }
  }

  Faults faults_;
  int prepares_ = 0;
  int writes_ = 0;
  std::atomic<bool> lost_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<WaveHeader*> pending_;
  bool stopping_ = false;
  std::thread completer_;
};

// Records the sound services that a run asks for.
class RecordingSound final : public Sound {
 public:
  WaveOut& WaveOutDevice() override { return device; }
  void PlayAlert(std::uint32_t alertType) override { calls.push_back("alert " + std::to_string(alertType)); }
  bool PlaySpeakerTones(const ToneSequence& tones) override {
    for (const SpeakerCall& call : SpeakerCalls(tones)) {
      calls.push_back(call.rest ? "rest " + std::to_string(call.milliseconds)
                                : "beep " + std::to_string(call.frequency) + " " + std::to_string(call.milliseconds));
    }
    return deviceAvailable;
  }
  bool WavExists(const std::filesystem::path& path) override { return path != "missing.wav"; }
  WavPlayback PlayWavFile(const std::filesystem::path& path) override {
    calls.push_back("wav");
    if (path == "text.wav") return WavPlayback::NotPlayable;
    return deviceAvailable ? WavPlayback::Played : WavPlayback::DeviceUnavailable;
  }

  SimWaveOut device;
  std::vector<std::string> calls;
  bool deviceAvailable = true;
};

}  // namespace belvox::fakes
