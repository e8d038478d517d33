#include "app/console.hpp"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <vector>

namespace belvox {
namespace {

HANDLE ConsoleHandle(DWORD stream) {
  const HANDLE handle = GetStdHandle(stream);
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// UTF-16 straight to a console; converted to bytes for a redirected stream
// (UTF-8 when the console code page is 65001, else the ANSI code page).
class Win32Console final : public Console {
 public:
  explicit Win32Console(const ConsoleFacts& facts);

  void WriteText(std::u16string text, bool toStandardError, bool appendNewline) override;
  void WriteBytes(std::string_view bytes) override;

 private:
  HANDLE outputConsole_;  // a stream that is a console, else nullptr
  HANDLE errorConsole_;
  UINT conversionCodePage_;
};

}  // namespace

// GetConsoleOutputCP and GetUserDefaultUILanguage.
ConsoleFacts ReadConsoleFacts() {
  return {GetConsoleOutputCP(), static_cast<std::uint16_t>(GetUserDefaultUILanguage())};
}

Win32Console::Win32Console(const ConsoleFacts& facts)
    : outputConsole_(ConsoleHandle(STD_OUTPUT_HANDLE)),
      errorConsole_(ConsoleHandle(STD_ERROR_HANDLE)),
      conversionCodePage_(facts.outputCodePage == CP_UTF8 ? CP_UTF8 : CP_ACP) {}

void Win32Console::WriteText(std::u16string text, bool toStandardError, bool appendNewline) {
  if (appendNewline) text += u'\n';
  const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
  const HANDLE console = toStandardError ? errorConsole_ : outputConsole_;
  if (console != nullptr) {
    DWORD written = 0;
    WriteConsoleW(console, wide, static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  // The size counts the terminating NUL; 0 means the conversion failed and nothing is written.
  const int size = WideCharToMultiByte(conversionCodePage_, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::vector<char> bytes(static_cast<std::size_t>(size));
  WideCharToMultiByte(conversionCodePage_, 0, wide, -1, bytes.data(), size, nullptr, nullptr);
  (toStandardError ? std::cerr : std::cout) << bytes.data();
}

void Win32Console::WriteBytes(std::string_view bytes) { std::cout << bytes << std::flush; }

std::unique_ptr<Console> MakeSystemConsole(const ConsoleFacts& facts) { return std::make_unique<Win32Console>(facts); }

}  // namespace belvox
