// Literals of the row copy: each must give the driver back exactly the source value.
#include "engine/value_literals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace talvoro::engine {
namespace {

std::string Text(std::string_view s) {
  std::string out;
  AppendTextLiteral(s, out);
  return out;
}

TEST(TextLiteral, DoublesEveryQuote) {
  const std::pair<std::string, std::string> cases[] = {
      {"O'Brien", "'O''Brien'"}, {"'", "''''"}, {"", "''"},
      {"a''b", "'a''''b'"},      {"plain", "'plain'"}, {"ends'", "'ends'''"},
      {"Grüße €", "'Grüße €'"},
  };
  for (const auto& [value, literal] : cases) EXPECT_EQ(Text(value), literal) << value;
}

TEST(BinaryLiteral, TwoLowerCaseDigitsPerByte) {
  std::string out;
  AppendBinaryLiteral(std::string("\x00\xab\xff\x10", 4), out);
  EXPECT_EQ(out, "'00abff10'");
  out.clear();
  AppendBinaryLiteral("", out);
  EXPECT_EQ(out, "''");
}

TEST(IntegerLiteral, FullSixtyFourBitRange) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0"}, {7, "7"}, {-3, "-3"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& [value, text] : cases) {
    std::string out;
    AppendIntegerLiteral(value, out);
    EXPECT_EQ(out, text);
  }
}

TEST(DoubleLiteral, ReadsBackAsTheSameDouble) {
  const double cases[] = {3.99, -3.99, 0.5, 0.1, 1e-300, -1e300, 3.141592653589793,
                          2147483648.5, 9007199254740993.0, 5e-324, 1.7976931348623157e308, 0.0};
  for (double value : cases) {
    std::string out;
    AppendDoubleLiteral(value, out);
    EXPECT_EQ(std::strtod(out.c_str(), nullptr), value) << out;
    EXPECT_EQ(out.find(','), std::string::npos) << "locale-independent: " << out;
  }
  std::string fraction;
  AppendDoubleLiteral(3.75, fraction);
  EXPECT_EQ(fraction, "3.75");
}

TEST(RealLiteral, ReadsBackAsTheSameFloatInEitherPrecision) {
  const float cases[] = {0.1f, 1.5f, -2.49999995e+10f, 3.4028235e38f, 1e-45f, 16777217.0f};
  for (float value : cases) {
    std::string out;
    AppendRealLiteral(value, out);
    EXPECT_EQ(std::strtof(out.c_str(), nullptr), value) << out;
    EXPECT_EQ(static_cast<float>(std::strtod(out.c_str(), nullptr)), value) << out;
  }
}

TEST(GuidLiteral, InBraces) {
  std::string out;
  AppendGuidLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF", out);
  EXPECT_EQ(out, "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'");
  out.clear();
  AppendGuidLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}", out);
  EXPECT_EQ(out, "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'");
}

SQL_TIMESTAMP_STRUCT At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, unsigned ns = 0) {
  SQL_TIMESTAMP_STRUCT t{};
  t.year = static_cast<SQLSMALLINT>(y);
  t.month = static_cast<SQLUSMALLINT>(mo);
  t.day = static_cast<SQLUSMALLINT>(d);
  t.hour = static_cast<SQLUSMALLINT>(h);
  t.minute = static_cast<SQLUSMALLINT>(mi);
  t.second = static_cast<SQLUSMALLINT>(s);
  t.fraction = ns;
  return t;
}

TEST(TimestampLiteral, DayFirstWithTimeWhenThereIsOne) {
  const std::pair<SQL_TIMESTAMP_STRUCT, std::string> cases[] = {
      {At(2004, 3, 9), "'9/3/2004'"},
      {At(1999, 12, 25), "'25/12/1999'"},
      {At(2004, 3, 9, 14, 30), "'9/3/2004 14:30:00'"},
      {At(2004, 3, 9, 9, 5, 7), "'9/3/2004 9:05:07'"},
      {At(2024, 2, 29, 13, 45, 30, 123000000), "'29/2/2024 13:45:30.123'"},
      {At(2024, 2, 29, 0, 0, 0, 997000000), "'29/2/2024 0:00:00.997'"},
      {At(2024, 2, 29, 0, 0, 0, 5000000), "'29/2/2024 0:00:00.005'"},
      {At(2024, 2, 29, 23, 59, 59, 999999999), "'29/2/2024 23:59:59.999'"},
      {At(2024, 1, 1, 0, 0, 0, 400), "'1/1/2024'"},  // below a millisecond
      {At(100, 1, 1), "'1/1/100'"},
      {At(999, 6, 15), "'15/6/999'"},
      {At(3001, 1, 1), "'1/1/3001'"},
      {At(9999, 12, 31, 23, 59, 59), "'31/12/9999 23:59:59'"},
  };
  for (const auto& [value, literal] : cases) {
    std::string out;
    EXPECT_TRUE(AppendTimestampLiteral(value, out));
    EXPECT_EQ(out, literal);
  }
}

TEST(TimestampLiteral, RefusesWhatAccessCannotStore) {
  for (const SQL_TIMESTAMP_STRUCT& value : {At(99, 12, 31), At(1, 1, 1), At(2024, 13, 1),
                                            At(2024, 0, 1), At(2024, 1, 0), At(2024, 1, 1, 24)}) {
    std::string out = "x";
    EXPECT_FALSE(AppendTimestampLiteral(value, out));
    EXPECT_EQ(out, "x");
  }
}

TEST(TimestampText, DatesTimesAndBoth) {
  struct Case {
    std::string text;
    bool ok;
    std::string literal;
  };
  const Case cases[] = {
      {"2024-02-29", true, "'29/2/2024'"},
      {"2024-02-29 13:45:30.1234567", true, "'29/2/2024 13:45:30.123'"},
      {"2024-02-29T13:45:30", true, "'29/2/2024 13:45:30'"},
      {"13:45:30.5", true, "'30/12/1899 13:45:30.500'"},
      {"00:00:00", true, "'30/12/1899'"},
      {"0001-01-01", true, ""},  // readable, but not storable
      {"100-01-01", true, "'1/1/100'"},
      {"100-01-01 10:00:00", true, "'1/1/100 10:00:00'"},
      {"12345-01-01", false, ""},
      {"-01-01", false, ""},
      {"", false, ""},
      {"2024-2-29", false, ""},
      {"2024-02-29 13:45", false, ""},
      {"13:45:30.", false, ""},
      {"abc", false, ""},
  };
  for (const Case& c : cases) {
    SQL_TIMESTAMP_STRUCT value{};
    EXPECT_EQ(ParseTimestampText(c.text, value), c.ok) << c.text;
    if (!c.ok) continue;
    std::string out;
    EXPECT_EQ(AppendTimestampLiteral(value, out), !c.literal.empty()) << c.text;
    EXPECT_EQ(out, c.literal) << c.text;
  }
}

}  // namespace
}  // namespace talvoro::engine
