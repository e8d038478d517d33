#include "audio/liveness.hpp"

#include <gtest/gtest.h>

#include "fakes.hpp"

namespace belvox {
namespace {

ProgressWatch::TimePoint At(int ms) { return ProgressWatch::TimePoint(milliseconds(ms)); }

TEST(ProgressWatch, ACallMayLastItsAllowanceAndTheLatencyAndAStopIsNotHeldAgainstIt) {
  ProgressWatch watch(At(0));
  watch.Observe(4410, milliseconds(500), true, At(0));
  watch.CallStarted(At(0));
  EXPECT_FALSE(watch.Lost(At(2400)));
  EXPECT_TRUE(watch.Lost(At(2600)));
  watch.Woke(At(250), At(5000));  // the process was stopped during the call
  EXPECT_FALSE(watch.Lost(At(6000)));
  watch.CallEnded();
  EXPECT_FALSE(watch.Lost(At(8000)));  // the stream starts anew: the start allowance
  EXPECT_TRUE(watch.Lost(At(9600)));
}

// A call that returns at `returnsAt` ms of the virtual timeline, allowed 2 s, or
// more once it has asked for it at 1 s; the process is stopped at 1 s for `stop`.
TEST(RunBounded, WaitsForACallItsAllowanceOfRunningTime) {
  struct Case {
    const char* what;
    int returnsAt;
    int extendTo;  // ms, from 1 s on
    int stop;
    bool returned;
    int endsAt;
  };
  const Case cases[] = {
      {"returns in time", 1900, 0, 0, true, 1900},
      {"never returns", 1 << 30, 0, 0, false, 2000},
      {"asks for more", 3500, 2600, 0, true, 3500},
      {"asks for more, and takes longer", 3700, 2600, 0, false, 3600},
      {"stopped for 30 s", 31500, 0, 30000, true, 31500},
      {"a busy machine's late wake is no stop", 2300, 0, 500, false, 2000},
      {"a stop just longer than that is", 2300, 0, 501, true, 2300},
  };
  for (const Case& c : cases) {
    fakes::VirtualTimeline timeline;
    timeline.StopAt(milliseconds(1000), milliseconds(c.stop));
    const auto returned = RunBounded(timeline, kStallAllowance, [&](const Extend& extend) {
      timeline.SleepUntil(At(1000));
      if (c.extendTo > 0) extend(milliseconds(c.extendTo));
      timeline.SleepUntil(At(c.returnsAt));
      return 7;
    });
    EXPECT_EQ(returned, c.returned ? std::optional(7) : std::nullopt) << c.what;
    EXPECT_GE(timeline.Now(), At(c.endsAt)) << c.what;
    EXPECT_LE(timeline.Now(), At(c.endsAt + 2)) << c.what;
  }
}

}  // namespace
}  // namespace belvox
