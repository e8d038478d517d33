#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
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

// A wave-out device in simulated time that records every call and the audio
// written. Each buffer plays for its length straight after the one before
// (at once when the device is idle) and reports its end `late` after that; the
// device can refuse any call, or stall so that buffers never finish.
class SimWaveOut final : public WaveOut {
 public:
  struct Faults {
    bool open = false;
    int prepareAt = -1;  // the n-th Prepare (from 0) is refused
    int writeAt = -1;
    int stallAt = -1;  // from the n-th written buffer on, nothing finishes
    std::chrono::milliseconds late{0};
  };

  SimWaveOut() : SimWaveOut(Faults{}) {}
  explicit SimWaveOut(Faults faults) : faults_(faults) {}

  bool Open(const PcmFormat& format) override {
    calls.push_back("open");
    format_ = format;
    return !faults_.open;
  }
  bool Prepare(WaveHeader& header) override {
    calls.push_back("prepare " + std::to_string(header.bytes));
    return prepares_++ != faults_.prepareAt;
  }
  bool Write(WaveHeader& header) override {
    calls.push_back("write");
    if (writes_++ == faults_.writeAt) return false;
    const auto* bytes = static_cast<const unsigned char*>(header.data);
    played.insert(played.end(), bytes, bytes + header.bytes);
    headers.push_back(header);
    playedUntil_ = std::max(playedUntil_, now_) + format_.Duration(header.bytes);
    const bool stalled = faults_.stallAt >= 0 && writes_ > faults_.stallAt;
    reports_.push_back(stalled ? std::chrono::milliseconds::max() : playedUntil_ + faults_.late);
    maxPending = std::max(maxPending, static_cast<int>(reports_.size()));
    return true;
  }
  void Unprepare(WaveHeader& header) override { calls.push_back("unprepare " + std::to_string(header.bytes)); }
  bool WaitPending(int limit, std::chrono::milliseconds atMost) override {
    calls.push_back("wait " + std::to_string(limit) + " within " + std::to_string(atMost.count()));
    if (static_cast<int>(reports_.size()) <= limit) return true;
    const std::chrono::milliseconds report = reports_[reports_.size() - static_cast<std::size_t>(limit) - 1];
    if (report - now_ > atMost) {
      now_ += atMost;
      return false;
    }
    now_ = std::max(now_, report);
    while (!reports_.empty() && reports_.front() <= now_) reports_.pop_front();
    return true;
  }
  void Reset() override {
    calls.push_back("reset");
    reports_.clear();
  }
  void Close() override { calls.push_back("close"); }
  void Sleep(std::uint32_t milliseconds) override {
    calls.push_back("sleep " + std::to_string(milliseconds));
    now_ += std::chrono::milliseconds(milliseconds);
  }

  std::vector<std::string> calls;
  std::vector<unsigned char> played;
  std::vector<WaveHeader> headers;
  int maxPending = 0;

 private:
  Faults faults_;
  PcmFormat format_;
  int prepares_ = 0;
  int writes_ = 0;
  std::chrono::milliseconds now_{0};
  std::chrono::milliseconds playedUntil_{0};
  std::deque<std::chrono::milliseconds> reports_;  // when each pending buffer reports its end
};

// Records the sound services that a run asks for.
class RecordingSound final : public Sound {
 public:
  WaveOut& WaveOutDevice() override { return device; }
  Playback PlayAlert(std::uint32_t alertType) override {
    calls.push_back("alert " + std::to_string(alertType));
    return deviceAvailable ? Playback::Played : Playback::DeviceUnavailable;
  }
  Playback PlaySpeakerTones(const ToneSequence& tones) override {
    for (const SpeakerCall& call : SpeakerCalls(tones)) {
      calls.push_back(call.rest ? "rest " + std::to_string(call.milliseconds)
                                : "beep " + std::to_string(call.frequency) + " " + std::to_string(call.milliseconds));
    }
    return deviceAvailable ? Playback::Played : Playback::DeviceUnavailable;
  }
  bool WavExists(const std::filesystem::path& path) override { return path != "missing.wav"; }
  Playback PlayWavFile(const std::filesystem::path& path) override {
    calls.push_back("wav");
    if (path == "text.wav") return Playback::NotPlayable;
    return deviceAvailable ? Playback::Played : Playback::DeviceUnavailable;
  }

  SimWaveOut device;
  std::vector<std::string> calls;
  bool deviceAvailable = true;
};

}  // namespace belvox::fakes
