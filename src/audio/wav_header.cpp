// Reads what a player needs of a RIFF WAVE file: the first `fmt ` chunk and
// the first `data` chunk, in either order, walking the chunks by their sizes
// (each padded to an even length) from byte 12. Each platform then judges the
// file by its own decoder.
#include "audio/wav_header.hpp"

#include <array>
#include <fstream>
#include <string_view>

namespace belvox {
namespace {

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

}  // namespace

bool WavHeader::Audible() const {
  return channels >= 1 && channels <= 32 && sampleRate >= 1000 && sampleRate <= 768000;
}

bool WavHeader::CrashesPlaySound() const {
  return blockAlign == 0 || channels == 0 || channels > 64 || dataBytes >= 0x80000000u;
}

std::chrono::milliseconds WavHeader::Duration() const {
  const std::uint64_t perSecond = bytesPerSecond != 0 ? bytesPerSecond : std::uint64_t{sampleRate} * blockAlign;
  if (perSecond == 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds((std::uint64_t{dataBytes} * 1000 + perSecond - 1) / perSecond);
}

std::optional<WavHeader> ReadWavHeader(std::istream& file) {
  file.seekg(0, std::ios::end);
  const auto end = static_cast<std::uint64_t>(std::max<std::streamoff>(file.tellg(), 0));
  std::array<unsigned char, 16> bytes;
  if (!ReadAt(file, 0, bytes.data(), 12) || std::string_view(reinterpret_cast<char*>(bytes.data()), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<char*>(bytes.data()) + 8, 4) != "WAVE") {
    return std::nullopt;
  }
  std::optional<WavHeader> header;
  std::optional<std::uint32_t> dataBytes;
  // Every chunk, however many come before the ones that matter; each takes 8 bytes at least.
  for (std::uint64_t offset = 12; offset + 8 <= end && !(header && dataBytes);) {
    if (!ReadAt(file, offset, bytes.data(), 8)) return std::nullopt;
    const std::string_view id(reinterpret_cast<char*>(bytes.data()), 4);
    const std::uint32_t size = Little(bytes.data() + 4, 4);
    if (id == "fmt " && !header && size >= 16 && ReadAt(file, offset + 8, bytes.data(), 16)) {
      header = WavHeader{static_cast<std::uint16_t>(Little(&bytes[0], 2)),
                         static_cast<std::uint16_t>(Little(&bytes[2], 2)),
                         Little(&bytes[4], 4),
                         Little(&bytes[8], 4),
                         static_cast<std::uint16_t>(Little(&bytes[12], 2)),
                         static_cast<std::uint16_t>(Little(&bytes[14], 2)),
                         0};
    } else if (id == "data" && !dataBytes) {
      dataBytes = size;
    }
    offset += 8 + std::uint64_t{size} + (size & 1);  // chunks are padded to an even size
  }
  if (!header || !dataBytes) return std::nullopt;
  header->dataBytes = *dataBytes;
  return header;
}

std::optional<WavHeader> ReadWavHeader(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return ReadWavHeader(file);
}

}  // namespace belvox
