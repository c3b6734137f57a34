// Source text read as UTF-16 becomes the UTF-8 the row copy stages.
#include "odbc/utf8_append.h"

#include <gtest/gtest.h>

#include <string>

namespace talvoro::odbc {
namespace {

std::string FromUtf16(const std::u16string& units) {
  std::string out = "x";  // appended to, never replaced
  AppendUtf8FromUtf16(reinterpret_cast<const char*>(units.data()), units.size(), out);
  return out.substr(1);
}

TEST(Utf16Text, BecomesUtf8WithUnpairedSurrogatesReplaced) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""},
      {u"Customer name number 0000001", "Customer name number 0000001"},
      {u"Grüße €", "Grüße €"},
      {u"é", "é"},
      {u"a\U0001F600b", "a\U0001F600b"},         // a pair: one code point of four bytes
      {u"ab\xD83D", "ab\xEF\xBF\xBD"},            // a high surrogate at the end
      {u"\xDE00xyz", "\xEF\xBF\xBDxyz"},          // a low surrogate first
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\U0001F600"},
  };
  for (const auto& [units, utf8] : cases) EXPECT_EQ(FromUtf16(units), utf8) << utf8;
}

}  // namespace
}  // namespace talvoro::odbc
