#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "app/messages.hpp"
#include "app/run_state.hpp"
#include "input/tone_pair.hpp"

namespace belvox {

// Takes pairs from the arguments until they run out or one begins with "/"
// (left for the walk). Returns the failure that ends the run, if any.
std::optional<Failure> ReadToneArguments(RunState& state, PairParser parse);

// The next argument is "/l": consumes it and the file name, and reads the
// file's lines as pairs. The file is closed before this returns.
std::optional<Failure> ReadParameterFile(RunState& state, PairParser parse);

// Reads the lines of an open file as pairs; fileName prefixes the file's own errors.
std::optional<Failure> ReadPairLines(std::FILE* file, const std::u16string& fileName, RunState& state,
                                     PairParser parse);

// Reads a file the way a text-mode stream does: CR LF reads as LF and a
// Ctrl+Z byte ends the input.
class TextLineReader {
 public:
  enum class Status { Line, End, TooLong, ReadError };
  static constexpr std::size_t kBufferSize = 1024;  // a line holds at most 1023 bytes

  explicit TextLineReader(std::FILE* file);

  // Reads up to the next line feed into buffer (without it, NUL-terminated).
  Status ReadLine(std::array<char, kBufferSize>& buffer);

 private:
  int Next();

  std::FILE* file_;
  long size_ = -1;      // when opened; -1 for a stream without a size
  bool ended_ = false;  // a Ctrl+Z byte was read
};

}  // namespace belvox
