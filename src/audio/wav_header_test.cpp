#include "audio/wav_header.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace belvox {
namespace {

// Both builds run on little-endian processors.
std::string Little(std::uint32_t value, int bytes) { return std::string(reinterpret_cast<const char*>(&value), bytes); }

// A chunk whose header declares `size`, or the size of its body.
std::string Chunk(std::string_view id, const std::string& body, std::int64_t size = -1) {
  return std::string(id) + Little(size < 0 ? body.size() : size, 4) + body + std::string(body.size() % 2, '\0');
}

struct Fmt {
  std::uint16_t tag = 1, channels = 1;
  std::uint32_t rate = 44100, perSecond = 88200;
  std::uint16_t align = 2, bits = 16;

  std::string Bytes() const {
    return Little(tag, 2) + Little(channels, 2) + Little(rate, 4) + Little(perSecond, 4) + Little(align, 2) +
           Little(bits, 2);
  }
};

std::string Wave(const std::string& chunks) { return "RIFF" + Little(4 + chunks.size(), 4) + "WAVE" + chunks; }
std::string Wave(const Fmt& fmt, std::uint32_t dataBytes = 882) {
  return Wave(Chunk("fmt ", fmt.Bytes()) + Chunk("data", "ab", dataBytes));
}

std::optional<WavHeader> Read(const std::string& bytes) {
  std::istringstream file(bytes);
  return ReadWavHeader(file);
}

// What the header says, whatever the file holds; how files of real-world shapes play is an end-to-end table.
TEST(ReadWavHeader, ReadsWhatAPlayerNeedsAndNamesWhatNoDeviceTakesOrCrashesPlaySound) {
  const auto pcm = Read(Wave(Fmt{}, 88200));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(std::make_tuple(pcm->formatTag, pcm->channels, pcm->sampleRate, pcm->blockAlign, pcm->dataBytes),
            std::make_tuple(1, 1, 44100u, 2, 88200u));
  EXPECT_EQ(pcm->Duration().count(), 1000);
  // Without a data rate the block rate stands in; without either, no length is known.
  EXPECT_EQ(Read(Wave(Fmt{.perSecond = 0}, 88200))->Duration().count(), 1000);
  EXPECT_EQ(Read(Wave(Fmt{.rate = 0, .perSecond = 0}, 88200))->Duration().count(), 0);
  const std::string fmt = Fmt{}.Bytes(), data = Chunk("data", "ab");
  EXPECT_TRUE(Read(Wave(Chunk("odd ", "abc") + Chunk("fmt ", fmt) + Chunk("data", ""))));  // pad byte; data at the end
  for (const std::string& refused : {Wave(Chunk("fmt ", fmt.substr(0, 15)) + data), Wave(Chunk("fmt ", fmt)),
                                     Wave(data), "RIFX" + Wave(Fmt{}).substr(4), Wave(Fmt{}).substr(0, 30)}) {
    EXPECT_FALSE(Read(refused)) << refused.size() << " bytes";
  }
  // Which headers no sound device takes, and which crash wine's PlaySoundW; every other one is the decoder's.
  const std::tuple<Fmt, std::uint32_t, bool, bool> rows[] = {
      {{.rate = 1000}, 882, true, false}, {{.rate = 768000}, 882, true, false}, {{.rate = 999}, 882, false, false},
      {{.rate = 768001}, 882, false, false}, {{.channels = 32}, 882, true, false}, {{.align = 0}, 882, true, true},
      {{.channels = 64}, 882, false, false}, {{.channels = 65}, 882, false, true}, {{.channels = 0}, 882, false, true},
      {{.channels = 33}, 882, false, false}, {{.tag = 0x55}, 0x7FFFFFFF, true, false}, {{}, 0x80000000, true, true},
  };
  for (const auto& [fmt, dataBytes, audible, crashes] : rows) {
    const auto header = Read(Wave(fmt, dataBytes));
    ASSERT_TRUE(header);
    EXPECT_EQ(std::make_pair(header->Audible(), header->CrashesPlaySound()), std::make_pair(audible, crashes))
        << fmt.channels << " channels at " << fmt.rate << " Hz, block align " << fmt.align << ", " << dataBytes;
  }
}

}  // namespace
}  // namespace belvox
