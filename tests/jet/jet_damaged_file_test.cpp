// Damaged files: each kind of damage, applied to a file the engine wrote, is
// either read or refused with jet::Error, never a crash; a read-only session
// leaves the file as it was. The files the fuzz targets once crashed on
// (data/damaged/) are kept here as fixed cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

constexpr std::size_t kPage = 4096;
using FileBytes = std::vector<std::uint8_t>;

FileBytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return FileBytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const FileBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A file with a table of every kind of column, long values in one row and in a
// chain of pages, and a primary key index.
const FileBytes& ValidFile() {
  static const FileBytes bytes = [] {
    TempDir dir;
    const std::string path = dir.File("valid.mdb");
    {
      using T = jet::ColumnType;
      auto db = jet::Database::Create(path);
      jet::TableDef def;
      def.name = "Items";
      def.columns = {{"Id", T::Long, 0, 18, 0, true}, {"Name", T::Text, 40}, {"Note", T::Memo},
                     {"Pic", T::Ole}, {"Price", T::Currency}, {"When", T::DateTime}};
      def.primaryKey = {"Id"};
      jet::Table& t = db->CreateTable(def);
      for (int i = 0; i < 200; ++i) {
        t.Insert({std::int64_t{i}, "item " + std::to_string(i),
                  std::string(i % 50 == 0 ? 9000 : 40, 'n'), jet::Bytes(i % 7 * 30, 1),
                  jet::Currency{i * 100}, jet::DateTime{40000.0 + i}});
      }
      db->Flush();
    }
    return ReadBytes(path);
  }();
  return bytes;
}

// The first page whose type byte (and, for data pages, owner) matches.
std::size_t FindPage(const FileBytes& f, std::uint8_t type, std::size_t from = 1,
                     std::optional<std::uint32_t> lvalOwner = std::nullopt) {
  for (std::size_t p = from; (p + 1) * kPage <= f.size(); ++p) {
    if (f[p * kPage] != type) continue;
    if (lvalOwner) {
      std::uint32_t owner;
      std::memcpy(&owner, &f[p * kPage + 4], 4);
      if ((owner == 0x4C41564C) != (*lvalOwner == 0x4C41564C)) continue;
    }
    return p;
  }
  return 0;
}

