#include "input/tone_list.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace std::string_literals;

#include "input/note_beat.hpp"

namespace belvox {
namespace {

class ToneListTest : public ::testing::Test {
 protected:
  // Runs ReadParameterFile on a file holding `bytes`, as after "/f /l file".
  std::optional<Failure> ReadFile(const std::string& bytes, PairParser parse = ParseFrequencyTime) {
    const auto path = std::filesystem::temp_directory_path() / ("belvox-tone-list-" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << bytes;
    const auto name = path.u16string();
    const std::vector<Argument> arguments = {{u"/l", "/l"}, {name, path}};
    ArgumentCursor cursor(arguments);
    tones_.clear();
    auto failure = ReadParameterFile(cursor, parse, tones_);
    EXPECT_EQ(cursor.Remaining(), 0u);
    std::filesystem::remove(path);
    if (failure && failure->prefix == name) failure->prefix = u"FILE";
    return failure;
  }

  ToneSequence tones_;
};

std::vector<Argument> Arguments(std::vector<std::u16string> texts) {
  std::vector<Argument> arguments;
  for (const auto& text : texts) arguments.push_back({text, std::filesystem::path(text)});
  return arguments;
}

TEST_F(ToneListTest, ArgumentsEndAtASlashAndRejectEmptyOnes) {
  auto arguments = Arguments({u"440,100", u"0,200", u"/b", u"880,100"});
  ArgumentCursor cursor(arguments);
  ToneSequence tones;
  EXPECT_FALSE(ReadToneArguments(cursor, ParseFrequencyTime, tones));
  EXPECT_EQ(tones, (ToneSequence{{440.0, 100}, {0.0, 200}}));
  EXPECT_EQ(cursor.Remaining(), 2u);

  arguments = Arguments({u"440,100", u"", u"880,100"});
  ArgumentCursor cursor2(arguments);
  const auto failure = ReadToneArguments(cursor2, ParseFrequencyTime, tones);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->id, MessageId::ParameterEmpty);
  EXPECT_EQ(failure->prefix, u"");
}

TEST_F(ToneListTest, ReadsLinesAsATextModeStreamDoes) {
  struct Case {
    std::string bytes;
    ToneSequence tones;
  };
  const std::string line1023 = "440," + std::string(1016, '0') + "100";
  const Case cases[] = {
      {"440,100\n880,200\n", {{440.0, 100}, {880.0, 200}}},
      {"440,100\r\n880,200\r\n", {{440.0, 100}, {880.0, 200}}},
      {"440,100\n880,200", {{440.0, 100}, {880.0, 200}}},
      {"", {}},
      {"440,100\n\x1a\n\nrubbish", {{440.0, 100}}},
      {"440,100\x1a"
       "880,200\n",
       {{440.0, 100}}},
      {"440,100\0junk\n"s, {{440.0, 100}}},
      {"\xEF\xBB\xBF" "440,100\n", {{440.0, 100}}},
      {line1023 + "\n" + line1023, {{440.0, 100}, {440.0, 100}}},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ReadFile(c.bytes)) << c.bytes;
    EXPECT_EQ(tones_, c.tones) << c.bytes;
  }
}

TEST_F(ToneListTest, RejectsLinesWithTheirMessages) {
  // Files are read in the locale's codeset, as the program does after setlocale.
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  struct Case {
    std::string bytes;
    MessageId id;
    std::u16string prefix;
  };
  const Case cases[] = {
      {"440,100\n\n880,200\n", MessageId::ParameterEmpty, u""},
      {"440,100\n\n", MessageId::ParameterEmpty, u""},
      {"\0"
       "440,100\n"s,
       MessageId::ParameterEmpty, u""},
      {"440,100\n" + std::string(1024, '1') + "\n", MessageId::LineTooLong, u"FILE"},
      {"440," + std::string(1020, '0') + "\n", MessageId::LineTooLong, u"FILE"},
      {" 440,100\n", MessageId::FrequencyInvalid, u" 440"},
      {"440,100 880,100\n", MessageId::ToneListInvalid, u"440,100 880,100"},
      {"440,100\r\r\n", MessageId::TimeInvalid, u"100\r"},
  };
  for (const Case& c : cases) {
    const auto failure = ReadFile(c.bytes);
    ASSERT_TRUE(failure) << c.bytes;
    EXPECT_EQ(failure->id, c.id) << c.bytes;
    EXPECT_EQ(failure->prefix, c.prefix) << c.bytes;
  }
  std::setlocale(LC_CTYPE, "C");
}

TEST_F(ToneListTest, ParsesNotesFromFilesToo) {
  EXPECT_FALSE(ReadFile("A4,4\nR,8\n", ParseNoteBeat));
  EXPECT_EQ(tones_, (ToneSequence{{440.0, 500}, {0.0, 250}}));
}

TEST_F(ToneListTest, ReportsFilesThatCannotBeOpenedOrRead) {
  ToneSequence tones;
  auto arguments = Arguments({u"/l"});
  ArgumentCursor cursor(arguments);
  EXPECT_EQ(ReadParameterFile(cursor, ParseFrequencyTime, tones)->id, MessageId::ParameterFileMissing);

  for (std::u16string name : {u"", u"no-such-file.txt", u"/tmp"}) {
    arguments = Arguments({u"/l", name});
    ArgumentCursor each(arguments);
    const auto failure = ReadParameterFile(each, ParseFrequencyTime, tones);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->id, MessageId::FileOpenFailed);
    EXPECT_EQ(failure->prefix, name);
  }

  arguments = Arguments({u"/l", u"/proc/self/mem"});  // opens, but reading at offset 0 fails
  ArgumentCursor memory(arguments);
  EXPECT_EQ(ReadParameterFile(memory, ParseFrequencyTime, tones)->id, MessageId::FileReadFailed);
}

}  // namespace
}  // namespace belvox
