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

TEST(SynthesizeSamples, MatchesSamplesWorkedOutByHand) {
  using enum Waveform;
  const std::tuple<Waveform, double, std::vector<std::pair<std::uint32_t, std::int16_t>>> cases[] = {
      {Sine, 440, {{0, 0}, {1, 205}, {2, 409}, {3, 612}, {4, 812}}},
      {Square, 440, {{0, 3276}, {50, 3276}, {51, -3276}, {100, -3276}, {101, 3276}}},
      {Sawtooth, 440, {{0, -3276}, {1, -3210}, {2, -3145}, {3, -3079}, {4, -3014}, {99, 3195}, {100, -3276}}},
      {Sawtooth, 1000, {{42, 2963}, {43, 3112}, {44, -3276}}},
      {Sawtooth, 261.63, {{167, 3215}, {168, 3254}, {169, -3276}}},  // a period of 168.56 rounds up
      {Triangle, 440, {{0, 0}, {1, 130}, {2, 261}, {3, 392}, {25, 3268}, {50, 0}, {75, -3268}, {99, -130}, {100, 0}}},
      {Triangle, 1000, {{11, 3268}, {22, 0}, {33, -3268}, {44, 0}}},
      {Triangle, 20000, {{0, 0}, {1, 5942}, {2, 0}, {3, 5942}}},
      {Triangle, 20, {{550, 3268}, {551, 3274}, {552, 3268}, {1102, 0}, {1103, 0}, {1654, -3274}, {2205, 0}}},
  };
  for (const auto& [waveform, frequency, samples] : cases) {
    const auto rendered = Render(waveform, frequency, 2300);
    for (const auto& [index, value] : samples) {
      EXPECT_EQ(rendered[index], value) << int(waveform) << " at " << frequency << " Hz, index " << index;
    }
  }
}

TEST(SynthesizeSamples, StaysInRangeStartsAfreshAndWritesOnlyWhatIsAsked) {
  for (const Waveform waveform : {Waveform::Sine, Waveform::Square, Waveform::Sawtooth, Waveform::Triangle}) {
    for (double frequency = 20; frequency <= 20000; frequency *= 1.37) {
      for (const std::int16_t s : Render(waveform, frequency, 4410)) {
        ASSERT_TRUE(s >= -5700 && s <= 5942) << int(waveform) << " " << frequency;
      }
    }
    EXPECT_TRUE(Render(waveform, 440, 0).empty());
    const auto whole = Render(waveform, 440, 100);
    const auto part = Render(waveform, 440, 7);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
  }
  // A period that rounds to no samples at all gives silence, not a loop without end.
  EXPECT_EQ(Render(Waveform::Sawtooth, 100000, 5), std::vector<std::int16_t>(5, 0));
  EXPECT_EQ(Render(Waveform::Triangle, 100000, 5), std::vector<std::int16_t>(5, 0));
}

}  // namespace
}  // namespace belvox
