#pragma once

#include "app/console.hpp"

namespace belvox {

// The codeset of the character-type locale stands for the console code page
// (UTF-8 as 65001, EUC-JP and Shift_JIS as 932); the message locale for the UI language.
ConsoleFacts ReadConsoleFacts();

// Terminal or not, text goes out in the locale's codeset.
class PosixConsole final : public Console {
 public:
  void WriteText(std::u16string text, bool toStandardError, bool appendNewline) override;
  void WriteBytes(std::string_view bytes) override;
};

}  // namespace belvox
