#include "input/tone_list.hpp"

#include <cstring>
#include <memory>
#include <string_view>

#include "common/system_text.hpp"

namespace belvox {
namespace {

std::optional<Failure> AppendPair(std::u16string_view token, PairParser parse, ToneSequence& tones) {
  PairResult result = parse(token);
  if (auto* failure = std::get_if<Failure>(&result)) return std::move(*failure);
  if (tones.size() >= kMaxToneSteps) return Failure{u"", MessageId::OutOfMemory};
  tones.push_back(std::get<ToneStep>(result));
  return std::nullopt;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

TextLineReader::TextLineReader(std::FILE* file) : file_(file) {
  if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
  std::rewind(file_);
}

int TextLineReader::Next() {
  if (ended_) return EOF;
  int c = std::getc(file_);
  if (c == 0x1A) {
    ended_ = true;
    return EOF;
  }
  if (c == '\r') {
    const int following = std::getc(file_);
    if (following == '\n') return '\n';
    if (following != EOF) std::ungetc(following, file_);
  }
  return c;
}

TextLineReader::Status TextLineReader::ReadLine(std::array<char, kBufferSize>& buffer) {
  std::size_t length = 0;
  for (;;) {
    const int c = Next();
    if (c == EOF) {
      // A file that ends before the size it had when opened was cut short while being read.
      if (std::ferror(file_) || (!ended_ && size_ >= 0 && std::ftell(file_) < size_)) return Status::ReadError;
      buffer[length] = '\0';
      return length > 0 ? Status::Line : Status::End;
    }
    if (c == '\n') break;
    if (length == kBufferSize - 1) return Status::TooLong;
    buffer[length++] = static_cast<char>(c);
    // A UTF-8 byte-order mark at the start of the file belongs to no line.
    if (atStart_ && length == 3) {
      atStart_ = false;
      if (std::string_view(buffer.data(), 3) == "\xEF\xBB\xBF") length = 0;
    }
  }
  atStart_ = false;
  buffer[length] = '\0';
  return Status::Line;
}

std::optional<Failure> ReadToneArguments(ArgumentCursor& arguments, PairParser parse, ToneSequence& tones) {
  while (arguments.Remaining() > 0 && !arguments.Peek().text.starts_with(u'/')) {
    if (arguments.Peek().text.empty()) return Failure{u"", MessageId::ParameterEmpty};
    if (auto failure = AppendPair(arguments.Take().text, parse, tones)) return failure;
  }
  return std::nullopt;
}

std::optional<Failure> ReadParameterFile(ArgumentCursor& arguments, PairParser parse, ToneSequence& tones) {
  if (arguments.Remaining() < 2) return Failure{u"", MessageId::ParameterFileMissing};
  arguments.Take();
  const Argument& file = arguments.Take();

  std::unique_ptr<std::FILE, FileCloser> stream(OpenParameterFile(file.name));
  if (!stream) return Failure{file.text, MessageId::FileOpenFailed};
  return ReadPairLines(stream.get(), file.text, parse, tones);
}

std::optional<Failure> ReadPairLines(std::FILE* file, std::u16string_view fileName, PairParser parse,
                                     ToneSequence& tones) {
  // One line buffer serves the whole process.
  static std::array<char, TextLineReader::kBufferSize> line;
  TextLineReader reader(file);
  for (;;) {
    switch (reader.ReadLine(line)) {
      case TextLineReader::Status::End: return std::nullopt;
      case TextLineReader::Status::TooLong: return Failure{std::u16string(fileName), MessageId::LineTooLong};
      case TextLineReader::Status::ReadError: return Failure{std::u16string(fileName), MessageId::FileReadFailed};
      case TextLineReader::Status::Line: break;
    }
    // Bytes after a NUL within a line are ignored; a line that starts with one is empty.
    const std::string_view bytes(line.data(), std::strlen(line.data()));
    if (bytes.empty()) return Failure{u"", MessageId::ParameterEmpty};
    if (auto failure = AppendPair(DecodeSystemText(bytes), parse, tones)) return failure;
  }
}

}  // namespace belvox
