#pragma once

#include <string>
#include <string_view>

namespace belvox {

// Bytes in the system's code page (the locale's codeset on POSIX) to UTF-16.
// A byte that does not decode becomes U+FFFD.
std::u16string DecodeSystemText(std::string_view bytes);

// UTF-16 to the system's code page; a character it cannot represent becomes '?'.
std::string EncodeSystemText(std::u16string_view text);

}  // namespace belvox
