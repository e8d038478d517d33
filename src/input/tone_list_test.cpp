#include "input/tone_list.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "input/note_beat.hpp"

namespace belvox {
namespace {

using namespace std::string_literals;

// Reads `bytes` as a parameter file.
auto Read(const std::string& bytes, PairParser parse, ToneSequence& tones) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  const auto failure = ReadPairLines(file, u"tones.txt", parse, tones);
  std::fclose(file);
  return failure;
}

TEST(ReadPairLines, ReadsLinesAsATextModeStreamDoes) {
  const std::string line1023 = "440," + std::string(1016, '0') + "100";
  const std::tuple<std::string, PairParser, std::variant<ToneSequence, MessageId>> cases[] = {
      {"440,100\n880,200", ParseFrequencyTime, ToneSequence{{440.0, 100}, {880.0, 200}}},
      {"440,100\x1a" "880,200\n", ParseFrequencyTime, ToneSequence{{440.0, 100}}},  // Ctrl+Z ends the input
      {line1023 + "\n" + line1023, ParseFrequencyTime, ToneSequence{{440.0, 100}, {440.0, 100}}},
      {"A4,4\r\nR,8\r\n", ParseNoteBeat, ToneSequence{{440.0, 500}, {0.0, 250}}},
      {"\xEF\xBB\xBF\n440,100\n"s, ParseFrequencyTime, MessageId::ParameterEmpty},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" "440,100\n"s, ParseFrequencyTime, MessageId::FrequencyInvalid},  // one mark only
      {"R,1\n\xEF\xBB\xBF" "R,1\n"s, ParseNoteBeat, MessageId::NoteInvalid},  // at the start of the file only
      {"440,100\r\r\n", ParseFrequencyTime, MessageId::TimeInvalid},
      {"440,100\r,100\n", ParseFrequencyTime, MessageId::ToneListInvalid},  // a lone CR keeps what follows
      {"440,100\0junk\n880,200"s, ParseFrequencyTime, ToneSequence{{440.0, 100}, {880.0, 200}}},  // NUL ends it
      {"440,100\n\n880,200\n", ParseFrequencyTime, MessageId::ParameterEmpty},
      {"\0" "440,100\n"s, ParseFrequencyTime, MessageId::ParameterEmpty},
      {"440," + std::string(1020, '0'), ParseFrequencyTime, MessageId::LineTooLong},
  };
  for (const auto& [bytes, parse, expected] : cases) {
    ToneSequence tones;
    const auto failure = Read(bytes, parse, tones);
    if (const auto* id = std::get_if<MessageId>(&expected)) {
      ASSERT_TRUE(failure) << bytes;
      EXPECT_EQ(failure->id, *id) << bytes;
    } else {
      EXPECT_FALSE(failure) << bytes;
      EXPECT_EQ(tones, std::get<ToneSequence>(expected)) << bytes;
    }
  }
}

#ifndef _WIN32  // Windows cuts no file open for reading
TEST(ReadPairLines, AFileCutShortWhileItIsReadIsNotPlayedInPart) {
  const auto path = std::filesystem::temp_directory_path() / ("belvox-cut-" + std::to_string(::getpid()));
  std::ofstream out(path);
  for (int i = 0; i < 20000; ++i) out << "440,100\n";  // more than one read of the stream's buffer
  out.close();
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  TextLineReader reader(file);  // takes the size the file has now
  std::filesystem::resize_file(path, 8);
  std::array<char, TextLineReader::kBufferSize> line;
  EXPECT_EQ(reader.ReadLine(line), TextLineReader::Status::Line);
  EXPECT_EQ(reader.ReadLine(line), TextLineReader::Status::ReadError);
  std::fclose(file);
  std::filesystem::remove(path);
}
#endif

}  // namespace
}  // namespace belvox
