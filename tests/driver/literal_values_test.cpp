// Each literal form into each column type: the value stored, or the refusal.
#include <gtest/gtest.h>

#include <charconv>

#include "column_types.h"
#include "date_time_text.h"
#include "guid_text.h"
#include "literal_values.h"
#include "sql_error.h"
#include "sql_parser.h"

namespace mdb {
namespace {

jet::Value Convert(const std::string& columnDefinition, const std::string& literal) {
  Statement create = ParseStatement("Create Table T(" + columnDefinition + ")");
  jet::ColumnDef column = ColumnFromSpec(std::get<CreateTableStatement>(create).columns.at(0));
  Statement insert = ParseStatement("INSERT INTO T values(" + literal + " )");
  return ToColumnValue(std::get<InsertStatement>(insert).values.at(0), column);
}

jet::Decimal Dec(unsigned long long unscaled, bool negative, int scale) {
  return jet::Decimal{unscaled, negative, static_cast<std::uint8_t>(scale)};
}

jet::DateTime Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ToJetDateTime(DateTimeParts{y, mo, d, h, mi, s, ms});
}

struct Accepted {
  std::string column, literal;
  jet::Value expected;
};

class LiteralsAccepted : public testing::TestWithParam<Accepted> {};

TEST_P(LiteralsAccepted, StoreTheExactValue) {
  const Accepted& c = GetParam();
  EXPECT_EQ(Convert(c.column, c.literal), c.expected) << c.column << " <- " << c.literal;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LiteralsAccepted,
    testing::Values(
        Accepted{"c int", "7", std::int64_t{7}},
        Accepted{"c int", "-2147483648", std::int64_t{-2147483648LL}},
        Accepted{"c int", "+12", std::int64_t{12}},
        Accepted{"c int", "2.5", std::int64_t{2}},    // half to even
        Accepted{"c int", "3.5", std::int64_t{4}},
        Accepted{"c int", "1e3", std::int64_t{1000}},
        Accepted{"c int", "'42'", std::int64_t{42}},
        Accepted{"c smallint", "-32768", std::int64_t{-32768}},
        Accepted{"c byte", "255", std::int64_t{255}},
        Accepted{"c int", "NULL", jet::Null{}},
        Accepted{"c bit", "1", true},
        Accepted{"c bit", "0", false},
        Accepted{"c bit", "-1", true},
        Accepted{"c bit", "TRUE", true},
        Accepted{"c Money", "12.3400", jet::Currency{123400}},
        Accepted{"c Money", "-0.0001", jet::Currency{-1}},
        Accepted{"c Money", "922337203685477.5807", jet::Currency{INT64_MAX}},
        Accepted{"c Money", "-922337203685477.5808", jet::Currency{INT64_MIN}},
        Accepted{"c Money", "1.23455", jet::Currency{12346}},  // half to even at 4 decimals
        Accepted{"c DOUBLE", "3", 3.0},
        Accepted{"c DOUBLE", "-1.5e-3", -0.0015},
        Accepted{"c DOUBLE", "1.7976931348623157e308", 1.7976931348623157e308},
        Accepted{"c real", "0.1", 0.1},
        Accepted{"c decimal(10,2)", "12.5", jet::Value(Dec(1250, false, 2))},
        Accepted{"c decimal(10,2)", "-12.345", jet::Value(Dec(1235, true, 2))},
        Accepted{"c decimal(28,0)", "9999999999999999999999999999",
                 jet::Value(jet::Decimal{static_cast<unsigned __int128>(9999999999999999999ULL) *
                                                 1000000000ULL +
                                             999999999ULL,
                                         false, 0})},
        Accepted{"c bigint", "-9223372036854775808",
                 jet::Value(Dec(9223372036854775808ULL, true, 0))},
        Accepted{"c VARCHAR(10)", "'O''Brien'", std::string("O'Brien")},
        Accepted{"c VARCHAR(4)", "'ü€𝄞'", std::string("ü€𝄞")},  // 𝄞 counts twice in UTF-16
        Accepted{"c VARCHAR(10)", "''", std::string("")},
        Accepted{"c TEXT", "''''", std::string("'")},
        Accepted{"c VARCHAR(10)", "12.50", std::string("12.50")},
        Accepted{"c datetime", "'9/3/2004'", Date(2004, 3, 9)},
        Accepted{"c datetime", "'25/12/1999'", Date(1999, 12, 25)},
        Accepted{"c datetime", "'1/1/1000'", Date(1000, 1, 1)},
        Accepted{"c datetime", "'31/12/3000'", Date(3000, 12, 31)},
        Accepted{"c datetime", "'9/3/2004 14:30:05'", Date(2004, 3, 9, 14, 30, 5)},
        Accepted{"c datetime", "'9/3/2004 14:30:05.250'", Date(2004, 3, 9, 14, 30, 5, 250)},
        Accepted{"c datetime", "'2004-03-09 14:30:00'", Date(2004, 3, 9, 14, 30)},
        Accepted{"c datetime", "'29/2/2000'", Date(2000, 2, 29)},
        Accepted{"c OLEObject", "'00ff10'", jet::Bytes{0x00, 0xFF, 0x10}},
        Accepted{"c OLEObject", "''", jet::Bytes{}},
        Accepted{"c binary(4)", "'DEADBEEF'", jet::Bytes{0xDE, 0xAD, 0xBE, 0xEF}},
        Accepted{"c image", "0xC0DE", jet::Bytes{0xC0, 0xDE}},
        Accepted{"c GUID", "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'",
                 *ParseGuid("6F9619FF-8B86-D011-B42D-00C04FC964FF")}));

TEST(JetDates, EncodeAsAccessDoes) {
  EXPECT_EQ(Date(1899, 12, 30).days, 0.0);
  EXPECT_EQ(Date(1900, 1, 1).days, 2.0);
  EXPECT_EQ(Date(2004, 3, 9, 12).days, 38055.5);
  EXPECT_EQ(Date(1899, 12, 29, 6).days, -1.25);  // time counts away from zero before day 0
  for (DateTimeParts p : {DateTimeParts{2004, 3, 9, 14, 30, 5, 250}, DateTimeParts{1899, 12, 29, 6},
                          DateTimeParts{100, 1, 1}, DateTimeParts{9999, 12, 31, 23, 59, 59, 999}}) {
    EXPECT_EQ(FromJetDateTime(ToJetDateTime(p)), p) << FormatDateTime(p);
  }
}

TEST(GuidText, KeepsWindowsByteOrder) {
  auto guid = ParseGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}");
  ASSERT_TRUE(guid);
  EXPECT_EQ(guid->bytes, (std::array<std::uint8_t, 16>{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77,
                                                       0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD,
                                                       0xEE, 0xFF}));
  EXPECT_EQ(FormatGuid(*guid), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(ParseGuid("00112233-4455-6677-8899-aabbccddeeff"), guid);
}

// Decimal text into a Double gives the nearest double, exactly as from_chars
// reads it, also for the shortest round-trip texts the converter writes.
TEST(DoubleLiterals, AreTheNearestDouble) {
  for (std::string text : {"0.7142857142857143", "9007199254740993", "9007199254740992", "0.1", "123.456",
                           "0.000000000000000000000123", "1e22", "4.9406564584124654e-324",
                           "2.2250738585072014e-308", "1234567890123456789", "0.30000000000000004",
                           "100000000000000000000000", "000.5000", "3.141592653589793238462643383279"}) {
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    EXPECT_EQ(Convert("c DOUBLE", text), jet::Value(expected)) << text;
    EXPECT_EQ(Convert("c DOUBLE", "-" + text), jet::Value(-expected)) << text;
  }
}

struct Refused {
  std::string column, literal, sqlstate, message;
};

class LiteralsRefused : public testing::TestWithParam<Refused> {};

TEST_P(LiteralsRefused, WithStateAndCause) {
  const Refused& c = GetParam();
  try {
    jet::Value v = Convert(c.column, c.literal);
    ADD_FAILURE() << c.column << " accepted " << c.literal;
  } catch (const SqlError& e) {
    EXPECT_EQ(e.sqlstate(), c.sqlstate) << e.what();
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiteralsRefused,
    testing::Values(
        Refused{"c byte", "256", "22003", "Value 256 for column \"c\" (Byte) is out of range (0 to 255)"},
        Refused{"c byte", "-1", "22003", "out of range"},
        Refused{"c smallint", "32768", "22003", "out of range (-32768 to 32767)"},
        Refused{"c int", "2147483648", "22003", "out of range"},
        Refused{"c int", "1e400", "22003", "out of range"},
        Refused{"c int", "'abc'", "22018", "Value 'abc' for column \"c\" (Long Integer) is not a number"},
        Refused{"c int", "''", "22018", "is not a number"},
        Refused{"c Money", "922337203685477.5808", "22003", "out of range"},
        Refused{"c decimal(5,2)", "1000", "22003", "at most 3 digits before the decimal point"},
        Refused{"c real", "1e39", "22003", "out of range"},
        Refused{"c DOUBLE", "1e309", "22003", "out of range"},
        Refused{"c VARCHAR(3)", "'abcd'", "22001", "too long: 4 characters, the column holds 3"},
        Refused{"c VARCHAR(3)", "'ü€𝄞'", "22001", "too long: 4 characters"},
        Refused{"c datetime", "'31/2/2004'", "22007", "is not a valid date"},
        Refused{"c datetime", "'2004/13/01'", "22007", "is not a valid date"},
        Refused{"c datetime", "'9/3/2004 24:00:00'", "22007", "is not a valid date"},
        Refused{"c datetime", "'yesterday'", "22007", "is not a valid date"},
        Refused{"c OLEObject", "'abc'", "22018", "odd number of digits"},
        Refused{"c OLEObject", "'zz'", "22018", "two digits per byte"},
        Refused{"c binary(2)", "'000102'", "22001", "3 bytes, the column holds 2"},
        Refused{"c GUID", "'{1234}'", "22018", "is not a GUID"},
        Refused{"c int NOT NULL", "NULL", "23000", "Column \"c\" is required: NULL is not allowed"}));

}  // namespace
}  // namespace mdb
