#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>

namespace belvox {

// What the header of a RIFF WAVE file says of its audio, as the file says it.
struct WavHeader {
  std::uint16_t formatTag;  // 1 PCM, 3 float, 0xFFFE extensible, 0x50 and 0x55 MPEG, ...
  std::uint16_t channels;
  std::uint32_t sampleRate;
  std::uint32_t bytesPerSecond;
  std::uint16_t blockAlign;
  std::uint16_t bitsPerSample;
  std::uint32_t dataBytes;  // as the chunk declares it: a file cut short holds fewer

  bool Mpeg() const { return formatTag == 0x50 || formatTag == 0x55; }
  // 1 to 32 channels at 1,000 to 768,000 Hz: what sound servers and cards take.
  bool Audible() const;
  // What wine's PlaySoundW crashes on: no block align (a division by zero), no
  // channels (a failed assertion) or more than 64 (a corrupted heap), and a data
  // chunk of 2 GiB or more (a length taken as negative).
  bool CrashesPlaySound() const;
  // How long the data plays, rounded up to whole milliseconds; 0 when the header
  // gives no rate.
  std::chrono::milliseconds Duration() const;
};

// Reads the chunks of a RIFF WAVE file, however many, until it has the first
// `fmt ` chunk (its first 16 bytes) and the first `data` chunk, in either order.
// nullopt when the file is no RIFF WAVE or lacks either.
std::optional<WavHeader> ReadWavHeader(std::istream& file);
std::optional<WavHeader> ReadWavHeader(const std::filesystem::path& path);

}  // namespace belvox
