#include "common/system_text.hpp"

#include <gtest/gtest.h>

#include <clocale>

namespace belvox {
namespace {

// Converts in the named locale, as belvox does after setlocale(LC_CTYPE, "").
struct InLocale {
  explicit InLocale(const char* name) : set(std::setlocale(LC_CTYPE, name) != nullptr) {}
  ~InLocale() { std::setlocale(LC_CTYPE, "C"); }
  bool set;
};

TEST(SystemText, HostileBytesAndCharactersBothWays) {
  struct Case {
    const char* locale;
    std::string bytes;
    std::u16string text;
    std::string back;  // what the text encodes to
  };
  const Case cases[] = {
      {"C.UTF-8", "440\xff,10", u"440\uFFFD,10", "440\xef\xbf\xbd,10"},  // an invalid byte is kept as U+FFFD
      {"C.UTF-8", "\xe3\x83", u"\uFFFD\uFFFD", "\xef\xbf\xbd\xef\xbf\xbd"},  // a sequence cut short
      {"C.UTF-8", "\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
      {"C.UTF-8", "\xf0\x9f\x8e\xb5!", u"\U0001F3B5!", "\xf0\x9f\x8e\xb5!"},  // beyond the BMP
      {"C.UTF-8", "\xc3\xa9\xee\x80\x80", u"é\uE000", "\xc3\xa9\xee\x80\x80"},  // U+E000 follows the surrogates
      {"C.UTF-8", std::string("a\0b", 3), std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {"C", "caf\xc3\xa9", u"caf\uFFFD\uFFFD", "caf??"},
      {"ja_JP.EUC-JP", "\xa5\xc9\xa5\xec", u"ドレ", "\xa5\xc9\xa5\xec"},
  };
  for (const Case& c : cases) {
    const InLocale locale(c.locale);
    if (!locale.set) continue;  // compiled under LOCPATH by the test script
    EXPECT_EQ(DecodeSystemText(c.bytes), c.text) << c.locale << " " << c.bytes;
    EXPECT_EQ(EncodeSystemText(c.text), c.back) << c.locale << " " << c.bytes;
  }
  const InLocale utf8("C.UTF-8");
  // Halves of a surrogate pair on their own (low ones in a row too), and what a codeset cannot hold, become '?'.
  EXPECT_EQ(EncodeSystemText(u"\xD83C!\xDFB5\xDC00\xDC01"), "?!???");
  const InLocale euc("ja_JP.EUC-JP");
  if (euc.set) {
    EXPECT_EQ(EncodeSystemText(u"ド€"), "\xa5\xc9?");
  }
}

}  // namespace
}  // namespace belvox
