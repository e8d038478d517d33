#pragma once

#include "app/console.hpp"

namespace belvox {

// GetConsoleOutputCP and GetUserDefaultUILanguage.
ConsoleFacts ReadConsoleFacts();

// UTF-16 straight to a console; converted to bytes for a redirected stream
// (UTF-8 when the console code page is 65001, else the ANSI code page).
class Win32Console final : public Console {
 public:
  explicit Win32Console(const ConsoleFacts& facts);

  void WriteText(std::u16string text, bool toStandardError, bool appendNewline) override;
  void WriteBytes(std::string_view bytes) override;

 private:
  void* outputConsole_;  // HANDLE of a stream that is a console, else nullptr
  void* errorConsole_;
  unsigned conversionCodePage_;
};

}  // namespace belvox
