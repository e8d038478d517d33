#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <set>
#include <mutex>

#include "app/console.hpp"
#include "audio/liveness.hpp"
#include "audio/player.hpp"
#include "audio/sound.hpp"
#include "audio/wave_out.hpp"
#include "common/system_text.hpp"
#include "input/arguments.hpp"

namespace belvox::fakes {

using std::chrono::milliseconds;

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

// A timeline whose time moves only when every thread that it knows of waits:
// then to the earliest end of a wait. The thread that makes it counts.
class VirtualTimeline final : public Timeline {
 public:
  ~VirtualTimeline() override { Finish(); }

  TimePoint Now() override {
    std::lock_guard guard(mutex_);
    return now_;
  }
  void Wait(std::unique_lock<std::mutex>& lock, std::condition_variable&, TimePoint until) override {
    std::unique_lock guard(mutex_);
    lock.unlock();
    WaitLocked(guard, until);
    guard.unlock();
    lock.lock();
  }
  void Notify(std::condition_variable&) override {
    std::lock_guard guard(mutex_);
    WakeAll();
  }
  void Starting() override {
    std::lock_guard guard(mutex_);
    ++threads_;
  }
  void Ended() override {
    std::lock_guard guard(mutex_);
    --threads_;
    WakeAll();
  }

  // The process is stopped for `duration` once time reaches `at`.
  void StopAt(milliseconds at, milliseconds duration) {
    stopAt_ = TimePoint(at);
    stopFor_ = duration;
  }
  // Lets every other thread run until it ends or waits for ever.
  void Finish() {
    std::unique_lock guard(mutex_);
    finishing_ = true;
    while (threads_ > 1 && WaitLocked(guard, TimePoint::max())) {
    }
    finishing_ = false;
  }

 private:
  // False when every thread waits for ever.
  bool WaitLocked(std::unique_lock<std::mutex>& guard, TimePoint until) {
    const unsigned seen = notices_;
    asleep_.insert(until);
    while (notices_ == seen && now_ < until) {
      if (asleep_.size() < threads_) {
        wake_.wait(guard);
      } else if (*asleep_.begin() == TimePoint::max()) {
        if (!finishing_) ADD_FAILURE() << "every thread waits for ever";
        WakeAll();
        return false;
      } else {
        now_ = *asleep_.begin();
        if (now_ >= stopAt_) now_ += std::exchange(stopFor_, milliseconds(0));
        asleep_.erase(asleep_.begin(), asleep_.upper_bound(now_));
        wake_.notify_all();
      }
    }
    return true;
  }
  void WakeAll() {
    ++notices_;
    asleep_.clear();
    wake_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  TimePoint now_{};
  std::size_t threads_ = 1;
  unsigned notices_ = 0;
  std::multiset<TimePoint> asleep_;  // when each waiting thread wakes
  TimePoint stopAt_ = TimePoint::max();
  milliseconds stopFor_{0};
  bool finishing_ = false;
};

// 12 blocks of 250 ms of 44.1 kHz mono, of sample values 1 to 12 in turn,
// streamed to the device as the player streams.
inline Playback StreamTwelveBlocks(WaveOut& device) {
  std::int16_t next = 0;
  return PlayStream(device, PcmFormat{}, 11025, [&](std::vector<std::int16_t>& buffer) {
    buffer.assign(11025, ++next);
    return next <= 12;
  });
}

// Whether `bytes` hold those blocks whole and in order, and nothing but silence after.
inline bool HoldsTwelveBlocks(const std::vector<std::byte>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t value = i < 12 * 22050 && i % 2 == 0 ? i / 22050 + 1 : 0;
    if (bytes[i] != static_cast<std::byte>(value)) return false;
  }
  return bytes.size() >= 12 * 22050;
}

// A device and its clock in simulated time, recording every call and the audio
// queued: it plays its blocks back to back in real time, from its open on.
class SimWaveOut final : public WaveOut, public Clock {
 public:
  struct World {
    bool refuseOpen = false;
    int refuseQueueAt = -1;    // the n-th Queue (from 0) is refused
    bool loseOnClose = false;  // what was played is lost as the device closes
  };

  SimWaveOut() : SimWaveOut(World{}) {}
  explicit SimWaveOut(World world) : world_(world) {}

  Playback Open(const PcmFormat& format) override {
    calls.push_back("open");
    this->format = format;
    playedUntil_ = now_;
    return world_.refuseOpen ? Playback::DeviceUnavailable : Playback::Played;
  }
  bool Queue(std::span<const std::byte> block) override {
    calls.push_back("queue " + std::to_string(block.size()));
    if (queues_++ == world_.refuseQueueAt) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    played.insert(played.end(), bytes, bytes + block.size());
    blocks.push_back(block.size());
    playedUntil_ = std::max(playedUntil_, now_) + milliseconds(block.size() * 1000 / (format.sampleRate * 2));
    ends_.push_back(playedUntil_);
    maxPending = std::max(maxPending, ends_.size());
    return true;
  }
  bool WaitPending(std::size_t pending) override {
    calls.push_back("wait " + std::to_string(pending));
    for (; ends_.size() > pending; ends_.pop_front()) now_ = std::max(now_, ends_.front());
    return true;
  }
  void Stop() override {
    calls.push_back("stop");
    ends_.clear();
  }
  bool Close() override {
    calls.push_back("close");
    return !world_.loseOnClose;
  }
  void Sleep(milliseconds duration) override {
    calls.push_back("sleep " + std::to_string(duration.count()));
    now_ += duration;
  }

  // The 16-bit samples queued so far.
  std::vector<std::int16_t> Samples() const {
    std::vector<std::int16_t> samples(played.size() / 2);
    std::memcpy(samples.data(), played.data(), samples.size() * 2);
    return samples;
  }

  std::vector<std::string> calls;
  std::vector<unsigned char> played;
  std::vector<std::size_t> blocks;  // bytes of each block queued
  std::size_t maxPending = 0;
  PcmFormat format;  // of the last open

 private:
  World world_;
  int queues_ = 0;
  milliseconds now_{0};
  milliseconds playedUntil_{0};
  std::deque<milliseconds> ends_;  // when each pending block has played
};

// Records the sound services that a run asks for.
class RecordingSound final : public Sound {
 public:
  WaveOut& Device() override { return device; }
  Clock& Time() override { return device; }
  Playback PlayAlert(Alert alert) override {
    static constexpr std::array<const char*, 5> kNames{"default", "critical stop", "question", "exclamation",
                                                       "asterisk"};
    calls.push_back(std::string("alert ") + kNames[static_cast<std::size_t>(alert)]);
    return Playback::Played;
  }
  Playback PlaySpeakerTones(const ToneSequence& tones) override {
    for (const SpeakerCall& call : SpeakerCalls(tones)) {
      calls.push_back(call.rest ? "rest " + std::to_string(call.milliseconds)
                                : "beep " + std::to_string(call.frequency) + " " + std::to_string(call.milliseconds));
    }
    return Playback::Played;
  }
  bool WavExists(const std::filesystem::path& path) override { return path != "missing.wav"; }
  Playback PlayWavFile(const std::filesystem::path& path) override {
    calls.push_back("wav");
    if (path == "text.wav") return Playback::NotPlayable;
    return Playback::Played;
  }

  SimWaveOut device;
  std::vector<std::string> calls;
};

}  // namespace belvox::fakes
