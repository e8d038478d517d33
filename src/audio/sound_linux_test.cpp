#include "audio/sound_linux.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "fakes.hpp"

namespace belvox {
namespace {

// A WAV file of one fmt chunk and one data chunk.
std::filesystem::path WriteWav(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bytes,
                               const void* data, std::uint32_t size) {
  const auto path = std::filesystem::temp_directory_path() / ("belvox-wav-" + std::to_string(::getpid()));
  const std::uint16_t align = channels * bytes, bits = bytes * 8;
  const std::uint32_t fmtSize = 16, byteRate = rate * align, riffSize = 4 + 8 + fmtSize + 8 + size;
  std::ofstream out(path, std::ios::binary);
  const auto put = [&](const void* p, std::size_t n) { out.write(static_cast<const char*>(p), std::streamsize(n)); };
  put("RIFF", 4), put(&riffSize, 4), put("WAVEfmt ", 8), put(&fmtSize, 4), put(&tag, 2), put(&channels, 2);
  put(&rate, 4), put(&byteRate, 4), put(&align, 2), put(&bits, 2), put("data", 4), put(&size, 4), put(data, size);
  return path;
}

std::vector<std::int16_t> PlayWav(const std::filesystem::path& path, PcmFormat& format) {
  fakes::SimDevice sim;
  LinuxSound sound(std::move(sim.device));
  EXPECT_EQ(sound.PlayWavFile(path), Playback::Played);
  std::filesystem::remove(path);
  format = sim.winmm->format;
  return sim.winmm->samples;
}

// Full scale 1.0 is 32767 and louder samples are clipped, whatever the file's peak.
TEST(LinuxSound, PlaysFloatingPointWavesAtTheirOwnLevel) {
  const double values[] = {0.25, -0.25, 0.5, 1.0, -1.0, 1.5, -1.5, 0.0, std::numeric_limits<double>::quiet_NaN(), 1e-6};
  const std::vector<std::int16_t> expected = {8192, -8192, 16384, 32767, -32767, 32767, -32768, 0, 0, 0};
  const std::vector<float> floats(std::begin(values), std::end(values));
  PcmFormat format;
  EXPECT_EQ(PlayWav(WriteWav(3, 1, 44100, 4, floats.data(), floats.size() * 4), format), expected);
  EXPECT_EQ(PlayWav(WriteWav(3, 1, 44100, 8, values, sizeof values), format), expected);
}

TEST(LinuxSound, PlaysAWaveInItsOwnRateAndChannels) {
  std::vector<std::int16_t> frames(2 * 48000 * 7 / 10);  // 0.7 s of stereo, more than one buffer
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<std::int16_t>(i * 7 % 20000 - 10000);
  PcmFormat format;
  EXPECT_EQ(PlayWav(WriteWav(1, 2, 48000, 2, frames.data(), std::uint32_t(frames.size() * 2)), format), frames);
  EXPECT_EQ(std::pair(format.sampleRate, format.channels), std::pair(48000u, std::uint16_t{2}));
}

}  // namespace
}  // namespace belvox
