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

#include <list>
#include <mutex>

#include "app/console.hpp"
#include "audio/liveness.hpp"
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
    ++notices_;
    wake_.notify_all();
  }
  void Starting() override {
    std::lock_guard guard(mutex_);
    ++threads_;
  }
  void Ended() override {
    std::lock_guard guard(mutex_);
    --threads_;
    ++notices_;
    wake_.notify_all();
  }

  // The process is stopped for `duration` when time reaches `at`.
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
  struct Entry {
    TimePoint until;
    unsigned seen;  // the notices when it began
  };

  // False when every thread waits for ever.
  bool WaitLocked(std::unique_lock<std::mutex>& guard, TimePoint until) {
    const auto entry = waits_.insert(waits_.end(), {until, notices_});
    bool moves = true;
    while (entry->seen == notices_ && now_ < until) {
      TimePoint next = TimePoint::max();
      std::size_t asleep = 0;
      for (const Entry& e : waits_) {
        if (e.seen != notices_ || e.until <= now_) continue;
        ++asleep;
        next = std::min(next, e.until);
      }
      if (asleep < threads_) {
        wake_.wait(guard);
        continue;
      }
      if (next == TimePoint::max()) {
        if (!finishing_) ADD_FAILURE() << "every thread waits for ever";
        moves = false;
        ++notices_;
      } else {
        if (next >= stopAt_) next += std::exchange(stopFor_, milliseconds(0));
        now_ = next;
      }
      wake_.notify_all();
    }
    waits_.erase(entry);
    return moves;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  TimePoint now_{};
  std::size_t threads_ = 1;
  bool finishing_ = false;
  unsigned notices_ = 0;
  std::list<Entry> waits_;
  TimePoint stopAt_ = TimePoint::max();
  milliseconds stopFor_{0};
};

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
