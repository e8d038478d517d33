#include <gtest/gtest.h>

#include "fakes.hpp"

namespace belvox {
namespace {

using Ms = milliseconds;

// What the player sees of every outcome winmm can give: 3 s of audio plays whole and ends on time, or the
// device is given up on within its allowance and not before; the stream ends between `from` and `by` ms.
TEST(WinmmWaveOut, ThePlayerSeesEveryOutcomeOfWinmm) {
  using World = fakes::SimWinmm::World;
  struct Case {
    const char* what;
    World world;
    Ms stop;  // the process is stopped at 1 s for this long
    Playback outcome;
    int from, by;
  };
  const auto played = Playback::Played, lost = Playback::DeviceUnavailable;
  const Case cases[] = {
      {"healthy", {}, Ms(0), played, 3000, 3010},
      {"a position query that fails", {.noPosition = true}, Ms(0), played, 3000, 3010},
      {"a block reported 1 s late", {.lateBlock = 3}, Ms(0), played, 3750, 3760},  // and the next behind it
      {"stopped for 30 s", {}, Ms(30000), played, 32400, 33100},
      {"a late wake is no stop", {.standStillAt = Ms(750)}, Ms(500), lost, 2750, 2760},  // last seen to play at 0.75 s
      {"never reports a block", {.neverDone = true}, Ms(0), lost, 2500, 2800},
      {"stands still with one block to play", {.standStillAt = Ms(2900)}, Ms(0), lost, 5000, 5010},
      {"never reports a block, nor its position", {.noPosition = true, .neverDone = true}, Ms(0), lost, 4000, 4300},
      {"stopped for 30 s, then stands still: it may start again", {.standStillAt = Ms(750)}, Ms(30000), lost, 35000, 35010},
      {"never opens", {.openTakes = Ms(1 << 30)}, Ms(0), lost, 2000, 2010},
  };
  for (const Case& c : cases) {
    fakes::SimDevice sim(c.world);
    if (c.stop > Ms(0)) sim.timeline.StopAt(Ms(1000), c.stop);
    const Playback outcome = fakes::StreamTwelveBlocks(*sim.device);
    const Ms ended = sim.timeline.Elapsed();
    EXPECT_EQ(outcome, c.outcome) << c.what;
    EXPECT_TRUE(ended >= Ms(c.from) && ended <= Ms(c.by)) << c.what << ": " << ended.count() << " ms";
    const bool whole = fakes::HoldsTwelveBlocks(std::as_bytes(std::span(sim.winmm->samples)));
    // A device given up on is left behind, with what winmm may still read: the run ends without asking it to
    // close, and it stays lost. A device closes again at once.
    const bool left = LeftBehind() && sim.winmm->Kept() && sim.winmm->closedAt < Ms(0) && !sim.device->WaitPending(0);
    EXPECT_TRUE((outcome == Playback::Played ? whole && sim.winmm->closedAt == ended : left) && sim.device->Close())
        << c.what;
  }
}

}  // namespace
}  // namespace belvox
