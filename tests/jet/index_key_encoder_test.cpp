// Index keys compared byte for byte with keys Access wrote (see also
// index_reference_files_test.cpp) and with an independent encoder of the General
// sort order; numeric order of every type, descending keys, NULLs and errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "jet/index_key_encoder.h"

namespace jet {
namespace {

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string ToHex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

ColumnDef Column(ColumnType type, std::uint8_t scale = 0) {
  ColumnDef c;
  c.name = "c";
  c.type = type;
  c.length = type == ColumnType::Text ? 255 : 0;
  c.precision = 28;
  c.scale = scale;
  return c;
}

Bytes KeyOf(ColumnType type, const Value& value, bool ascending = true, std::uint8_t scale = 0) {
  Bytes out;
  IndexKeyEncoder::AppendColumn({Column(type, scale), ascending}, value, out);
  return out;
}

Guid SampleGuid() {
  // {00112233-4455-6677-8899-AABBCCDDEEFF} in row order.
  return Guid{{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
}

struct ExactCase {
  const char* what;
  ColumnType type;
  Value value;
  bool ascending;
  const char* expected;
};

class ExactKey : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactKey, MatchesTheBytesAccessWrites) {
  const ExactCase& c = GetParam();
  EXPECT_EQ(ToHex(KeyOf(c.type, c.value, c.ascending)), ToHex(Hex(c.expected))) << c.what;
}

Decimal Dec(unsigned __int128 unscaled, bool negative) { return Decimal{unscaled, negative, 0}; }

INSTANTIATE_TEST_SUITE_P(
    AllTypes, ExactKey,
    ::testing::Values(
        ExactCase{"Long 1", ColumnType::Long, std::int64_t{1}, true, "7f 80 00 00 01"},
        ExactCase{"Long -1", ColumnType::Long, std::int64_t{-1}, true, "7f 7f ff ff ff"},
        ExactCase{"Long catalog id", ColumnType::Long, std::int64_t{0x0F000000}, true, "7f 8f 00 00 00"},
        ExactCase{"Long 1 descending", ColumnType::Long, std::int64_t{1}, false, "80 7f ff ff fe"},
        ExactCase{"Long NULL", ColumnType::Long, Null{}, true, "00"},
        ExactCase{"Long NULL descending", ColumnType::Long, Null{}, false, "ff"},
        ExactCase{"Byte 200", ColumnType::Byte, std::int64_t{200}, true, "7f c8"},
        ExactCase{"Byte 200 descending", ColumnType::Byte, std::int64_t{200}, false, "80 37"},
        ExactCase{"Integer -2", ColumnType::Integer, std::int64_t{-2}, true, "7f 7f fe"},
        ExactCase{"Currency 1.0000", ColumnType::Currency, Currency{10000}, true, "7f 80 00 00 00 00 00 27 10"},
        ExactCase{"Double 1.0", ColumnType::Double, 1.0, true, "7f bf f0 00 00 00 00 00 00"},
        ExactCase{"Double -1.0", ColumnType::Double, -1.0, true, "7f 40 0f ff ff ff ff ff ff"},
        ExactCase{"Double -1.0 descending", ColumnType::Double, -1.0, false, "80 bf f0 00 00 00 00 00 00"},
        ExactCase{"Single 1.0", ColumnType::Single, 1.0, true, "7f bf 80 00 00"},
        ExactCase{"Date 1900-01-01", ColumnType::DateTime, DateTime{2.0}, true, "7f c0 00 00 00 00 00 00 00"},
        ExactCase{"Yes", ColumnType::Boolean, true, true, "7f 00"},
        ExactCase{"No", ColumnType::Boolean, false, true, "7f ff"},
        ExactCase{"Yes/No NULL counts as No", ColumnType::Boolean, Null{}, true, "7f ff"},
        ExactCase{"Yes descending", ColumnType::Boolean, true, false, "80 ff"},
        ExactCase{"GUID", ColumnType::Guid, SampleGuid(), true,
                  "7f 00 11 22 33 44 55 66 77 09 88 99 aa bb cc dd ee ff 08"},
        ExactCase{"GUID descending", ColumnType::Guid, SampleGuid(), false,
                  "80 ff ee dd cc bb aa 99 88 09 77 66 55 44 33 22 11 00 f7"},
        ExactCase{"Binary 3 bytes", ColumnType::Binary, Bytes{1, 2, 3}, true, "7f 01 02 03 00 00 00 00 00 03"},
        ExactCase{"Binary 9 bytes", ColumnType::Binary, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}, true,
                  "7f 01 02 03 04 05 06 07 08 09 09 00 00 00 00 00 00 00 01"},
        ExactCase{"Binary empty", ColumnType::Binary, Bytes{}, true, "7f"},
        ExactCase{"Decimal 1", ColumnType::Decimal, Dec(1, false), true,
                  "7f ff 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01"},
        ExactCase{"Decimal -1", ColumnType::Decimal, Dec(1, true), true,
                  "7f 00 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff fe"},
        ExactCase{"Decimal 1 descending (Jet 4 quirk)", ColumnType::Decimal, Dec(1, false), false,
                  "80 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff fe"},
        ExactCase{"Decimal -1 descending (Jet 4 quirk)", ColumnType::Decimal, Dec(1, true), false,
                  "80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01"},
        // Text: from real keys (catalog, Jackcess) and an independent encoder.
        ExactCase{"catalog name", ColumnType::Text, std::string("Tables"), true, "7f 6d 4a 4c 5e 51 6b 01 00"},
        ExactCase{"accent", ColumnType::Text, std::string("name0 \xC3\xA9"), true,
                  "7f 62 4a 60 51 36 07 51 01 02 02 02 02 02 02 0e 00"},
        ExactCase{"accent descending", ColumnType::Text, std::string("name0 \xC3\xA9"), false,
                  "80 9d b5 9f ae c9 f8 ae fe fd fd fd fd fd fd f1 ff 00"},
        ExactCase{"accented capitals", ColumnType::Text, std::string("\xC3\x80\xC3\x89\xC3\x8E\xC3\xB5\xC3\xBC"), true,
                  "7f 4a 51 59 64 6f 01 0f 0e 12 19 13 00"},
        ExactCase{"sharp s", ColumnType::Text, std::string("stra\xC3\x9F" "e"), true, "7f 6b 6d 69 4a 6b 6b 51 01 00"},
        ExactCase{"apostrophe", ColumnType::Text, std::string("O'Brien"), true,
                  "7f 64 4c 69 59 51 62 01 01 01 01 80 0b 06 80 00"},
        ExactCase{"apostrophe descending", ColumnType::Text, std::string("O'Brien"), false,
                  "80 9b b3 96 a6 ae 9d fe fe fe fe 7f f4 f9 7f ff 00"},
        ExactCase{"hyphen", ColumnType::Text, std::string("co-op"), true, "7f 4d 64 64 66 01 01 01 01 80 0f 06 82 00"},
        ExactCase{"mixed accents", ColumnType::Text,
                  std::string("\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xC3\x87\xC3\xA0"), true,
                  "7f 6f 62 59 4d 64 4f 51 07 4d 4a 01 13 02 13 02 13 02 0e 02 1c 0f 00"},
        ExactCase{"Cyrillic", ColumnType::Text, std::string("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"), true,
                  "7f 79 43 79 46 79 49 79 40 79 31 79 2f 01 00"},
        ExactCase{"Greek", ColumnType::Text,
                  std::string("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"), true,
                  "7f 79 10 79 16 79 16 79 0c 79 0f 79 0c 01 02 02 02 05 00"},
        ExactCase{"CJK", ColumnType::Text, std::string("\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD"), true,
                  "7f b8 ee 9f c6 e2 ea 01 00"},
        ExactCase{"Nordic", ColumnType::Text, std::string("\xC3\x86\xC3\x98\xC3\x85 \xC3\xA6\xC3\xB8\xC3\xA5"), true,
                  "7f 4a 51 64 4a 07 4a 51 64 4a 01 02 21 1a 02 02 21 1a 00"},
        ExactCase{"tab", ColumnType::Text, std::string("a\tb"), true, "7f 4a 08 03 4c 01 00"},
        ExactCase{"trailing spaces ignored", ColumnType::Text, std::string("trailing   "), true,
                  "7f 6d 69 4a 59 5e 59 62 55 01 00"},
        ExactCase{"empty text", ColumnType::Text, std::string(""), true, "7f 01 00"},
        ExactCase{"Memo like Text", ColumnType::Memo, std::string("Tables"), true, "7f 6d 4a 4c 5e 51 6b 01 00"}),
    [](const ::testing::TestParamInfo<ExactCase>& info) { return "case" + std::to_string(info.index); });

// Keys of values in increasing order must increase (ascending) and decrease
// (descending) as unsigned byte strings.
void ExpectOrdered(ColumnType type, const std::vector<Value>& increasing, std::uint8_t scale = 0) {
  for (bool ascending : {true, false}) {
    for (std::size_t i = 1; i < increasing.size(); ++i) {
      const Bytes a = KeyOf(type, increasing[i - 1], ascending, scale);
      const Bytes b = KeyOf(type, increasing[i], ascending, scale);
      if (ascending)
        EXPECT_LT(a, b) << "type " << int(type) << " value #" << i;
      else
        EXPECT_GT(a, b) << "type " << int(type) << " value #" << i << " descending";
    }
  }
}

TEST(IndexKeyOrder, NumbersSortNumericallyIncludingNegatives) {
  ExpectOrdered(ColumnType::Byte, {std::int64_t{0}, std::int64_t{1}, std::int64_t{127}, std::int64_t{128},
                                   std::int64_t{255}});
  ExpectOrdered(ColumnType::Integer, {std::int64_t{-32768}, std::int64_t{-1}, std::int64_t{0}, std::int64_t{1},
                                      std::int64_t{32767}});
  ExpectOrdered(ColumnType::Long, {std::int64_t{INT32_MIN}, std::int64_t{-65536}, std::int64_t{-1}, std::int64_t{0},
                                   std::int64_t{1}, std::int64_t{256}, std::int64_t{INT32_MAX}});
  ExpectOrdered(ColumnType::Currency, {Currency{INT64_MIN}, Currency{-10000}, Currency{-1}, Currency{0}, Currency{1},
                                       Currency{INT64_MAX}});
  const double inf = std::numeric_limits<double>::infinity();
  ExpectOrdered(ColumnType::Double, {-inf, -1e300, -2.5, -1.0, -1e-300, 0.0, 1e-300, 1.0, 2.5, 1e300, inf});
  ExpectOrdered(ColumnType::Single, {-3e38, -2.5, -1.0, 0.0, 1e-30, 1.0, 2.5, 3e38});
  ExpectOrdered(ColumnType::DateTime, {DateTime{-657434.0}, DateTime{-1.5}, DateTime{0.0}, DateTime{0.25},
                                       DateTime{45000.75}, DateTime{2958465.99}});
  // Ascending Decimal keys sort numerically; descending keeps Jet 4's quirk (only
  // non-negative values in reverse), so only ascending is checked for negatives.
  const std::vector<Value> decimals = {Decimal{99999, true, 2}, Decimal{1, true, 0}, Decimal{0, false, 0},
                                       Decimal{5, false, 1}, Decimal{123456789, false, 2}};
  for (std::size_t i = 1; i < decimals.size(); ++i)
    EXPECT_LT(KeyOf(ColumnType::Decimal, decimals[i - 1], true, 2), KeyOf(ColumnType::Decimal, decimals[i], true, 2));
  ExpectOrdered(ColumnType::Decimal, {Decimal{0, false, 0}, Decimal{5, false, 1}, Decimal{123456789, false, 2}}, 2);
}

TEST(IndexKeyOrder, DecimalValuesAreBroughtToTheColumnScale) {
  // 1.5 given with scale 1 and with scale 3 is the same stored value at scale 2.
  EXPECT_EQ(KeyOf(ColumnType::Decimal, Decimal{15, false, 1}, true, 2),
            KeyOf(ColumnType::Decimal, Decimal{1500, false, 3}, true, 2));
  // Extra digits round half away from zero, as the row stores them.
  EXPECT_EQ(KeyOf(ColumnType::Decimal, Decimal{155, false, 2}, true, 1),
            KeyOf(ColumnType::Decimal, Decimal{16, false, 1}, true, 1));
  EXPECT_EQ(KeyOf(ColumnType::Decimal, Decimal{0, true, 0}), KeyOf(ColumnType::Decimal, Decimal{0, false, 0}));
}

TEST(IndexKeyOrder, TextFollowsTheGeneralSortOrder) {
  auto key = [](const char* s) { return KeyOf(ColumnType::Text, std::string(s)); };
  EXPECT_EQ(key("abc"), key("ABC")) << "letter case is not significant";
  EXPECT_LT(key("a"), key("B"));
  EXPECT_LT(key("B"), key("c"));
  EXPECT_LT(key("e"), key("\xC3\xA9"));  // e < é
  EXPECT_LT(key("\xC3\xA9"), key("f"));
  EXPECT_LT(key("abc"), key("abcd"));
  EXPECT_LT(key("9"), key("a"));
  EXPECT_LT(key(""), key("a"));
  EXPECT_EQ(key("same"), key("same   "));
}

TEST(IndexKeyText, OnlyTheFirst255CharactersCount) {
  const std::string base(255, 'x');
  EXPECT_EQ(KeyOf(ColumnType::Memo, base + "tail"), KeyOf(ColumnType::Memo, base));
  EXPECT_NE(KeyOf(ColumnType::Memo, std::string(254, 'x') + "y"), KeyOf(ColumnType::Memo, base));
}

TEST(IndexKeyText, CharactersBeyondTheBasicPlaneAreEncoded) {
  // U+1F600 as a surrogate pair: computed codes plus extra bytes 0x3F each.
  EXPECT_EQ(ToHex(KeyOf(ColumnType::Text, std::string("\xF0\x9F\x98\x80"))), "7f b0 3f b6 fc 01 3f 3f 00");
}

TEST(IndexKeyText, ModifiersAndKanaFlagsFollowTheTables) {
  // A combining acute accent modifies the extra byte of its letter: the same key
  // as the precomposed letter.
  EXPECT_EQ(KeyOf(ColumnType::Text, std::string("e\xCC\x81")), KeyOf(ColumnType::Text, std::string("\xC3\xA9")));
  // Small and full-size hiragana share inline codes and differ in the packed flags.
  EXPECT_EQ(ToHex(KeyOf(ColumnType::Text, std::string("\xE3\x81\x82\xE3\x81\x81"))),
            "7f 7f 02 7f 02 01 01 01 b8 ff 02 80 ff 80 00");
  EXPECT_EQ(ToHex(KeyOf(ColumnType::Text, std::string("\xE3\x81\x82\xE3\x81\x82"))),
            "7f 7f 02 7f 02 01 01 01 ff 02 80 ff 80 00");
}

TEST(IndexKeyComposite, ColumnsAreConcatenatedInKeyOrder) {
  IndexKeyEncoder encoder({{Column(ColumnType::Long), true}, {Column(ColumnType::Text), true}});
  const std::vector<Value> values = {std::int64_t{0x0F000000}, std::string("Tables")};
  EXPECT_EQ(ToHex(encoder.Key(values)), "7f 8f 00 00 00 7f 6d 4a 4c 5e 51 6b 01 00");

  IndexKeyEncoder mixed({{Column(ColumnType::Text), true}, {Column(ColumnType::Long), false}});
  const std::vector<Value> nullFirst = {Null{}, std::int64_t{5}};
  const std::vector<Value> a5 = {std::string("a"), std::int64_t{5}};
  const std::vector<Value> a7 = {std::string("a"), std::int64_t{7}};
  EXPECT_LT(mixed.Key(nullFirst), mixed.Key(a5)) << "NULL sorts first when ascending";
  EXPECT_LT(mixed.Key(a7), mixed.Key(a5)) << "second column descending";
}

TEST(IndexKeyErrors, BadValuesAndDefinitionsAreRefused) {
  auto codeOf = [](auto&& f) {
    try {
      f();
    } catch (const Error& e) {
      return e.code();
    }
    return ErrorCode::Io;  // nothing thrown
  };
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Long, std::string("1")); }), ErrorCode::TypeMismatch);
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Long, std::int64_t{1} << 40); }), ErrorCode::ValueOutOfRange);
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Byte, std::int64_t{-1}); }), ErrorCode::ValueOutOfRange);
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Integer, std::int64_t{40000}); }), ErrorCode::ValueOutOfRange);
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Text, std::string("bad \xC3")); }), ErrorCode::ValueOutOfRange);
  EXPECT_EQ(codeOf([] { KeyOf(ColumnType::Boolean, std::int64_t{1}); }), ErrorCode::TypeMismatch);
  EXPECT_EQ(codeOf([] { IndexKeyEncoder({{Column(ColumnType::Ole), true}}); }), ErrorCode::InvalidDefinition);
  EXPECT_EQ(codeOf([] { IndexKeyEncoder(std::vector<IndexKeyColumn>(11, {Column(ColumnType::Long), true})); }),
            ErrorCode::InvalidDefinition);
  EXPECT_EQ(codeOf([] {
              IndexKeyEncoder e({{Column(ColumnType::Long), true}});
              e.Key(std::vector<Value>{});
            }),
            ErrorCode::WrongValueCount);
}

}  // namespace
}  // namespace jet
