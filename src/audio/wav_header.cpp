#include "audio/wav_header.hpp"

#include <array>
#include <fstream>
#include <string_view>

namespace belvox {
namespace {

constexpr std::uint32_t kLongestFormat = 1024;
constexpr std::uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

std::uint32_t Little(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool ReadAt(std::istream& file, std::uint64_t offset, unsigned char* bytes, std::size_t count) {
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count));
  return static_cast<std::size_t>(file.gcount()) == count;
}

bool Sane(const WavHeader& h) {
  if (h.channels < 1 || h.channels > 8 || h.sampleRate < 1000 || h.sampleRate > 768000) return false;
  if (h.bytesPerSecond == 0 || h.blockAlign == 0) return false;
  if (h.formatTag == kPcm || h.formatTag == kFloat || h.formatTag == kExtensible) {
    const bool whole = h.bitsPerSample % 8 == 0 && h.bitsPerSample >= 8 && h.bitsPerSample <= 64;
    return whole && h.blockAlign == h.channels * (h.bitsPerSample / 8);
  }
  return h.blockAlign >= h.channels;
}

}  // namespace

std::chrono::milliseconds WavHeader::Duration() const {
  return std::chrono::milliseconds((std::uint64_t{dataBytes} * 1000 + bytesPerSecond - 1) / bytesPerSecond);
}

std::optional<WavHeader> ReadWavHeader(std::istream& file) {
  file.seekg(0, std::ios::end);
  const auto end = static_cast<std::uint64_t>(std::max<std::streamoff>(file.tellg(), 0));
  std::array<unsigned char, kLongestFormat> bytes;
  if (!ReadAt(file, 0, bytes.data(), 12) || std::string_view(reinterpret_cast<char*>(bytes.data()), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<char*>(bytes.data()) + 8, 4) != "WAVE") {
    return std::nullopt;
  }
  std::optional<WavHeader> header;
  bool data = false;
  // Every chunk, however many come before the ones that matter; each takes 8 bytes at least.
  for (std::uint64_t offset = 12; offset + 8 <= end;) {
    if (!ReadAt(file, offset, bytes.data(), 8)) return std::nullopt;
    const std::string_view id(reinterpret_cast<char*>(bytes.data()), 4);
    const std::uint32_t size = Little(bytes.data() + 4, 4);
    const bool within = offset + 8 + size <= end;
    if (id == "fmt ") {
      if (header || size < 16 || size > kLongestFormat || !within || !ReadAt(file, offset + 8, bytes.data(), size)) {
        return std::nullopt;
      }
      header = WavHeader{static_cast<std::uint16_t>(Little(&bytes[0], 2)),
                         static_cast<std::uint16_t>(Little(&bytes[2], 2)),
                         Little(&bytes[4], 4),
                         Little(&bytes[8], 4),
                         static_cast<std::uint16_t>(Little(&bytes[12], 2)),
                         static_cast<std::uint16_t>(Little(&bytes[14], 2)),
                         0};
      if (size >= 18 && 18u + Little(&bytes[16], 2) > size) return std::nullopt;  // extra bytes beyond the chunk
    } else if (id == "data") {
      if (data || !within || !header) return std::nullopt;
      data = true;
      header->dataBytes = size;
    }
    offset += 8 + std::uint64_t{size} + (size & 1);  // chunks are padded to an even size
  }
  if (!header || !data || !Sane(*header)) return std::nullopt;
  return header;
}

std::optional<WavHeader> ReadWavHeader(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return ReadWavHeader(file);
}

}  // namespace belvox
