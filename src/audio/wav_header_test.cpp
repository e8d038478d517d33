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

TEST(ReadWavHeader, FindsBothChunksInAnyShapeAndNothingElse) {
  const std::string fmt = Fmt{}.Bytes(), data = Chunk("data", std::string(882, '\1'));
  const std::pair<const char*, std::string> found[] = {
      {"data before fmt", Wave(data + Chunk("fmt ", fmt))},
      {"a fmt chunk longer than the file", Wave(Chunk("data", "ab") + Chunk("fmt ", fmt, 0x7FFFFFF0))},
      {"data longer than the file", Wave(Chunk("fmt ", fmt) + Chunk("data", "abcd", 0xFFFFFFFE))},
      {"an extra size beyond fmt", Wave(Chunk("fmt ", fmt + Little(0xABCD, 2)) + data)},
      {"a RIFF size of 4", "RIFF" + Little(4, 4) + Wave(Fmt{}).substr(8)},
  };
  for (const auto& [name, bytes] : found) EXPECT_TRUE(Read(bytes)) << name;
  const std::pair<const char*, std::string> refused[] = {
      {"fmt of 15 bytes", Wave(Chunk("fmt ", fmt.substr(0, 15)) + data)},
      {"no data", Wave(Chunk("fmt ", fmt))},
      {"no fmt", Wave(data)},
      {"an odd chunk without its pad byte", Wave(Chunk("odd ", "abc").substr(0, 11) + Chunk("fmt ", fmt) + data)},
      {"not WAVE", "RIFX" + Wave(Fmt{}).substr(4)},
      {"cut short", Wave(Fmt{}).substr(0, 30)},
      {"empty", ""},
  };
  for (const auto& [name, bytes] : refused) EXPECT_FALSE(Read(bytes)) << name;
}

// Which headers no sound device takes, and which crash wine's PlaySoundW; every other one is the decoder's.
TEST(ReadWavHeader, NamesWhatNoDeviceTakesAndWhatCrashesPlaySound) {
  struct Row {
    Fmt fmt;
    std::uint32_t dataBytes;
    bool audible, crashes;
  };
  const Row rows[] = {
      {{}, 882, true, false},
      {{.rate = 1000}, 882, true, false},
      {{.rate = 768000}, 882, true, false},
      {{.rate = 999}, 882, false, false},
      {{.rate = 768001}, 882, false, false},
      {{.channels = 32, .align = 64}, 882, true, false},
      {{.channels = 33, .align = 66}, 882, false, false},
      {{.channels = 64, .align = 128}, 882, false, false},
      {{.channels = 65, .align = 130}, 882, false, true},
      {{.channels = 0}, 882, false, true},
      {{.align = 0}, 882, true, true},
      {{.perSecond = 0, .bits = 12}, 882, true, false},
      {{}, 0x7FFFFFFF, true, false},
      {{}, 0x80000000, true, true},
  };
  for (const Row& row : rows) {
    const auto header = Read(Wave(Chunk("fmt ", row.fmt.Bytes()) + Chunk("data", "ab", row.dataBytes)));
    ASSERT_TRUE(header);
    EXPECT_EQ(std::make_pair(header->Audible(), header->CrashesPlaySound()), std::make_pair(row.audible, row.crashes))
        << row.fmt.channels << " channels at " << row.fmt.rate << " Hz, block align " << row.fmt.align << ", "
        << row.dataBytes << " bytes";
  }
  // Without a data rate the block rate stands in; without either, no length is known.
  EXPECT_EQ(Read(Wave(Fmt{.perSecond = 0}, 88200))->Duration().count(), 1000);
  EXPECT_EQ(Read(Wave(Fmt{.rate = 0, .perSecond = 0}, 88200))->Duration().count(), 0);
}

}  // namespace
}  // namespace belvox
