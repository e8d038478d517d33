// winmm's wave-out as the player's device.
//
// How it works. Queue copies the block and writes it; winmm's callback counts
// each finished block off `pending_`; WaitPending polls that count every
// millisecond and, every kSlice, asks for the position. A device that holds
// audio and shows no progress (its position stands still, no block finishes) is
// lost, as is one whose call does not return: every call runs bounded (see
// liveness.hpp). A lost device is asked nothing more, and winmm may still read
// what was written to it: its copies are kept for the rest of the process.
#include <algorithm>
#include <deque>
#include <vector>

#include "audio/winmm.hpp"

namespace belvox {
namespace {

// The callback may call almost nothing, so it only counts: the count is polled this often.
constexpr milliseconds kPoll{1};

class WinmmWaveOut final : public WaveOut {
 public:
  WinmmWaveOut(std::unique_ptr<Winmm> winmm, Timeline& timeline)
      : winmm_(std::move(winmm)), timeline_(timeline), watch_(timeline.Now()) {}

  Playback Open(const PcmFormat& format) override {
    const auto opened = Bounded([this, format] { return winmm_->Open(format, pending_); });
    open_ = opened == Playback::Played;
    return opened.value_or(Playback::DeviceUnavailable);
  }

  bool Queue(std::span<const std::byte> block) override {
    if (lost_) return false;
    written_.emplace_back(block.begin(), block.end());
    const std::span<const std::byte> copy = written_.back();
    if (Bounded([this, copy] { return winmm_->Write(copy); }).value_or(false)) {
      ++queued_;
      return true;
    }
    if (!lost_) written_.pop_back();
    return false;
  }

  bool WaitPending(std::size_t blocks) override {
    if (lost_) return false;
    std::unique_lock lock(mutex_);
    std::optional<Timeline::TimePoint> looked;
    const auto played = [&] {
      if (pending_ <= static_cast<int>(blocks) || lost_) return true;
      const auto now = timeline_.Now();
      if (!looked || now - *looked >= kSlice) {
        looked = now;
        Look(now);
      }
      return lost_;
    };
    const bool finished = Await(timeline_, lock, changed_, watch_, played, kPoll);
    if (!finished || lost_) return Lose();
    // Blocks finish in the order written: the leading ones are done.
    const std::size_t done = written_.size() - std::min(blocks, written_.size());
    if (!Bounded([this, done] {
          for (std::size_t i = 0; i < done; ++i) winmm_->Unprepare();
          return true;
        })) {
      return false;
    }
    written_.erase(written_.begin(), written_.begin() + static_cast<std::ptrdiff_t>(done));
    return true;
  }

  void Stop() override {
    if (lost_ || !Bounded([this] {
          winmm_->Reset();
          return true;
        })) {
      return;
    }
    WaitPending(0);
  }

  bool Close() override {
    if (!open_) return true;
    open_ = false;
    return !lost_ && Bounded([this] { return winmm_->Close(); }).value_or(false);
  }

 private:
  // Runs a call into winmm on a thread of its own; nullopt, with the device
  // lost, when it does not return within its allowance.
  template <typename Call>
  auto Bounded(Call call) -> std::optional<decltype(call())> {
    auto result = RunBounded(timeline_, kStallAllowance, [call](const Extend&) { return call(); });
    if (!result) Lose();
    return result;
  }

  // Progress is a block that finished or a position that advanced.
  void Look(Timeline::TimePoint now) {
    const auto position = Bounded([this] { return winmm_->Position(); });
    if (!position) return;
    if (position->has_value()) position_ = std::max(position_, **position);
    const std::uint64_t finished = queued_ - static_cast<std::uint64_t>(pending_.load());
    watch_.Observe(finished + position_, milliseconds(0), pending_ > 0, now);
  }

  // The copies stay, for winmm may still read them, and the process ends
  // without the teardown that would ask winmm to close.
  bool Lose() {
    if (!lost_) {
      lost_ = true;
      abandoned_.push_back(std::move(written_));
      written_.clear();
      NoteLeftBehind();
    }
    return false;
  }

  std::unique_ptr<Winmm> winmm_;
  Timeline& timeline_;
  std::mutex mutex_;
  std::condition_variable changed_;  // nothing notifies it: the count is polled
  ProgressWatch watch_;
  std::atomic<int> pending_{0};
  std::uint64_t queued_ = 0;
  std::uint64_t position_ = 0;
  std::deque<std::vector<std::byte>> written_;  // in the order written, until unprepared
  std::vector<std::deque<std::vector<std::byte>>> abandoned_;
  bool open_ = false;
  bool lost_ = false;
};

}  // namespace

std::unique_ptr<WaveOut> MakeWinmmWaveOut(std::unique_ptr<Winmm> winmm, Timeline& timeline) {
  return std::make_unique<WinmmWaveOut>(std::move(winmm), timeline);
}

}  // namespace belvox
