#include "app/console.hpp"

#include <langinfo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/system_text.hpp"

namespace belvox {
namespace {

// The locale category that names the user's language: LC_ALL, else LC_MESSAGES, else LANG.
std::string_view MessageLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

// Terminal or not, text goes out in the locale's codeset.
class PosixConsole final : public Console {
 public:
  void WriteText(std::u16string text, bool toStandardError, bool appendNewline) override;
  void WriteBytes(std::string_view bytes) override;
};

}  // namespace

// The codeset of the character-type locale stands for the console code page
// (UTF-8 as 65001, EUC-JP and Shift_JIS as 932); the message locale for the UI language.
ConsoleFacts ReadConsoleFacts() {
  const std::string_view codeset = nl_langinfo(CODESET);
  std::uint32_t codePage = 20127;  // ASCII
  if (codeset == "UTF-8") {
    codePage = 65001;
  } else if (codeset == "EUC-JP" || codeset == "SHIFT_JIS" || codeset == "CP932" || codeset == "SJIS") {
    codePage = 932;
  }
  const std::string_view locale = MessageLocale();
  const bool japanese = locale == "ja" || locale.starts_with("ja_") || locale.starts_with("ja.");
  return {codePage, static_cast<std::uint16_t>(japanese ? 0x0411 : 0x0409)};
}

void PosixConsole::WriteText(std::u16string text, bool toStandardError, bool appendNewline) {
  if (appendNewline) text += u'\n';
  const std::string bytes = EncodeSystemText(text);
  std::FILE* stream = toStandardError ? stderr : stdout;
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  if (toStandardError) std::fflush(stream);
}

void PosixConsole::WriteBytes(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

std::unique_ptr<Console> MakeSystemConsole(const ConsoleFacts&) { return std::make_unique<PosixConsole>(); }

}  // namespace belvox
