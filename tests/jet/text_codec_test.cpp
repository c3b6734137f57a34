// Stored text (UTF-16) read back as UTF-8.
#include "jet/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextCodec, Utf16BecomesUtf8WithLoneSurrogatesReplaced) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""},
      {u"plain ASCII text", "plain ASCII text"},
      {u"Grüße, мир, 日本語 and more", "Grüße, мир, 日本語 and more"},
      {u"ends in é", "ends in é"},
      {u"a\U0001F600b", "a\U0001F600b"},
      {u"ab\xD83D", "ab\xEF\xBF\xBD"},
      {u"\xDE00xyz", "\xEF\xBF\xBDxyz"},
  };
  for (const auto& [units, utf8] : cases) {
    EXPECT_EQ(jet::Utf16ToUtf8(units), utf8) << utf8;
    std::u16string back;
    if (utf8.find("\xEF\xBF\xBD") == std::string::npos) {
      EXPECT_TRUE(jet::Utf8ToUtf16(utf8, back)) << utf8;
      EXPECT_EQ(back, units) << utf8;
    }
  }
}

}  // namespace
