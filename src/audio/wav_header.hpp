#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>

namespace belvox {

// What the header of a RIFF WAVE file says of its audio.
struct WavHeader {
  std::uint16_t formatTag;  // 1 PCM, 3 float, 0xFFFE extensible, 0x50 and 0x55 MPEG, ...
  std::uint16_t channels;
  std::uint32_t sampleRate;
  std::uint32_t bytesPerSecond;
  std::uint16_t blockAlign;
  std::uint16_t bitsPerSample;
  std::uint32_t dataBytes;

  bool Mpeg() const { return formatTag == 0x50 || formatTag == 0x55; }
  // How long the data plays, rounded up to whole milliseconds.
  std::chrono::milliseconds Duration() const;
};

// Reads every chunk of a RIFF WAVE file to its end and checks what a player relies
// on: one `fmt ` chunk of 16 to 1,024 bytes whose extra size fits in it, 1 to 8
// channels at 1,000 to 768,000 Hz, a data rate, a block align that fits the
// samples (exactly, for PCM and float), and one `data` chunk that lies within the
// file. nullopt when any of that fails.
std::optional<WavHeader> ReadWavHeader(std::istream& file);
std::optional<WavHeader> ReadWavHeader(const std::filesystem::path& path);

}  // namespace belvox
