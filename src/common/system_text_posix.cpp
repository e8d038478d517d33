#include <climits>
#include <cstdint>
#include <cwchar>

#include "common/system_text.hpp"

namespace belvox {
namespace {

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<char16_t>(c);
  }
}

}  // namespace

std::u16string DecodeSystemText(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  std::mbstate_t state{};
  while (!bytes.empty()) {
    wchar_t c = 0;
    const std::size_t used = std::mbrtowc(&c, bytes.data(), bytes.size(), &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) ||
        static_cast<std::uint32_t>(c) > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      text += u'\uFFFD';
      bytes.remove_prefix(1);
      state = {};
      continue;
    }
    AppendUtf16(text, static_cast<char32_t>(c));
    bytes.remove_prefix(used == 0 ? 1 : used);
  }
  return text;
}

std::string EncodeSystemText(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      bytes += '?';
      continue;
    }
    const std::size_t length = std::wcrtomb(buffer, static_cast<wchar_t>(c), &state);
    if (length == static_cast<std::size_t>(-1)) {
      bytes += '?';
      state = {};
    } else {
      bytes.append(buffer, length);
    }
  }
  return bytes;
}

}  // namespace belvox
