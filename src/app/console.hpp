#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace belvox {

// The console facts that choose the language: the console output code page
// (65001 for UTF-8) and the user's UI language (0x0411 for Japanese).
struct ConsoleFacts {
  std::uint32_t outputCodePage;
  std::uint16_t uiLanguage;
};

// The program's text output; its facts are fixed when it is made.
class Console {
 public:
  virtual ~Console() = default;

  // Writes to standard error or standard output, one line feed appended on request.
  virtual void WriteText(std::u16string text, bool toStandardError, bool appendNewline) = 0;
  // Writes bytes to standard output unconverted and flushes.
  virtual void WriteBytes(std::string_view bytes) = 0;
};

// The platform's console facts, read once at start.
ConsoleFacts ReadConsoleFacts();

// The platform's console: on Windows UTF-16 straight to a console, else bytes in
// the conversion code page; on POSIX bytes in the locale's codeset.
std::unique_ptr<Console> MakeSystemConsole(const ConsoleFacts& facts);

}  // namespace belvox
