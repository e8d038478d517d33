#include "audio/wav_header.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace belvox {
namespace {

std::string Little(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

std::string Chunk(std::string_view id, const std::string& body, std::uint32_t size) {
  return std::string(id) + Little(size, 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}
std::string Chunk(std::string_view id, const std::string& body) {
  return Chunk(id, body, static_cast<std::uint32_t>(body.size()));
}

struct Fmt {
  std::uint16_t tag = 1, channels = 1;
  std::uint32_t rate = 44100, perSecond = 88200;
  std::uint16_t align = 2, bits = 16;
  std::string extra = "";

  std::string Bytes() const {
    return Little(tag, 2) + Little(channels, 2) + Little(rate, 4) + Little(perSecond, 4) + Little(align, 2) +
           Little(bits, 2) + extra;
  }
};

std::string Wave(const std::string& chunks) { return "RIFF" + Little(4 + chunks.size(), 4) + "WAVE" + chunks; }
std::string Wave(const Fmt& fmt, std::uint32_t dataBytes = 882) {
  return Wave(Chunk("fmt ", fmt.Bytes()) + Chunk("data", std::string(dataBytes, '\1')));
}

std::optional<WavHeader> Read(const std::string& bytes) {
  std::istringstream file(bytes);
  return ReadWavHeader(file);
}

TEST(ReadWavHeader, ReadsWhatAPlayerNeeds) {
  const auto pcm = Read(Wave(Fmt{}, 88200));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(std::make_tuple(pcm->formatTag, pcm->channels, pcm->sampleRate, pcm->blockAlign, pcm->dataBytes),
            std::make_tuple(1, 1, 44100u, 2, 88200u));
  EXPECT_EQ(pcm->Duration().count(), 1000);
  EXPECT_FALSE(pcm->Mpeg());

  // MPEG audio behind 64 empty chunks and one of odd size: every chunk is read.
  std::string junk;
  for (int i = 0; i < 64; ++i) junk += Chunk("JUNK", "");
  const Fmt mpeg{
      .tag = 0x55, .perSecond = 16000, .align = 1, .bits = 0, .extra = Little(12, 2) + std::string(12, '\0')};
  const auto behind = Read(Wave(junk + Chunk("odd ", "abc") + Chunk("fmt ", mpeg.Bytes()) + Chunk("data", "xy")));
  ASSERT_TRUE(behind);
  EXPECT_TRUE(behind->Mpeg());
}

TEST(ReadWavHeader, RefusesHeadersThatDisagreeWithThemselvesOrTheFile) {
  const std::string fmt = Fmt{}.Bytes();
  const std::string data = Chunk("data", std::string(882, '\1'));
  const std::pair<const char*, std::string> refused[] = {
      {"no channels", Wave(Fmt{.channels = 0, .align = 0})},
      {"nine channels", Wave(Fmt{.channels = 9, .align = 18})},
      {"65,535 channels", Wave(Fmt{.channels = 65535, .align = 65534})},
      {"block align 0", Wave(Fmt{.align = 0})},
      {"block align of stereo", Wave(Fmt{.align = 4})},
      {"12 bits", Wave(Fmt{.bits = 12})},
      {"999 Hz", Wave(Fmt{.rate = 999})},
      {"768,001 Hz", Wave(Fmt{.rate = 768001})},
      {"no data rate", Wave(Fmt{.perSecond = 0})},
      {"a huge fmt chunk", Wave(Chunk("fmt ", fmt, 0x7FFFFFF0) + data)},
      {"fmt of 15 bytes", Wave(Chunk("fmt ", fmt.substr(0, 15)) + data)},
      {"extra bytes beyond fmt", Wave(Chunk("fmt ", fmt + Little(2, 2)) + data)},
      {"extensible, block align of stereo", Wave(Fmt{.tag = 0xFFFE, .align = 4})},
      {"two fmt chunks", Wave(Chunk("fmt ", fmt) + Chunk("fmt ", fmt) + data)},
      {"data beyond the file", Wave(Chunk("fmt ", fmt) + Chunk("data", "abcd", 0xFFFFFFFE))},
      {"no data", Wave(Chunk("fmt ", fmt))},
      {"data before fmt", Wave(data + Chunk("fmt ", fmt))},
      {"not WAVE", "RIFX" + Wave(Fmt{}).substr(4)},
      {"cut short", Wave(Fmt{}).substr(0, 30)},
      {"empty", ""},
  };
  for (const auto& [name, bytes] : refused) EXPECT_FALSE(Read(bytes)) << name;
  for (const Fmt& bound :
       {Fmt{.rate = 1000}, Fmt{.rate = 768000}, Fmt{.channels = 8, .align = 16}, Fmt{.tag = 3, .align = 8, .bits = 64},
        Fmt{.tag = 0x11, .align = 256, .bits = 4, .extra = Little(2, 2) + "\xff\xff"}}) {
    EXPECT_TRUE(Read(Wave(bound))) << bound.rate << " Hz, " << bound.channels << " channels, tag " << bound.tag;
  }
}

}  // namespace
}  // namespace belvox
