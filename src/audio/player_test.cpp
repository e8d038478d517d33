#include "audio/player.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

using fakes::SimWaveOut;
using Calls = std::vector<std::string>;

std::vector<std::int16_t> Samples(const SimWaveOut& device) {
  std::vector<std::int16_t> samples(device.played.size() / 2);
  std::memcpy(samples.data(), device.played.data(), device.played.size());
  return samples;
}

// The steps rendered one after another, each from phase 0.
std::vector<std::int16_t> Rendered(const ToneSequence& tones, Waveform waveform) {
  std::vector<std::int16_t> samples;
  for (const ToneStep& step : tones) {
    std::vector<std::int16_t> part(StepBytes((step.duration + 5) / 10 * 10) / 2, 0);
    if (step.frequency != 0) SynthesizeSamples(part.data(), part.size(), waveform, step.frequency, 44100);
    samples.insert(samples.end(), part.begin(), part.end());
  }
  return samples;
}

ToneSequence Repeated(ToneStep step, int count) { return ToneSequence(static_cast<std::size_t>(count), step); }

TEST(PlaySequence, PlaysShortSequencesFromOneBufferRoundedToTenMilliseconds) {
  // 14 ms plays for 10 and 15 ms for 20; in all 10 + 20 + 130 + 190 + 1330 + 0 + 10 + 20 = 1710 ms.
  const ToneSequence tones = {{440, 14}, {440, 15}, {440, 125}, {440, 188}, {440, 1333}, {0, 4}, {0, 5}, {0, 24}};
  SimWaveOut device;
  EXPECT_EQ(PlaySequence(tones, Waveform::Sine, device), Playback::Played);
  EXPECT_EQ(device.calls, (Calls{"open", "prepare 150822", "write", "wait 0 within 2210", "unprepare 150822",
                                 "sleep 100", "close"}));
  ASSERT_EQ(device.headers.size(), 1u);
  EXPECT_EQ(device.headers[0].flags, 0x0Cu);
  EXPECT_EQ(device.headers[0].loops, 1u);
  ToneSequence rounded = {{440, 10}, {440, 20}, {440, 130}, {440, 190}, {440, 1330}, {0, 0}, {0, 10}, {0, 20}};
  EXPECT_EQ(Samples(device), Rendered(rounded, Waveform::Sine));
}

TEST(PlaySequence, StreamsFromSixteenMebibytesOnWithTwoBuffersQueued) {
  // 190,210 ms is 16,776,522 bytes and plays from one buffer; 190,220 ms is streamed.
  ToneSequence whole = Repeated({880, 1000}, 190);
  whole.push_back({0, 210});
  SimWaveOut wholeDevice;
  EXPECT_EQ(PlaySequence(whole, Waveform::Triangle, wholeDevice), Playback::Played);
  EXPECT_EQ(wholeDevice.headers.size(), 1u);

  ToneSequence streamed = Repeated({880, 1000}, 190);
  streamed.push_back({0, 220});
  SimWaveOut device;
  EXPECT_EQ(PlaySequence(streamed, Waveform::Triangle, device), Playback::Played);
  EXPECT_EQ(device.headers.size(), streamed.size());
  EXPECT_EQ(device.maxPending, 2);
  EXPECT_EQ(Samples(device), Rendered(streamed, Waveform::Triangle));
  // Header i mod 2 carries buffer i; each is released once the next is queued and it has played.
  const Calls start = {"open",          "prepare 88200",      "write",          "prepare 88200",
                       "write",         "wait 1 within 2500", "unprepare 88200", "prepare 88200",
                       "write",         "wait 1 within 2500", "unprepare 88200"};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), device.calls.begin()));
  const Calls end = {"prepare 19404",      "write",           "wait 1 within 1720", "unprepare 88200",
                     "wait 0 within 720", "unprepare 19404", "sleep 100",          "close"};
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
  EXPECT_EQ(PlaySequence(tones, Waveform::Square, device), Playback::Played);
  for (std::size_t i = 0; i + 1 < device.headers.size(); ++i) {
    ASSERT_GE(device.headers[i].bytes, StepBytes(200)) << i;
    ASSERT_LT(device.headers[i].bytes, StepBytes(200 + 150)) << i;
  }
  EXPECT_EQ(Samples(device), Rendered(tones, Waveform::Square));
}

TEST(PlaySequence, AFailingOrSilentDeviceEndsTheRunWithinItsDeadline) {
  struct Case {
    SimWaveOut::Faults faults;
    int seconds;
    Playback outcome;
    Calls calls;
  };
  const Case cases[] = {
      {{.open = true}, 1, Playback::DeviceUnavailable, {"open"}},
      {{.prepareAt = 0}, 1, Playback::DeviceUnavailable, {"open", "prepare 88200", "reset", "close"}},
      {{.writeAt = 0},
       1,
       Playback::DeviceUnavailable,
       {"open", "prepare 88200", "write", "reset", "unprepare 88200", "close"}},
      // Never reports the end: given up 500 ms after the audio's own length.
      {{.stallAt = 0},
       1,
       Playback::DeviceUnavailable,
       {"open", "prepare 88200", "write", "wait 0 within 1500", "reset", "unprepare 88200", "close"}},
      // Reports late, but within the margin: plays as usual.
      {{.late = std::chrono::milliseconds(499)},
       1,
       Playback::Played,
       {"open", "prepare 88200", "write", "wait 0 within 1500", "unprepare 88200", "sleep 100", "close"}},
      {{.writeAt = 2},
       191,
       Playback::DeviceUnavailable,
       {"open", "prepare 88200", "write", "prepare 88200", "write", "wait 1 within 2500", "unprepare 88200",
        "prepare 88200", "write", "reset", "unprepare 88200", "unprepare 88200", "close"}},
      {{.stallAt = 1},
       191,
       Playback::DeviceUnavailable,
       {"open", "prepare 88200", "write", "prepare 88200", "write", "wait 1 within 2500", "unprepare 88200",
        "prepare 88200", "write", "wait 1 within 2500", "reset", "unprepare 88200", "unprepare 88200", "close"}},
  };
  for (const Case& c : cases) {
    SimWaveOut device(c.faults);
    EXPECT_EQ(PlaySequence(Repeated({440, 1000}, c.seconds), Waveform::Sine, device), c.outcome);
    EXPECT_EQ(device.calls, c.calls);
  }
}

TEST(PlayBeeps, SquareWavesAtWholeHertzBackToBackAndNothingForNoSteps) {
  SimWaveOut device;
  EXPECT_EQ(PlayBeeps(ToneSequence{{440.9, 100}, {0, 100}, {880, 125}}, device), Playback::Played);
  std::vector<std::int16_t> expected(4410 + 4410 + 5512, 0);
  SynthesizeSamples(expected.data(), 4410, Waveform::Square, 440, 44100);
  SynthesizeSamples(expected.data() + 8820, 5512, Waveform::Square, 880, 44100);
  EXPECT_EQ(Samples(device), expected);
  EXPECT_EQ(device.calls.back(), "close");
  EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "sleep 100"), 0);

  SimWaveOut idle;
  EXPECT_EQ(PlayBeeps({}, idle), Playback::Played);
  EXPECT_TRUE(idle.calls.empty());
}

}  // namespace
}  // namespace belvox
