// Every column type with its extremes, NULLs, empty and non-Latin text and long
// values of every storage kind, read back by our reader, mdbtools and mdb-reader.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::Bytes;
using jet::ColumnType;
using jet::Value;

jet::TableDef AllTypesTable() {
  jet::TableDef d;
  d.name = "All \"types\" 'here' ü";
  d.columns = {{"Id", ColumnType::Long, 0, 18, 0, true},
               {"Flag", ColumnType::Boolean},
               {"Small", ColumnType::Byte},
               {"Int", ColumnType::Integer},
               {"Money", ColumnType::Currency},
               {"Single", ColumnType::Single},
               {"Double", ColumnType::Double},
               {"When", ColumnType::DateTime},
               {"Bin", ColumnType::Binary, 255},
               {"Name", ColumnType::Text, 255},
               {"Notes", ColumnType::Memo},
               {"Blob", ColumnType::Ole},
               {"Guid", ColumnType::Guid},
               {"Amount", ColumnType::Decimal, 0, 28, 6}};
  d.primaryKey = {"Id"};
  return d;
}

jet::Decimal Dec(unsigned __int128 unscaled, bool negative, std::uint8_t scale) { return {unscaled, negative, scale}; }

std::string Repeat(const std::string& s, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += s;
  return out;
}

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

std::vector<std::vector<Value>> Rows() {
  const unsigned __int128 max28 = static_cast<unsigned __int128>(9999999999999ULL) * 1000000000000000ULL + 999999999999999ULL;
  jet::Guid guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<std::uint8_t>(0x10 + i);
  std::vector<std::vector<Value>> rows;
  // Minimum values, short long values.
  rows.push_back({std::int64_t{INT32_MIN}, false, std::int64_t{0}, std::int64_t{-32768},
                  jet::Currency{std::numeric_limits<std::int64_t>::min()}, -3.4028234663852886e38,
                  -std::numeric_limits<double>::max(), jet::DateTime{-657434.0}, Bytes{}, std::string(""),
                  std::string(""), Bytes{}, guid, Dec(max28, true, 6)});
  // Maximum values, long values at the inline limit.
  rows.push_back({std::int64_t{INT32_MAX}, true, std::int64_t{255}, std::int64_t{32767},
                  jet::Currency{std::numeric_limits<std::int64_t>::max()}, 3.4028234663852886e38,
                  std::numeric_limits<double>::max(), jet::DateTime{2958465.99998843}, Pattern(255),
                  Repeat("Ω", 255), Repeat("x", 32), Pattern(64), jet::Guid{}, Dec(max28, false, 6)});
  // NULL everywhere it is allowed.
  rows.push_back({std::int64_t{0}, false, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{},
                  jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}});
  // Non-Latin text; long values just over the inline limit and on one page.
  rows.push_back({std::int64_t{1}, true, std::int64_t{1}, std::int64_t{-1}, jet::Currency{12345678}, 0.5, 1e-300,
                  jet::DateTime{45000.5}, Pattern(1), std::string("Grüße, мир, 日本語 and \"quotes\" 'too'"),
                  Repeat("ab", 33), Pattern(65), guid, Dec(1, false, 6)});
  rows.push_back({std::int64_t{2}, false, std::int64_t{2}, std::int64_t{2}, jet::Currency{-1}, -0.25, -1.5,
                  jet::DateTime{36526.75}, Pattern(2), std::string("  leading and trailing  "),
                  Repeat("Жж", 1024), Pattern(4096), guid, Dec(123456789, true, 3)});
  // Multi-page chains: 1 MB of text and of bytes.
  rows.push_back({std::int64_t{3}, true, std::int64_t{3}, std::int64_t{3}, jet::Currency{0}, 0.0, 0.0,
                  jet::DateTime{0.0}, Pattern(3), std::string("chains 😀 beyond the BMP"), Repeat("long memo line\n", 70000),
                  Pattern(1 << 20), guid, Dec(0, false, 0)});
  return rows;
}

// What a value reads back as: Single loses precision, Decimal takes the column's scale.
Value Expected(const jet::ColumnDef& c, const Value& v) {
  if (c.type == ColumnType::Single && std::holds_alternative<double>(v))
    return static_cast<double>(static_cast<float>(std::get<double>(v)));
  if (c.type == ColumnType::Decimal && std::holds_alternative<jet::Decimal>(v)) {
    auto d = std::get<jet::Decimal>(v);
    while (d.scale < c.scale) {
      d.unscaled *= 10;
      ++d.scale;
    }
    return d;
  }
  return v;
}

std::string Hex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto x : b) {
    s += digits[x >> 4];
    s += digits[x & 15];
  }
  return s;
}

class ValuesTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("values.mdb");
};

