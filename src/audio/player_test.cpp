#include "audio/player.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using fakes::SimWaveOut;

std::vector<std::int16_t> Samples(const SimWaveOut& device) {
  std::vector<std::int16_t> samples(device.played.size() / 2);
  std::memcpy(samples.data(), device.played.data(), device.played.size());
  return samples;
}

TEST(PlaySequence, RoundsDurationsToTenMilliseconds) {
  // 10 + 20 + 130 + 190 + 1330 + 0 + 10 + 20 ms
  const ToneSequence tones = {{440, 14}, {440, 15}, {440, 125}, {440, 188}, {440, 1333}, {0, 4}, {0, 5}, {0, 24}};
  SimWaveOut device;
  ASSERT_TRUE(PlaySequence(tones, Waveform::Sine, device));
  EXPECT_EQ(device.played.size(), StepBytes(1710));
}

TEST(PlaySequence, PlaysSmallSequencesFromOneBuffer) {
  ToneSequence tones = {{440, 350}, {440, 10}, {0, 50}};
  SimWaveOut device;
  ASSERT_TRUE(PlaySequence(tones, Waveform::Sine, device));
  EXPECT_EQ(device.calls,
            (std::vector<std::string>{"open", "prepare 36162", "write", "unprepare 36162", "sleep 100", "close"}));
  ASSERT_EQ(device.headers.size(), 1u);
  EXPECT_EQ(device.headers[0].flags, 0x0Cu);
  EXPECT_EQ(device.headers[0].loops, 1u);

  // Each step restarts its wave at 0; the rest is 2,205 zeros.
  const auto samples = Samples(device);
  ASSERT_EQ(samples.size(), 15435u + 441 + 2205);
  std::vector<std::int16_t> expected(15435 + 441 + 2205, 0);
  SynthesizeSamples(expected.data(), 15435, Waveform::Sine, 440, 44100);
  SynthesizeSamples(expected.data() + 15435, 441, Waveform::Sine, 440, 44100);
  EXPECT_EQ(samples, expected);
  EXPECT_EQ(OutstandingBuffers.load(), 0);
}

ToneSequence LongSequence(std::uint32_t milliseconds) {
  ToneSequence tones;
  for (; milliseconds >= 1000; milliseconds -= 1000) tones.push_back({880, 1000});
  if (milliseconds > 0) tones.push_back({0, static_cast<std::uint16_t>(milliseconds)});
  return tones;
}

TEST(PlaySequence, StreamsFromSixteenMebibytesOn) {
  ToneSequence whole = LongSequence(190210);
  SimWaveOut wholeDevice;
  ASSERT_TRUE(PlaySequence(whole, Waveform::Triangle, wholeDevice));
  EXPECT_EQ(wholeDevice.headers.size(), 1u);
  EXPECT_EQ(wholeDevice.played.size(), 16776522u);

  ToneSequence streamed = LongSequence(190220);
  SimWaveOut streamDevice;
  ASSERT_TRUE(PlaySequence(streamed, Waveform::Triangle, streamDevice));
  EXPECT_EQ(streamDevice.headers.size(), streamed.size());
  EXPECT_EQ(streamDevice.played.size(), 16777404u);
  EXPECT_LE(streamDevice.maxOutstanding, 2);
  EXPECT_EQ(OutstandingBuffers.load(), 0);

  // Header i mod 2 carries step i; each step is unprepared after the next is written.
  const std::vector<std::string> start = {"open",          "prepare 88200", "write",
                                          "prepare 88200", "write",         "unprepare 88200",
                                          "prepare 88200", "write",         "unprepare 88200"};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), streamDevice.calls.begin()));
  const std::vector<std::string> end = {"prepare 19404",   "write",     "unprepare 88200",
                                        "unprepare 19404", "sleep 100", "close"};
  EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), streamDevice.calls.rbegin()));

  // The same samples come out either way.
  ToneSequence tail = LongSequence(190220);
  std::vector<std::int16_t> expected;
  for (const ToneStep& step : tail) {
    std::vector<std::int16_t> part(StepBytes(step.duration) / 2, 0);
    if (step.frequency != 0) SynthesizeSamples(part.data(), part.size(), Waveform::Triangle, step.frequency, 44100);
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(Samples(streamDevice), expected);
}

TEST(PlaySequence, FailuresEndAtOnceAndReleaseEverything) {
  struct Case {
    SimWaveOut::Faults faults;
    std::uint32_t milliseconds;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {{.open = true}, 1000, {"open"}},
      {{.prepareAt = 0}, 1000, {"open", "prepare 88200", "reset", "close"}},
      {{.writeAt = 0}, 1000, {"open", "prepare 88200", "write", "reset", "unprepare 88200", "close"}},
      {{.loseAfter = 0}, 1000, {"open", "prepare 88200", "write", "reset", "unprepare 88200", "close"}},
      {{.writeAt = 2},
       190220,
       {"open", "prepare 88200", "write", "prepare 88200", "write", "unprepare 88200", "prepare 88200", "write",
        "reset", "unprepare 88200", "unprepare 88200", "close"}},
  };
  for (const Case& c : cases) {
    ToneSequence tones = LongSequence(c.milliseconds);
    SimWaveOut device(c.faults);
    EXPECT_FALSE(PlaySequence(tones, Waveform::Sine, device));
    EXPECT_EQ(device.calls, c.calls);
    EXPECT_EQ(OutstandingBuffers.load(), 0);
  }
}

}  // namespace
}  // namespace belvox
