#include "audio/player.hpp"

#include <gtest/gtest.h>

#include <utility>

#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using fakes::SimWaveOut;
using std::chrono::milliseconds;
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
  SimWaveOut device;
  EXPECT_EQ(PlaySequence(tones, Waveform::Sine, device, device), Playback::Played);
  EXPECT_EQ(device.calls, (Calls{"open", "queue 150822", "wait 0", "sleep 100", "close"}));
  ToneSequence rounded = {{440, 10}, {440, 20}, {440, 130}, {440, 190}, {440, 1330}, {0, 0}, {0, 10}, {0, 20}};
  EXPECT_EQ(device.Samples(), Rendered(rounded, Waveform::Sine));
}

TEST(PlaySequence, StreamsFromSixteenMebibytesOnWithTwoBuffersQueued) {
  // 190,210 ms is 16,776,522 bytes and plays from one buffer; 190,220 ms is streamed.
  ToneSequence whole = ToneSequence(190, {880, 1000});
  whole.push_back({0, 210});
  SimWaveOut wholeDevice;
  EXPECT_EQ(PlaySequence(whole, Waveform::Triangle, wholeDevice, wholeDevice), Playback::Played);
  EXPECT_EQ(wholeDevice.blocks, std::vector<std::size_t>{16776522});

  ToneSequence streamed = ToneSequence(190, {880, 1000});
  streamed.push_back({0, 220});
  SimWaveOut device;
  EXPECT_EQ(PlaySequence(streamed, Waveform::Triangle, device, device), Playback::Played);
  EXPECT_EQ(device.blocks.size(), streamed.size());
  EXPECT_EQ(device.maxPending, 2u);
  EXPECT_EQ(device.Samples(), Rendered(streamed, Waveform::Triangle));
  // Buffer i + 1 is queued while buffer i plays; the last is waited for, then the pause.
  const Calls start = {"open", "queue 88200", "wait 1", "queue 88200", "wait 1"};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), device.calls.begin()));
  const Calls end = {"queue 19404", "wait 1", "wait 0", "sleep 100", "close"};
  EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), device.calls.rbegin()));
}

TEST(PlaySequence, StreamedBuffersHoldWholeStepsForAtLeast200Milliseconds) {
  // Steps of 10, 30 and 150 ms, 191.9 s in all: a buffer takes steps until it lasts 200 ms or more.
  ToneSequence tones;
  for (int i = 0; i < 1010; ++i) {
    tones.push_back({440, 10});
    tones.push_back({0, 30});
    tones.push_back({523.25, 150});
  }
  SimWaveOut device;
  EXPECT_EQ(PlaySequence(tones, Waveform::Square, device, device), Playback::Played);
  for (std::size_t i = 0; i + 1 < device.blocks.size(); ++i) {
    ASSERT_GE(device.blocks[i], StepBytes(200)) << i;
    ASSERT_LT(device.blocks[i], StepBytes(200 + 150)) << i;
  }
  EXPECT_EQ(device.Samples(), Rendered(tones, Waveform::Square));
}

// A device that fails is stopped before it is closed, and its failure is the playback's.
TEST(PlaySequence, ADeviceThatFailsIsStoppedAndClosed) {
  using World = SimWaveOut::World;
  const Calls played = {"open", "queue 88200", "wait 0", "sleep 100", "close"};
  const std::pair<World, Calls> cases[] = {
      {{.refuseOpen = true}, {"open"}},
      {{.refuseQueueAt = 0}, {"open", "queue 88200", "stop", "close"}},
      {{.loseOnClose = true}, played},  // a plugin that writes no file says so only as it closes
  };
  for (const auto& [world, calls] : cases) {
    SimWaveOut device(world);
    EXPECT_EQ(PlaySequence(ToneSequence{{440, 1000}}, Waveform::Sine, device, device), Playback::DeviceUnavailable);
    EXPECT_EQ(device.calls, calls);
  }
}

TEST(PlayBeeps, SquareWavesAtWholeHertzBackToBackAndNothingForNoSteps) {
  SimWaveOut device;
  EXPECT_EQ(PlayBeeps(ToneSequence{{440.9, 100}, {0, 100}, {880, 125}}, device), Playback::Played);
  std::vector<std::int16_t> expected(4410 + 4410 + 5512, 0);
  SynthesizeSamples(expected.data(), 4410, Waveform::Square, 440, 44100);
  SynthesizeSamples(expected.data() + 8820, 5512, Waveform::Square, 880, 44100);
  EXPECT_EQ(device.Samples(), expected);
  EXPECT_EQ(device.calls, (Calls{"open", "queue 28664", "wait 0", "close"}));

  SimWaveOut idle;
  EXPECT_EQ(PlayBeeps({}, idle), Playback::Played);
  EXPECT_TRUE(idle.calls.empty());
}

}  // namespace
}  // namespace belvox
