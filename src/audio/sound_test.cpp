#include "audio/sound.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "audio/sound_linux.hpp"
#include "audio/synth.hpp"
#include "fakes.hpp"

namespace belvox {
namespace {

TEST(SpeakerCalls, TruncateFrequenciesAndRestOnZero) {
  const ToneSequence tones = {{440.9, 100}, {0.0, 100}, {523.2511, 500}, {20.99, 10}};
  EXPECT_EQ(SpeakerCalls(tones),
            (std::vector<SpeakerCall>{{false, 440, 100}, {true, 0, 100}, {false, 523, 500}, {false, 20, 10}}));
}

TEST(AlertSoundIds, FallBackToInformationThenBell) {
  const auto ids = [](std::uint32_t type) {
    const auto span = AlertSoundIds(type);
    return std::vector<std::string_view>(span.begin(), span.end());
  };
  using Ids = std::vector<std::string_view>;
  EXPECT_EQ(ids(0x00), (Ids{"bell"}));
  EXPECT_EQ(ids(0x10), (Ids{"dialog-error", "dialog-information", "bell"}));
  EXPECT_EQ(ids(0x20), (Ids{"dialog-question", "dialog-information", "bell"}));
  EXPECT_EQ(ids(0x30), (Ids{"dialog-warning", "dialog-information", "bell"}));
  EXPECT_EQ(ids(0x40), (Ids{"dialog-information", "bell"}));
}

TEST(LinuxSound, BeepsAreSquareWavesStreamedBackToBackWithSilentRests) {
  auto device = std::make_unique<fakes::SimWaveOut>();
  fakes::SimWaveOut& sim = *device;
  LinuxSound sound(std::move(device));
  const ToneSequence tones = {{440.9, 100}, {0, 100}, {880, 125}};
  EXPECT_TRUE(sound.PlaySpeakerTones(tones));

  std::vector<std::int16_t> expected(4410 + 4410 + 5512, 0);
  SynthesizeSamples(expected.data(), 4410, Waveform::Square, 440, 44100);
  SynthesizeSamples(expected.data() + 8820, 5512, Waveform::Square, 880, 44100);
  ASSERT_EQ(sim.played.size(), expected.size() * 2);
  EXPECT_EQ(std::memcmp(sim.played.data(), expected.data(), sim.played.size()), 0);
  EXPECT_LE(sim.maxOutstanding, 2);
}

TEST(LinuxSound, UnavailableDeviceFailsTheBeeps) {
  LinuxSound sound(std::make_unique<fakes::SimWaveOut>(fakes::SimWaveOut::Faults{.open = true}));
  EXPECT_FALSE(sound.PlaySpeakerTones({{800, 200}}));
}

}  // namespace
}  // namespace belvox
