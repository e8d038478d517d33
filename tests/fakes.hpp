#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/console.hpp"
#include "audio/liveness.hpp"
#include "audio/player.hpp"
#include "audio/sound.hpp"
#include "audio/wave_out.hpp"
#include "audio/winmm.hpp"
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
  milliseconds Elapsed() { return std::chrono::duration_cast<milliseconds>(Now().time_since_epoch()); }
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
    if (now_ < until) asleep_.insert(until);
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
inline bool HoldsTwelveBlocks(std::span<const std::byte> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t value = i < 12 * 22050 && i % 2 == 0 ? i / 22050 + 1 : 0;
    if (bytes[i] != static_cast<std::byte>(value)) return false;
  }
  return bytes.size() >= 12 * 22050;
}

// winmm's wave-out on a virtual timeline, recording every call and the audio
// written: blocks of 16-bit mono at 44.1 kHz play back to back from when they
// are written, and its own thread reports each done. The world gives it its faults.
class SimWinmm final : public Winmm {
 public:
  struct World {
    milliseconds openTakes{0};
    bool refuseOpen = false;
    int refuseWriteAt = -1;  // the n-th write (from 0) is refused
    bool noPosition = false, neverDone = false;
    int lateBlock = -1;  // this block (from 0) is reported 1 s after it has played
    milliseconds standStillAt = milliseconds(1LL << 40);  // nothing plays from here on
    bool failClose = false;
  };

  SimWinmm(World world, VirtualTimeline& timeline) : world_(world), timeline_(timeline) {}
  ~SimWinmm() override { Stop(); }

  Playback Open(const PcmFormat& opened, std::atomic<int>& pending) override {
    calls.push_back("open");
    format = opened;
    timeline_.SleepUntil(timeline_.Now() + world_.openTakes);
    if (world_.refuseOpen) return Playback::DeviceUnavailable;
    pending_ = &pending;
    thread_ = StartThread(timeline_, [this] { Report(); });
    return Playback::Played;
  }
  bool Write(std::span<const std::byte> block) override {
    std::lock_guard lock(mutex_);
    calls.push_back("write " + std::to_string(block.size()));
    if (std::ssize(blocks) == world_.refuseWriteAt) return false;
    samples.resize(samples.size() + block.size() / 2);
    std::memcpy(samples.data() + samples.size() - block.size() / 2, block.data(), block.size());
    blocks.push_back(block);
    const milliseconds start = std::max(Now(), plays_.empty() ? milliseconds(0) : plays_.back().second);
    plays_.emplace_back(start, start + milliseconds(block.size() * 10 / 882));
    maxPending = std::max(maxPending, static_cast<std::size_t>(++*pending_));
    timeline_.Notify(changed_);
    return true;
  }
  void Unprepare() override { calls.push_back("unprepare"); }
  std::optional<std::uint64_t> Position() override {
    std::lock_guard lock(mutex_);
    if (world_.noPosition) return std::nullopt;
    const milliseconds now = std::min(Now(), world_.standStillAt);
    milliseconds heard{0};
    for (const auto& [start, end] : plays_) heard += std::clamp(now, start, end) - start;
    return static_cast<std::uint64_t>(heard.count()) * 441 / 10;
  }
  void Reset() override {
    std::lock_guard lock(mutex_);
    calls.push_back("reset");
    *pending_ -= static_cast<int>(plays_.size() - done_);
    done_ = plays_.size();
  }
  bool Close() override {
    calls.push_back("close");
    closedAt = Now();
    Stop();
    return !world_.failClose;
  }

  // Whether the blocks not yet unprepared still hold what was written.
  bool Kept() const {
    std::size_t at = 0, unprepared = std::count(calls.begin(), calls.end(), "unprepare");
    for (std::size_t i = 0; i < blocks.size(); at += blocks[i++].size()) {
      if (i >= unprepared && std::memcmp(blocks[i].data(), &samples[at / 2], blocks[i].size()) != 0) return false;
    }
    return true;
  }
  std::vector<std::string> calls;
  std::vector<std::int16_t> samples;  // written so far
  std::vector<std::span<const std::byte>> blocks;  // as written: winmm may read each until it is unprepared
  std::size_t maxPending = 0;
  PcmFormat format;  // of the last open
  milliseconds closedAt{-1};

 private:
  milliseconds Now() { return timeline_.Elapsed(); }

  // winmm's thread: each block done once it has played, in the order written.
  void Report() {
    std::unique_lock lock(mutex_);
    while (!stopped_) {
      const bool due = done_ < plays_.size() && !world_.neverDone && plays_[done_].second <= world_.standStillAt;
      const milliseconds late(static_cast<int>(done_) == world_.lateBlock ? 1000 : 0);
      const auto at = due ? Timeline::TimePoint(plays_[done_].second + late) : Timeline::TimePoint::max();
      if (timeline_.Now() < at) {
        timeline_.Wait(lock, changed_, at);
      } else {
        ++done_;
        --*pending_;
      }
    }
  }
  void Stop() {
    std::unique_lock lock(mutex_);
    stopped_ = true;
    timeline_.Notify(changed_);
    lock.unlock();
    if (thread_.joinable()) thread_.join();
  }

  World world_;
  VirtualTimeline& timeline_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<int>* pending_ = nullptr;
  std::vector<std::pair<milliseconds, milliseconds>> plays_;  // when each block plays
  std::size_t done_ = 0;                                      // blocks reported done
  bool stopped_ = false;
  std::thread thread_;
};

// winmm's device over a SimWinmm, and a clock, on a virtual timeline of their own.
struct SimDevice final : Clock {
  explicit SimDevice(SimWinmm::World world = {}) {
    auto owned = std::make_unique<SimWinmm>(world, timeline);
    winmm = owned.get();
    device = MakeWinmmWaveOut(std::move(owned), timeline);
  }
  ~SimDevice() override { timeline.Finish(); }  // a call still in the SimWinmm returns first
  void Sleep(milliseconds duration) override { timeline.SleepUntil(timeline.Now() + duration); }

  VirtualTimeline timeline;
  SimWinmm* winmm;
  std::unique_ptr<WaveOut> device;
};

// Records the sound services that a run asks for.
class RecordingSound final : public Sound {
 public:
  WaveOut& Device() override { return *device.device; }
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
    return path == "text.wav" ? Playback::NotPlayable : Playback::Played;
  }

  SimDevice device;
  std::vector<std::string> calls;
};

}  // namespace belvox::fakes
