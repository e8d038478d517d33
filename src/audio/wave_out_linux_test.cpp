#include "audio/wave_out_linux.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "audio/alsa_route_linux.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using ms = std::chrono::milliseconds;

// A PCM with a buffer of 44.1 kHz mono frames on a virtual timeline: it
// starts once the buffer is full (or when drained), then plays in real time and
// runs dry once it has played everything. The world gives it its faults.
class SimPcm final : public Pcm {
 public:
  struct World {
    int openError = 0;
    long buffer = 8820;  // frames
    ms openTakes{0};
    ms startAfter{0};  // once full, as a deep-buffered sink does
    bool halfWrites = false;     // each write takes half of what is offered
    int failWriteAt = -1;        // the n-th write (from 0) fails for good
    ms suspendAt = ms::max();  // every call for room fails from here on
    int drainError = 0, drainInterruptions = 0;
    bool playOut = false;  // the last 10 ms are heard only once more follows: the drain drops them
    ms latency{0};         // the sink's, beyond the buffer
    ms standStillAt = ms::max();
    bool stopped = false;  // the process is stopped at 1 s for 30 s
    bool recoverFails = false, loseOnClose = false;
    ms closeTakes{0};
  };

  SimPcm(World world, fakes::VirtualTimeline& timeline, std::vector<std::byte>& heard)
      : world_(world), timeline_(timeline), heard_(heard) {}

  long Open(const PcmFormat&) override {
    timeline_.SleepUntil(timeline_.Now() + world_.openTakes);
    return world_.openError != 0 ? world_.openError : world_.buffer;
  }
  bool PlaysOutWithSilence() override { return world_.playOut; }
  long Avail() override {
    Play();
    if (timeline_.Elapsed() >= world_.suspendAt) return -ESTRPIPE;
    return state_ == Xrun ? -EPIPE : world_.buffer - Held();
  }
  long Write(const std::byte* frames, std::size_t count) override {
    Play();
    if (state_ == Draining) return -EBADFD;  // a drained PCM takes nothing more
    if (writes_++ == world_.failWriteAt) return -EIO;
    if (world_.halfWrites && count > 1) count /= 2;
    heard_.insert(heard_.end(), frames, frames + count * 2);
    written_ += static_cast<long>(count);
    if (Held() == world_.buffer) state_ = Running;
    return static_cast<long>(count);
  }
  int Delay(long& frames) override {
    Play();
    frames = Held() + world_.latency.count() * 441 / 10;
    return 0;
  }
  bool Underrun() override { return Avail() == -EPIPE; }
  int Recover(int error) override {
    if (world_.recoverFails || error == -EBADFD) return error;
    state_ = Prepared;
    return 0;
  }
  int Drain() override {
    if (world_.drainInterruptions-- > 0) return -EINTR;
    if (world_.drainError != 0) return world_.drainError;
    Play();
    state_ = Draining;
    while (Held() > (world_.playOut ? 441 : 0)) {
      timeline_.SleepUntil(timeline_.Now() + ms(1));
      Play();
    }
    return 0;
  }
  bool Close() override {
    timeline_.SleepUntil(timeline_.Now() + world_.closeTakes);
    return !world_.loseOnClose;
  }

 private:
  enum State { Prepared, Running, Draining, Xrun };

  long Held() const { return written_ - played_; }
  // Plays what the time since the last look lets it, 44.1 frames a millisecond.
  void Play() {
    for (const ms end = timeline_.Elapsed(); now_ < end; now_ += ms(1)) {
      if (state_ == Prepared || state_ == Xrun || now_ < world_.startAfter || now_ >= world_.standStillAt) continue;
      const long heardOf = world_.playOut ? written_ - std::min(written_, 441L) : written_;
      played_ = std::min(heardOf, played_ + 44 + now_.count() % 10 / 9);
      if (Held() == 0 && state_ == Running) state_ = Xrun;
    }
  }

  World world_;
  fakes::VirtualTimeline& timeline_;
  std::vector<std::byte>& heard_;  // what it was given
  ms now_{0};  // played up to here
  State state_ = Prepared;
  int writes_ = 0;
  long written_ = 0;
  long played_ = 0;
};

