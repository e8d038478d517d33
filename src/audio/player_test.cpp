#include "audio/player.hpp"

#include <gtest/gtest.h>

#include <utility>

#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using fakes::SimDevice;
using Calls = std::vector<std::string>;

// The steps, of whole 10 ms, rendered one after another, each from phase 0.
std::vector<std::int16_t> Rendered(const ToneSequence& tones, Waveform waveform) {
  std::vector<std::int16_t> samples;
  for (const ToneStep& step : tones) {
    std::vector<std::int16_t> part(step.duration * 441u / 10u, 0);
    if (step.frequency != 0) SynthesizeSamples(part.data(), part.size(), waveform, step.frequency, 44100);
    samples.insert(samples.end(), part.begin(), part.end());
  }
  return samples;
}

TEST(PlaySequence, PlaysShortSequencesFromOneBufferRoundedToTenMilliseconds) {
  // 14 ms plays for 10 and 15 ms for 20; in all 10 + 20 + 130 + 190 + 1330 + 0 + 10 + 20 = 1710 ms.
  const ToneSequence tones = {{440, 14}, {440, 15}, {440, 125}, {440, 188}, {440, 1333}, {0, 4}, {0, 5}, {0, 24}};
  SimDevice sim;
  EXPECT_EQ(PlaySequence(tones, Waveform::Sine, *sim.device, sim), Playback::Played);
  EXPECT_EQ(sim.winmm->calls, (Calls{"open", "write 150822", "unprepare", "close"}));
  ToneSequence rounded = {{440, 10}, {440, 20}, {440, 130}, {440, 190}, {440, 1330}, {0, 0}, {0, 10}, {0, 20}};
  EXPECT_EQ(sim.winmm->samples, Rendered(rounded, Waveform::Sine));
  EXPECT_NEAR(sim.winmm->closedAt.count(), 1710 + 100, 1);  // after the closing pause
}

TEST(PlaySequence, PlaysUpToSixteenMebibytesFromOneBufferAndStreamsWholeStepsBeyond) {
  // 190,210 ms is 16,776,522 bytes and plays from one buffer.
  ToneSequence whole = ToneSequence(190, {880, 1000});
  whole.push_back({0, 210});
  SimDevice wholeSim;
  EXPECT_EQ(PlaySequence(whole, Waveform::Triangle, *wholeSim.device, wholeSim), Playback::Played);
  EXPECT_EQ(wholeSim.winmm->calls, (Calls{"open", "write 16776522", "unprepare", "close"}));

  // Steps of 10, 30 and 150 ms, 191.9 s in all, streamed with two buffers queued: a buffer takes steps
  // until it lasts 200 ms or more.
  ToneSequence tones;
  for (int i = 0; i < 1010; ++i) tones.insert(tones.end(), {{440, 10}, {0, 30}, {523.25, 150}});
  SimDevice sim;
  EXPECT_EQ(PlaySequence(tones, Waveform::Square, *sim.device, sim), Playback::Played);
  const auto& blocks = sim.winmm->blocks;
  for (std::size_t i = 0; i + 1 < blocks.size(); ++i) {
    ASSERT_GE(blocks[i].size(), StepBytes(200)) << i;
    ASSERT_LT(blocks[i].size(), StepBytes(200 + 150)) << i;
  }
  EXPECT_EQ(blocks[0].size(), StepBytes(10 + 30 + 150 + 10));  // it stops at 200 ms when it reaches it
  EXPECT_EQ(sim.winmm->maxPending, 2u);
  EXPECT_EQ(std::count(sim.winmm->calls.begin(), sim.winmm->calls.end(), "unprepare"), std::ssize(blocks));  // once each
  EXPECT_EQ(sim.winmm->samples, Rendered(tones, Waveform::Square));
  EXPECT_NEAR(sim.winmm->closedAt.count(), 191900 + 100, 2);  // back to back, then the pause
}

// A device that fails is stopped before it is closed, and its failure is the playback's.
TEST(PlaySequence, ADeviceThatFailsIsStoppedAndClosed) {
  using World = fakes::SimWinmm::World;
  const Calls played = {"open", "write 88200", "unprepare", "close"};
  const std::pair<World, Calls> cases[] = {
      {{.refuseOpen = true}, {"open"}},
      {{.refuseWriteAt = 0}, {"open", "write 88200", "reset", "close"}},
      {{.failClose = true}, played},  // a device may say only as it closes that it lost the audio
  };
  for (const auto& [world, calls] : cases) {
    SimDevice sim(world);
    EXPECT_EQ(PlaySequence(ToneSequence{{440, 1000}}, Waveform::Sine, *sim.device, sim), Playback::DeviceUnavailable);
    EXPECT_EQ(sim.winmm->calls, calls);
  }
}

TEST(PlayBeeps, SquareWavesAtWholeHertzBackToBackAndNothingForNoSteps) {
  SimDevice sim;
  EXPECT_EQ(PlayBeeps(ToneSequence{{440.9, 100}, {0, 100}, {880, 125}}, *sim.device), Playback::Played);
  std::vector<std::int16_t> expected(4410 + 4410 + 5512, 0);
  SynthesizeSamples(expected.data(), 4410, Waveform::Square, 440, 44100);
  SynthesizeSamples(expected.data() + 8820, 5512, Waveform::Square, 880, 44100);
  EXPECT_EQ(sim.winmm->samples, expected);
  EXPECT_EQ(sim.winmm->calls, (Calls{"open", "write 28664", "unprepare", "close"}));
  EXPECT_NEAR(sim.winmm->closedAt.count(), 325, 1);  // no pause after the last

  SimDevice idle;
  EXPECT_EQ(PlayBeeps({}, *idle.device), Playback::Played);
  EXPECT_TRUE(idle.winmm->calls.empty());
}

}  // namespace
}  // namespace belvox
