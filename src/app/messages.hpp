#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure.hpp"

namespace belvox {

// Index into a MessagePair: which half a lookup takes.
enum class LanguageIndex : std::uint8_t { Japanese = 0, English = 1 };

struct MessagePair {
  std::u16string_view japanese;
  std::u16string_view english;
};

// English unless the console shows Japanese (code page 932 or 65001) and the
// user's UI language is Japanese (0x0411).
LanguageIndex ChooseLanguage(std::uint32_t consoleOutputCodePage, std::uint16_t uiLanguage);

std::u16string_view Text(MessageId id, LanguageIndex language);

// prefix immediately followed by Text(id); suffix texts bring their own " - ".
// The prefix echoes what the user gave, so its control characters (C0, DEL and
// C1) are written as '?': a file line must not drive the terminal.
std::u16string Compose(std::u16string_view prefix, MessageId id, LanguageIndex language);

}  // namespace belvox