TEST_F(ValuesTest, EveryTypeRoundTripsThroughAllReaders) {
  const auto rows = Rows();
  const jet::TableDef def = AllTypesTable();
  {
    auto db = jet::Database::Create(path_);
    jet::Table& t = db->CreateTable(def);
    for (const auto& r : rows) t.Insert(r);
    db->Flush();
  }
  auto db = jet::Database::Open(path_, jet::OpenMode::ReadOnly);
  jet::Table* t = db->FindTable(def.name);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->rowCount(), rows.size());
  ASSERT_EQ(t->definition().columns.size(), def.columns.size());
  for (std::size_t c = 0; c < def.columns.size(); ++c) {
    EXPECT_EQ(t->definition().columns[c].name, def.columns[c].name);
    EXPECT_EQ(t->definition().columns[c].type, def.columns[c].type);
  }
  EXPECT_EQ(t->definition().primaryKey, std::vector<std::string>{"Id"});
  auto read = ReadAll(*t);
  ASSERT_EQ(read.size(), rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
      Value want = Expected(def.columns[c], rows[r][c]);
      if (def.columns[c].type == ColumnType::Boolean && std::holds_alternative<jet::Null>(want)) want = false;
      EXPECT_TRUE(read[r][c] == want) << "row " << r << " column " << def.columns[c].name;
    }

  nlohmann::json doc = ExpectReadersAccept(path_);
  const nlohmann::json* table = FindReaderTable(doc, def.name);
  ASSERT_NE(table, nullptr);
  const auto& jr = (*table)["rows"];
  ASSERT_EQ(jr.size(), rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& row = jr[r];
    const auto& want = rows[r];
    EXPECT_EQ(row["Id"].get<std::int64_t>(), std::get<std::int64_t>(want[0]));
    if (auto* s = std::get_if<std::string>(&want[9])) {
      EXPECT_EQ(row["Name"].get<std::string>(), *s);
    } else {
      EXPECT_TRUE(row["Name"].is_null());
    }
    if (auto* s = std::get_if<std::string>(&want[10])) {
      EXPECT_TRUE(row["Notes"].get<std::string>() == *s) << "row " << r;
    } else {
      EXPECT_TRUE(row["Notes"].is_null());
    }
    if (auto* b = std::get_if<Bytes>(&want[11])) {
      EXPECT_TRUE(row["Blob"].get<std::string>() == Hex(*b)) << "row " << r;
    } else {
      EXPECT_TRUE(row["Blob"].is_null());
    }
    if (auto* b = std::get_if<Bytes>(&want[8])) {
      EXPECT_EQ(row["Bin"].get<std::string>(), Hex(*b));
    }
    if (auto* n = std::get_if<std::int64_t>(&want[3])) {
      EXPECT_EQ(row["Int"].get<std::int64_t>(), *n);
    }
    if (auto* d = std::get_if<double>(&want[6])) {
      EXPECT_EQ(row["Double"].get<double>(), *d);
    }
    EXPECT_EQ(row["Flag"].get<bool>(), std::get_if<bool>(&want[1]) && std::get<bool>(want[1]));
  }
  EXPECT_EQ(jr[3]["Money"], "1234.5678");
  EXPECT_EQ(jr[0]["Money"], "-922337203685477.5808");
  EXPECT_EQ(jr[4]["Amount"], "-123456.789000");
  EXPECT_EQ(jr[3]["Guid"], "13121110-1514-1716-1819-1a1b1c1d1e1f");
  EXPECT_EQ(jr[4]["When"], "2000-01-01T18:00:00.000Z");

  MdbExport exported = ExportWithMdbTools(path_, def.name);
  ASSERT_TRUE(exported.ok) << exported.problems;
  ASSERT_EQ(exported.rows.size(), rows.size());
  EXPECT_EQ(exported.rows[3][9], std::get<std::string>(rows[3][9]));
  EXPECT_EQ(exported.rows[4][10], std::get<std::string>(rows[4][10]));  // mdb-export cuts memos near 200 KB
  EXPECT_EQ(exported.rows[2][9], std::nullopt);
  EXPECT_EQ(exported.rows[4][4], "-0.0001");
}

TEST_F(ValuesTest, DecimalValuesTakeTheColumnScaleAndRound) {
  auto db = jet::Database::Create(path_);
  jet::TableDef d;
  d.name = "D";
  d.columns = {{"V", ColumnType::Decimal, 0, 10, 2}};
  jet::Table& t = db->CreateTable(d);
  t.Insert({Dec(12345, false, 3)});   // 12.345 -> 12.35
  t.Insert({Dec(7, true, 0)});        // -7 -> -7.00
  EXPECT_THROW(t.Insert({Dec(100000000, false, 0)}), jet::Error);  // 11 digits at scale 2
  auto rows = ReadAll(t);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0][0] == Value(Dec(1235, false, 2)));
  EXPECT_TRUE(rows[1][0] == Value(Dec(700, true, 2)));
}

}  // namespace
}  // namespace talvoro::test
