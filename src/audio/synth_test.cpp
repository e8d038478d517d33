#include "audio/synth.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace belvox {
namespace {

std::vector<std::int16_t> Render(Waveform waveform, double frequency, std::uint32_t count) {
  std::vector<std::int16_t> samples(count + 1, 0x5A5A);  // one guard sample past the end
  SynthesizeSamples(samples.data(), count, waveform, frequency, 44100);
  EXPECT_EQ(samples.back(), 0x5A5A) << "wrote past the end";
  samples.pop_back();
  return samples;
}

struct Expected {
  Waveform waveform;
  double frequency;
  std::uint32_t index;
  std::int16_t value;
};

TEST(SynthesizeSamples, MatchesKnownSamples) {
  const Expected cases[] = {
      {Waveform::Sine, 440, 0, 0},          {Waveform::Sine, 440, 1, 205},         {Waveform::Sine, 440, 2, 409},
      {Waveform::Sine, 440, 3, 612},        {Waveform::Sine, 440, 4, 812},         {Waveform::Square, 440, 0, 3276},
      {Waveform::Square, 440, 50, 3276},    {Waveform::Square, 440, 51, -3276},    {Waveform::Square, 440, 100, -3276},
      {Waveform::Square, 440, 101, 3276},   {Waveform::Sawtooth, 440, 0, -3276},   {Waveform::Sawtooth, 440, 1, -3210},
      {Waveform::Sawtooth, 440, 2, -3145},  {Waveform::Sawtooth, 440, 3, -3079},   {Waveform::Sawtooth, 440, 4, -3014},
      {Waveform::Sawtooth, 440, 99, 3195},  {Waveform::Sawtooth, 440, 100, -3276}, {Waveform::Sawtooth, 1000, 42, 2963},
      {Waveform::Sawtooth, 1000, 43, 3112}, {Waveform::Sawtooth, 1000, 44, -3276}, {Waveform::Triangle, 440, 0, 0},
      {Waveform::Triangle, 440, 1, 130},    {Waveform::Triangle, 440, 2, 261},     {Waveform::Triangle, 440, 3, 392},
      {Waveform::Triangle, 440, 25, 3268},  {Waveform::Triangle, 440, 50, 0},      {Waveform::Triangle, 440, 75, -3268},
      {Waveform::Triangle, 440, 99, -130},  {Waveform::Triangle, 440, 100, 0},     {Waveform::Triangle, 1000, 11, 3268},
      {Waveform::Triangle, 1000, 22, 0},    {Waveform::Triangle, 1000, 33, -3268}, {Waveform::Triangle, 1000, 44, 0},
  };
  for (const Expected& e : cases) {
    EXPECT_EQ(Render(e.waveform, e.frequency, 300)[e.index], e.value)
        << "waveform " << int(e.waveform) << " at " << e.frequency << " Hz, index " << e.index;
  }
}

TEST(SynthesizeSamples, SquareFollowsTheSineSign) {
  const auto square = Render(Waveform::Square, 440, 102);
  for (std::uint32_t i = 0; i < square.size(); ++i) EXPECT_EQ(square[i], i <= 50 || i >= 101 ? 3276 : -3276) << i;
}

TEST(SynthesizeSamples, TriangleOvershootsAtTheTopOfTheRange) {
  const auto triangle = Render(Waveform::Triangle, 20000, 8);
  EXPECT_EQ(triangle, (std::vector<std::int16_t>{0, 5942, 0, 5942, 0, 5942, 0, 5942}));
}

TEST(SynthesizeSamples, StaysInsideItsRangeAcrossFrequencies) {
  for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Sawtooth, Waveform::Triangle}) {
    for (double frequency = 20; frequency <= 20000; frequency *= 1.37) {
      for (const std::int16_t s : Render(waveform, frequency, 4410)) {
        ASSERT_GE(s, -5700) << int(waveform) << " " << frequency;
        ASSERT_LE(s, 5942) << int(waveform) << " " << frequency;
      }
    }
  }
}

TEST(SynthesizeSamples, ShortAndEmptyBuffersAndRepeatability) {
  for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Sawtooth, Waveform::Triangle}) {
    EXPECT_TRUE(Render(waveform, 440, 0).empty());
    const auto whole = Render(waveform, 440, 100);
    const auto part = Render(waveform, 440, 7);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
    EXPECT_EQ(Render(waveform, 440, 100), whole);
  }
}

TEST(SynthesizeSamples, PeriodOfZeroSamplesGivesSilenceNotALoop) {
  EXPECT_EQ(Render(Waveform::Sawtooth, 100000, 5), std::vector<std::int16_t>(5, 0));
  EXPECT_EQ(Render(Waveform::Triangle, 100000, 5), std::vector<std::int16_t>(5, 0));
}

}  // namespace
}  // namespace belvox
