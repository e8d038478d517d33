#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <thread>

#include "audio/player.hpp"
#include "audio/winmm.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using Ms = milliseconds;
using TimePoint = Timeline::TimePoint;

// What winmm was given, and when the device closed.
struct Record {
  std::vector<std::byte> bytes;
  Ms closedAt{-1};
};

// winmm's wave-out on a virtual timeline: blocks of 16-bit mono at 44.1 kHz play
// back to back from when they are written, and its own thread reports each done.
class SimWinmm final : public Winmm {
 public:
  struct World {
    Ms openTakes{0};
    bool refuseOpen = false;
    int refuseWriteAt = -1;
    Ms writeTakes{0};
    bool noPosition = false;
    bool neverDone = false;
    int lateBlock = -1;                // this block (from 0) is reported 1 s after it has played
    Ms standStillAt = Ms(1LL << 40);  // nothing plays from here on
  };

  SimWinmm(World world, Timeline& timeline, Record& record) : world_(world), timeline_(timeline), record_(record) {}
  ~SimWinmm() override { Close(); }

  Playback Open(const PcmFormat&, std::atomic<int>& pending) override {
    timeline_.SleepUntil(timeline_.Now() + world_.openTakes);
    if (world_.refuseOpen) return Playback::DeviceUnavailable;
    pending_ = &pending;
    StartThread(timeline_, [this] { Report(); }, &thread_);
    return Playback::Played;
  }
  bool Write(std::span<const std::byte> block) override {
    timeline_.SleepUntil(timeline_.Now() + world_.writeTakes);
    std::lock_guard lock(mutex_);
    if (writes_++ == world_.refuseWriteAt) return false;
    record_.bytes.insert(record_.bytes.end(), block.begin(), block.end());
    const Ms start = std::max(Now(), played_.empty() ? Ms(0) : played_.back().second);
    played_.emplace_back(start, start + Ms(block.size() * 10 / 882));
    ends_.push_back(played_.back().second);
    ++*pending_;
    timeline_.Notify(changed_);
    return true;
  }
  void Unprepare() override {}
  std::optional<std::uint64_t> Position() override {
    std::lock_guard lock(mutex_);
    if (world_.noPosition) return std::nullopt;
    const Ms now = std::min(Now(), world_.standStillAt);
    Ms played{0};
    for (const auto& [start, end] : played_) played += std::clamp(now, start, end) - start;
    return static_cast<std::uint64_t>(played.count()) * 441 / 10;
  }
  void Reset() override {
    std::lock_guard lock(mutex_);
    *pending_ -= static_cast<int>(ends_.size());
    ends_.clear();
  }
  void Close() override {
    {
      std::lock_guard lock(mutex_);
      if (closed_ || pending_ == nullptr) return;
      closed_ = true;
      record_.closedAt = Now();
      timeline_.Notify(changed_);
    }
    thread_.join();
  }

 private:
  Ms Now() { return std::chrono::duration_cast<Ms>(timeline_.Now().time_since_epoch()); }

  // winmm's thread: each block done once it has played.
  void Report() {
    std::unique_lock lock(mutex_);
    while (!closed_) {
      const bool due = !ends_.empty() && !world_.neverDone && ends_.front() <= world_.standStillAt;
      const Ms late = done_ == world_.lateBlock ? Ms(1000) : Ms(0);
      const TimePoint at = due ? TimePoint(ends_.front() + late) : TimePoint::max();
      if (timeline_.Now() < at) {
        timeline_.Wait(lock, changed_, at);
        continue;
      }
      ends_.pop_front();
      ++done_;
      --*pending_;
    }
  }

  World world_;
  Timeline& timeline_;
  Record& record_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<int>* pending_ = nullptr;
  std::vector<std::pair<Ms, Ms>> played_;  // when each block plays
  std::deque<Ms> ends_;                    // of the blocks not yet done
  int writes_ = 0;
  int done_ = 0;
  bool closed_ = false;
  std::thread thread_;
};

// What the player sees of every outcome winmm can give: 3 s of audio plays whole
// and ends on time, or the device is given up on within its allowance and not
// before; the stream ends between `from` and `by` ms.
TEST(WinmmWaveOut, ThePlayerSeesEveryOutcomeOfWinmm) {
  using World = SimWinmm::World;
  struct Case {
    const char* what;
    World world;
    Ms stop;  // the process is stopped at 1 s for this long
    Playback outcome;
    int from, by;
  };
  const auto played = Playback::Played;
  const auto lost = Playback::DeviceUnavailable;
  const Case cases[] = {
      {"healthy", {}, Ms(0), played, 3000, 3010},
      {"a position query that fails", {.noPosition = true}, Ms(0), played, 3000, 3010},
      {"a block reported 1 s late", {.lateBlock = 3}, Ms(0), played, 3750, 3760},  // and the next behind it
      {"stopped for 30 s", {}, Ms(30000), played, 32400, 33100},
      {"a late wake is no stop", {.standStillAt = Ms(1000)}, Ms(500), lost, 3500, 3510},  // last seen to play at 1.5 s
      {"never reports a block", {.neverDone = true}, Ms(0), lost, 2500, 2800},
      {"never reports a block, nor its position", {.noPosition = true, .neverDone = true}, Ms(0), lost, 4000, 4300},
      {"stands still", {.standStillAt = Ms(1000)}, Ms(0), lost, 3000, 3300},
      {"never opens", {.openTakes = Ms(1 << 30)}, Ms(0), lost, 2000, 2010},
      {"a write that never returns", {.writeTakes = Ms(1 << 30)}, Ms(0), lost, 2000, 2010},
      {"a refused write", {.refuseWriteAt = 3}, Ms(0), lost, 500, 800},
      {"does not open", {.refuseOpen = true}, Ms(0), lost, 0, 0},
  };
  for (const Case& c : cases) {
    Record record;
    fakes::VirtualTimeline timeline;
    if (c.stop > Ms(0)) timeline.StopAt(Ms(1000), c.stop);
    const auto device = MakeWinmmWaveOut(std::make_unique<SimWinmm>(c.world, timeline, record), timeline);
    const Playback outcome = fakes::StreamTwelveBlocks(*device);
    const Ms ended = std::chrono::duration_cast<Ms>(timeline.Now().time_since_epoch());
    timeline.Finish();
    EXPECT_EQ(outcome, c.outcome) << c.what;
    EXPECT_GE(ended, Ms(c.from)) << c.what;
    EXPECT_LE(ended, Ms(c.by)) << c.what;
    EXPECT_TRUE(outcome != Playback::Played || (fakes::HoldsTwelveBlocks(record.bytes) && record.closedAt == ended))
        << c.what;
  }
}

}  // namespace
}  // namespace belvox
