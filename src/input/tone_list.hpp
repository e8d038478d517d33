#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/failure.hpp"
#include "common/tone.hpp"
#include "input/arguments.hpp"
#include "input/tone_pair.hpp"

namespace belvox {

// The longest list a run takes: 8,388,608 steps of 16 bytes (128 MiB), over 23
// hours of 10 ms steps. A longer one, such as an endless standard input, ends
// the run with OutOfMemory before the process is in danger.
inline constexpr std::size_t kMaxToneSteps = std::size_t{1} << 23;

// Takes pairs from the arguments and appends their steps until the arguments
// run out or one begins with "/" (left for the walk). Returns the failure that
// ends the run, if any.
std::optional<Failure> ReadToneArguments(ArgumentCursor& arguments, PairParser parse, ToneSequence& tones);

// The next argument is "/l": consumes it and the file name, and appends the
// steps of the file's lines. The file is closed before this returns.
std::optional<Failure> ReadParameterFile(ArgumentCursor& arguments, PairParser parse, ToneSequence& tones);

// Appends the steps of an open file's lines; fileName prefixes the file's own errors.
std::optional<Failure> ReadPairLines(std::FILE* file, std::u16string_view fileName, PairParser parse,
                                     ToneSequence& tones);

// Opens a file for reading as bytes, by its name exactly as the system passed
// it, without denying other programs access. nullptr when it cannot be opened
// or is a directory.
std::FILE* OpenParameterFile(const std::filesystem::path& name);

// Reads a file the way a text-mode stream does: CR LF reads as LF and a
// Ctrl+Z byte ends the input.
class TextLineReader {
 public:
  enum class Status { Line, End, TooLong, ReadError };
  static constexpr std::size_t kBufferSize = 1024;  // a line holds at most 1023 bytes

  explicit TextLineReader(std::FILE* file);

  // Reads up to the next line feed into buffer (without it, NUL-terminated). A
  // UTF-8 byte-order mark at the start of the file is skipped.
  Status ReadLine(std::array<char, kBufferSize>& buffer);

 private:
  int Next();

  std::FILE* file_;
  long size_ = -1;      // when opened; -1 for a stream without a size
  bool ended_ = false;  // a Ctrl+Z byte was read
  bool atStart_ = true;
};

}  // namespace belvox