void Put16(FileBytes& f, std::size_t at, std::uint16_t v) {
  f[at] = static_cast<std::uint8_t>(v);
  f[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Scramble(FileBytes& f, std::size_t from, std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  for (std::size_t i = from; i < from + count && i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(random());
}

struct Damage {
  const char* kind;
  std::function<void(FileBytes&)> apply;
};

std::size_t UserTdef(const FileBytes& f) { return FindPage(f, 0x02, 6); }
std::size_t UserDataPage(const FileBytes& f) {
  // The user table's rows: the data page whose owner is the user table's definition.
  const std::uint32_t tdef = static_cast<std::uint32_t>(UserTdef(f));
  for (std::size_t p = 1; (p + 1) * kPage <= f.size(); ++p) {
    std::uint32_t owner;
    std::memcpy(&owner, &f[p * kPage + 4], 4);
    if (f[p * kPage] == 0x01 && owner == tdef) return p;
  }
  return 0;
}
std::size_t LvalPage(const FileBytes& f) { return FindPage(f, 0x01, 1, 0x4C41564C); }

// The user table definition's 25-byte record of the first column of `type`.
std::size_t ColumnRecord(const FileBytes& f, std::uint8_t type) {
  const std::size_t tdef = UserTdef(f) * kPage;
  std::uint32_t realIndexes;
  std::memcpy(&realIndexes, &f[tdef + 51], 4);
  for (std::size_t at = tdef + 63 + 12 * realIndexes;; at += 25)
    if (f[at] == type) return at;
}

const std::vector<Damage>& Damages() {
  static const std::vector<Damage> damages = {
      {"cut to 12,288 bytes (three pages)", [](FileBytes& f) { f.resize(3 * kPage); }},
      {"cut to half its pages", [](FileBytes& f) { f.resize(f.size() / kPage / 2 * kPage); }},
      {"cut inside a page", [](FileBytes& f) { f.resize(f.size() - 1000); }},
      {"all zeros", [](FileBytes& f) { std::fill(f.begin(), f.end(), 0); }},
      {"header page zeroed", [](FileBytes& f) { std::fill(f.begin(), f.begin() + kPage, 0); }},
      {"version byte changed to Jet 3", [](FileBytes& f) { f[0x14] = 0; }},
      {"header's encoded area scrambled", [](FileBytes& f) { Scramble(f, 0x18, 126, 1); }},
      {"global usage map scrambled", [](FileBytes& f) { Scramble(f, kPage + 8, kPage - 8, 2); }},
      {"catalog definition scrambled", [](FileBytes& f) { Scramble(f, 2 * kPage + 8, 600, 3); }},
      {"catalog definition's next page points past the end",
       [](FileBytes& f) { Put16(f, 2 * kPage + 4, 0xFFF0); }},
      {"catalog definition's next page points to itself",
       [](FileBytes& f) { Put16(f, 2 * kPage + 4, 2); }},
      {"catalog rows: row count 0xFFFF", [](FileBytes& f) { Put16(f, 14 * kPage + 12, 0xFFFF); }},
      {"catalog rows: offsets scrambled", [](FileBytes& f) { Scramble(f, 14 * kPage + 14, 60, 4); }},
      {"catalog rows: page turned into an index page", [](FileBytes& f) { f[14 * kPage] = 0x04; }},
      {"user table definition: column count 0xFFFF",
       [](FileBytes& f) { Put16(f, UserTdef(f) * kPage + 45, 0xFFFF); }},
      {"user table definition scrambled", [](FileBytes& f) { Scramble(f, UserTdef(f) * kPage + 8, 400, 5); }},
      {"user table definition: page type changed", [](FileBytes& f) { f[UserTdef(f) * kPage] = 0x01; }},
      {"user data page: row offsets point outside the page",
       [](FileBytes& f) { for (int r = 0; r < 8; ++r) Put16(f, UserDataPage(f) * kPage + 14 + 2 * r, 0x1FFF); }},
      {"user data page: row count 0xFFFF and free space 0xFFFF",
       [](FileBytes& f) { Put16(f, UserDataPage(f) * kPage + 12, 0xFFFF); Put16(f, UserDataPage(f) * kPage + 2, 0xFFFF); }},
      {"user data page: rows scrambled", [](FileBytes& f) { Scramble(f, UserDataPage(f) * kPage + 2000, 2000, 6); }},
      {"user table definition: the Ole column marked fixed",
       [](FileBytes& f) { f[ColumnRecord(f, 0x0B) + 15] |= 0x01; }},
      {"user table definition: the Long column's fixed slot cut to one byte",
       [](FileBytes& f) { Put16(f, ColumnRecord(f, 0x04) + 23, 1); }},
      {"user table definition: a fixed slot past the end of any row",
       [](FileBytes& f) { Put16(f, ColumnRecord(f, 0x05) + 21, 0xFFF0); }},
      {"long-value page scrambled", [](FileBytes& f) { Scramble(f, LvalPage(f) * kPage + 14, kPage - 14, 7); }},
      {"index pages scrambled",
       [](FileBytes& f) { for (std::size_t p = 1; (p + 1) * kPage <= f.size(); ++p)
                            if (f[p * kPage] == 0x03 || f[p * kPage] == 0x04) Scramble(f, p * kPage + 8, kPage - 8, 8 + p); }},
      {"usage-map holder page scrambled", [](FileBytes& f) { Scramble(f, 6 * kPage + 14, kPage - 14, 9); }},
      {"one byte in a hundred changed",
       [](FileBytes& f) { std::mt19937 r(10); for (std::size_t i = 0; i < f.size() / 100; ++i) f[r() % f.size()] ^= 0xFF; }},
      {"every page's type byte set to data",
       [](FileBytes& f) { for (std::size_t p = 1; (p + 1) * kPage <= f.size(); ++p) f[p * kPage] = 0x01; }},
  };
  return damages;
}

// What a session made of the file: "read" or the error's code and message.
std::string Outcome(const std::function<void()>& session) {
  try {
    session();
    return "read";
  } catch (const jet::Error& e) {
    return "jet::Error " + std::to_string(static_cast<int>(e.code())) + ": " + e.what();
  }
}

void ReadEverything(jet::Database& db) {
  for (const std::string& name : db.TableNames()) {
    if (jet::Table* t = db.FindTable(name)) ReadAll(*t);
  }
}

// A value of each column type (NULL would be refused by required columns).
jet::Value SampleValue(const jet::ColumnDef& column) {
  using T = jet::ColumnType;
  switch (column.type) {
    case T::Boolean: return true;
    case T::Byte: case T::Integer: return std::int64_t{7};
    case T::Long: return std::int64_t{987654};
    case T::Currency: return jet::Currency{12345};
    case T::Single: case T::Double: return 1.5;
    case T::DateTime: return jet::DateTime{40000.25};
    case T::Binary: return jet::Bytes{1, 2};
    case T::Ole: return jet::Bytes(5000, 0xAB);
    case T::Text: return std::string("x");
    case T::Memo: return std::string(3000, 'm');
    case T::Guid: return jet::Guid{};
    case T::Decimal: return jet::Decimal{};
  }
  return jet::Null{};
}

// As the write fuzzer does: each table read, then a row added to it; then a new
// table and a flush. The first refused insert is the outcome.
void WriteSomething(jet::Database& db) {
  std::optional<jet::Error> refused;
  for (const std::string& name : db.TableNames()) {
    jet::Table* t = db.FindTable(name);
    if (t == nullptr) continue;
    ReadAll(*t);
    std::vector<jet::Value> row;
    for (const jet::ColumnDef& column : t->definition().columns) row.push_back(SampleValue(column));
    try {
      t->Insert(row);
    } catch (const jet::Error& e) {
      if (!refused) refused = e;
    }
  }
  jet::TableDef def;
  def.name = "Added";
  def.columns = {{"Id", jet::ColumnType::Long}, {"Memo", jet::ColumnType::Memo}};
  db.CreateTable(def).Insert({std::int64_t{1}, std::string(5000, 'a')});
  db.Flush();
  if (refused) throw *refused;
}

void ExpectNoCrashAndReadOnlyUnchanged(const std::string& path, std::string& readOnly,
                                       std::string& readWrite) {
  const FileBytes before = ReadBytes(path);
  readOnly = Outcome([&] { ReadEverything(*jet::Database::Open(path, jet::OpenMode::ReadOnly)); });
  EXPECT_EQ(ReadBytes(path), before) << "a read-only session changed " << path;
  readWrite = Outcome([&] { WriteSomething(*jet::Database::Open(path, jet::OpenMode::ReadWrite)); });
}

std::string Shorten(const std::string& s) { return s.size() > 110 ? s.substr(0, 107) + "..." : s; }

TEST(DamagedFileTest, EveryKindOfDamageIsReadOrRefused) {
  TempDir dir;
  std::ostringstream table;
  table << "| damage | read-only session | read-write session (insert, flush) |\n|---|---|---|\n";
  for (const Damage& damage : Damages()) {
    SCOPED_TRACE(damage.kind);
    FileBytes bytes = ValidFile();
    damage.apply(bytes);
    const std::string path = dir.File("damaged.mdb");
    WriteBytes(path, bytes);
    std::string readOnly, readWrite;
    ExpectNoCrashAndReadOnlyUnchanged(path, readOnly, readWrite);
    table << "| " << damage.kind << " | " << Shorten(readOnly) << " | " << Shorten(readWrite) << " |\n";
  }
  // For the record of what each kind of damage gets.
  std::cout << table.str();
}

// Inputs on which the fuzz targets crashed once.
TEST(DamagedFileTest, FilesTheFuzzersCrashedOn) {
  TempDir dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TALVORO_DAMAGED_FILES)) {
    if (entry.path().extension() != ".mdb") continue;
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string path = dir.File("copy.mdb");
    std::filesystem::copy_file(entry.path(), path, std::filesystem::copy_options::overwrite_existing);
    std::string readOnly, readWrite;
    ExpectNoCrashAndReadOnlyUnchanged(path, readOnly, readWrite);
    std::cout << entry.path().filename().string() << ": " << Shorten(readOnly) << " / "
              << Shorten(readWrite) << "\n";
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace talvoro::test
