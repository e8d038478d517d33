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
    arguments_ = {u"/l", name};
    state_ = RunState{};
    state_.arguments = arguments_;
    auto failure = ReadParameterFile(state_, parse);
    std::filesystem::remove(path);
    if (failure && failure->prefix == name) failure->prefix = u"FILE";
    return failure;
  }

  std::vector<std::u16string> arguments_;
  RunState state_;
};

TEST_F(ToneListTest, ArgumentsEndAtASlashAndRejectEmptyOnes) {
  std::vector<std::u16string> arguments = {u"440,100", u"0,200", u"/b", u"880,100"};
  RunState state;
  state.arguments = arguments;
  EXPECT_FALSE(ReadToneArguments(state, ParseFrequencyTime));
  EXPECT_EQ(state.tones, (ToneSequence{{440.0, 100}, {0.0, 200}}));
  EXPECT_EQ(state.next, 2u);

  arguments = {u"440,100", u"", u"880,100"};
  state = RunState{};
  state.arguments = arguments;
  const auto failure = ReadToneArguments(state, ParseFrequencyTime);
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
      {line1023 + "\n" + line1023, {{440.0, 100}, {440.0, 100}}},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ReadFile(c.bytes)) << c.bytes;
    EXPECT_EQ(state_.tones, c.tones) << c.bytes;
    EXPECT_EQ(state_.next, 2u);
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
      {"\xEF\xBB\xBF"
       "440,100\n",
       MessageId::FrequencyInvalid, u"\uFEFF440"},
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
  EXPECT_EQ(state_.tones, (ToneSequence{{440.0, 500}, {0.0, 250}}));
}

TEST_F(ToneListTest, ReportsFilesThatCannotBeOpenedOrRead) {
  std::vector<std::u16string> arguments = {u"/l"};
  RunState state;
  state.arguments = arguments;
  EXPECT_EQ(ReadParameterFile(state, ParseFrequencyTime)->id, MessageId::ParameterFileMissing);

  for (std::u16string name : {u"", u"no-such-file.txt", u"/tmp"}) {
    arguments = {u"/l", name};
    state = RunState{};
    state.arguments = arguments;
    const auto failure = ReadParameterFile(state, ParseFrequencyTime);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->id, MessageId::FileOpenFailed);
    EXPECT_EQ(failure->prefix, name);
  }

  arguments = {u"/l", u"/proc/self/mem"};  // opens, but reading at offset 0 fails
  state = RunState{};
  state.arguments = arguments;
  EXPECT_EQ(ReadParameterFile(state, ParseFrequencyTime)->id, MessageId::FileReadFailed);
}

}  // namespace
}  // namespace belvox