// What the player sees of every outcome the PCM can give: 3 s of audio plays whole and ends on time, or the
// device is given up on within its allowance and not before; the stream ends between `from` and `by` ms.
TEST(AlsaFeeder, ThePlayerSeesEveryOutcomeOfThePcm) {
  using World = SimPcm::World;
  struct Case {
    const char* what;
    World world;
    Playback outcome;
    int from, by;
  };
  const auto played = Playback::Played, lost = Playback::DeviceUnavailable;
  const Case cases[] = {
      {"healthy", {}, played, 3000, 3030},
      {"starts late, as a deep-buffered sink does", {.startAfter = ms(3900)}, played, 6900, 6930},
      {"never starts", {.startAfter = ms(4500)}, lost, 4200, 4500},
      {"short writes", {.halfWrites = true}, played, 3000, 3030},
      {"a buffer that holds two blocks", {.buffer = 22050}, played, 3000, 3030},
      {"a failed write", {.failWriteAt = 20, .recoverFails = true}, lost, 250, 350},
      {"ran dry, no recovery", {.stopped = true, .recoverFails = true}, lost, 31000, 31300},
      {"suspended for good: recovered again and again", {.suspendAt = ms(1000)}, lost, 5000, 5300},
      {"a failed drain", {.drainError = -EIO}, lost, 2800, 2860},
      {"an interrupted drain", {.drainInterruptions = 2}, played, 3000, 3030},
      {"stands still", {.standStillAt = ms(1000)}, lost, 3200, 3300},
      {"stopped for 30 s", {.stopped = true}, played, 32800, 33300},
      {"loses it as it closes", {.loseOnClose = true}, lost, 3000, 3030},
      {"takes 1 s to close", {.closeTakes = ms(1000)}, played, 4000, 4030},
      {"never closes: stuck writing its output", {.closeTakes = ms(3600000)}, lost, 4000, 4200},
      {"does not open", {.openError = -ENOENT}, lost, 0, 0},
      {"out of memory as it opens", {.openError = -ENOMEM}, Playback::OutOfMemory, 0, 0},
      {"never opens", {.openTakes = ms(3600000)}, lost, 2000, 2010},
      {"drain left to silence, heard 100 ms after it leaves the buffer", {.playOut = true, .latency = ms(100)}, played,
       3100, 3130},
  };
  for (const Case& c : cases) {
    std::vector<std::byte> heard;
    fakes::VirtualTimeline timeline;
    if (c.world.stopped) timeline.StopAt(ms(1000), ms(30000));
    auto device = MakeFeedingWaveOut([&] { return std::make_unique<SimPcm>(c.world, timeline, heard); }, timeline);
    const Playback outcome = fakes::StreamTwelveBlocks(*device);
    const ms ended = timeline.Elapsed();
    timeline.Finish();
    EXPECT_EQ(outcome, c.outcome) << c.what;
    EXPECT_TRUE(ended >= ms(c.from) && ended <= ms(c.by)) << c.what << ": " << ended.count() << " ms";
    EXPECT_TRUE(outcome != Playback::Played || fakes::HoldsTwelveBlocks(heard)) << c.what;
    EXPECT_TRUE(device->Close() && !device->Queue({}) && !device->WaitPending(0)) << c.what;  // closed for good
  }
}

// PipeWire gets 10 ms periods, through its own plugin or PulseAudio's; the rest 50 ms.
TEST(ChooseRoute, ByThePluginAndWhatItsServerCallsItself) {
  const std::string_view pipewire = "PulseAudio (on PipeWire 0.3.65)";
  EXPECT_EQ(ChooseRoute("pipewire", "").periodMicroseconds, 10000u);
  EXPECT_TRUE(ChooseRoute("pipewire", "").pipeWirePlugin);
  EXPECT_EQ(ChooseRoute("pulse", pipewire).periodMicroseconds, 10000u);
  EXPECT_FALSE(ChooseRoute("pulse", pipewire).pipeWirePlugin);
  EXPECT_EQ(ChooseRoute("pulse", "pulseaudio").periodMicroseconds, 50000u);
  EXPECT_EQ(ChooseRoute("hw", pipewire).periodMicroseconds, 50000u);  // no server was asked
}

}  // namespace
}  // namespace belvox
