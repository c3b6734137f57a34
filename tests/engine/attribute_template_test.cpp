// Attribute templates of the data source requests and their expansion into
// SQLConfigDataSource's NUL-separated list.
#include <gtest/gtest.h>

#include "odbc/data_sources.h"

namespace talvoro::odbc {
namespace {

using namespace std::string_literals;

TEST(AttributeTemplate, ExpandsSeparatorsIntoNuls) {
  const std::pair<std::string, std::string> cases[] = {
      {FormatSourceTemplate("dsns", "Sales"),
       "DSN=dsns\0Server=(local)\0Trusted_Connection=yes\0Database=Sales\0\0"s},
      {FormatSourceTemplate("dsns", ""),
       "DSN=dsns\0Server=(local)\0Trusted_Connection=yes\0Database=\0\0"s},
      // The server as the user typed it; the setup library translates it for FreeTDS.
      {FormatSourceTemplate("dsns", "Sales", "dbhost\\SALES"),
       "DSN=dsns\0Server=dbhost\\SALES\0Trusted_Connection=yes\0Database=Sales\0\0"s},
      {FormatDestTemplate("dsna", "", "/data/My Files/out.mdb"),
       "DSN=dsna \0DESCRIPTION= \0DBQ=/data/My Files/out.mdb\0\0"s},
      // A value holding 0xFF and a blank is split into two entries there.
      {FormatSourceTemplate("dsns", "A\xFF B"),
       "DSN=dsns\0Server=(local)\0Trusted_Connection=yes\0Database=A\0B\0\0"s},
      // 0xFF without a blank after it stays as it is.
      {FormatSourceTemplate("dsns", "A\xFFZ"),
       "DSN=dsns\0Server=(local)\0Trusted_Connection=yes\0Database=A\xFFZ\0\0"s},
  };
  for (const auto& [formatted, list] : cases) EXPECT_EQ(ExpandAttributeTemplate(formatted), list);
}

TEST(AttributeTemplate, FormattedTextHasTheSeparators) {
  EXPECT_EQ(FormatDestTemplate("dsna", "", "p"), "DSN=dsna \xFF DESCRIPTION= \xFF DBQ=p\xFF \xFF ");
}

TEST(AttributeTemplate, LastByteIsNeverCopiedAlone) {
  EXPECT_EQ(ExpandAttributeTemplate("AB"), "A");
  EXPECT_EQ(ExpandAttributeTemplate(""), "");
  EXPECT_EQ(ExpandAttributeTemplate("\xFF "), "\0"s);
}

TEST(AttributeTemplate, LongValuesAreNotCut) {
  const std::string path = "/" + std::string(600, 'x') + ".mdb";
  const std::string list = ExpandAttributeTemplate(FormatDestTemplate("dsna", "", path));
  EXPECT_EQ(list, "DSN=dsna \0DESCRIPTION= \0DBQ="s + path + "\0\0"s);
}

}  // namespace
}  // namespace talvoro::odbc
