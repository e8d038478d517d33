#include "audio/sound.hpp"

#include <gtest/gtest.h>

namespace belvox {
namespace {

TEST(SpeakerCalls, TruncateFrequenciesAndRestOnZero) {
  const ToneSequence tones = {{440.9, 100}, {0.0, 100}, {523.2511, 500}, {20.99, 10}};
  EXPECT_EQ(SpeakerCalls(tones),
            (std::vector<SpeakerCall>{{false, 440, 100}, {true, 0, 100}, {false, 523, 500}, {false, 20, 10}}));
}

}  // namespace
}  // namespace belvox
