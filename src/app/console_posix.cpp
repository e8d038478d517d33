#include "app/console_posix.hpp"

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

}  // namespace

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

}  // namespace belvox
