// Column collations: the names SQL Server accepts, the five bytes that label a
// column on the wire (LCID, comparison flags, sort id), the Windows code page its
// char/varchar/text data travels in, and the SQLite collation that compares it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace standin {

struct Collation {
  std::string name;          // as declared, e.g. "Hebrew_CI_AI"
  uint32_t lcid = 0x0409;
  int codePage = 1252;
  bool ignoreCase = true;
  bool ignoreAccents = false;
  bool binary = false;
  uint8_t sortId = 0;        // non-zero for SQL_ collations
  std::vector<uint8_t> wireBytes() const;
  // The SQLite collation for its comparisons (all registered by RegisterCollations;
  // each ignores trailing blanks, as SQL Server does).
  const char* sqliteCollation() const;
};

// The collation of a name, or nullptr when SQL Server knows no such collation.
// Returns a shared instance that lives as long as the program.
const Collation* FindCollation(std::string_view name);

// The server's default (SQL_Latin1_General_CP1_CI_AS).
const Collation& DefaultCollation();

// The SQLite collation of a character column: its declared collation, else the
// database default (SQL Server gives a column without COLLATE the default).
const char* ColumnSqliteCollation(const Collation* declared);

// A character as the case-insensitive collations compare it (lower case).
char32_t FoldForComparison(char32_t c);

// UTF-8 → the collation's code page; characters it lacks become '?'.
std::string EncodeForCollation(const Collation& c, std::string_view utf8);
// The collation's code page → UTF-8.
std::string DecodeFromCollation(const Collation& c, std::string_view bytes);

// The SQLite collation that compares as the database's default collation does
// (literals and variables, which no column lends its collation).
constexpr char kDatabaseDefaultSqliteCollation[] = "standin_default";

// Registers the SQLite collations named by sqliteCollation() on `db`, and
// kDatabaseDefaultSqliteCollation as `databaseDefault`.
void RegisterCollations(::sqlite3* db, const Collation& databaseDefault);

}  // namespace standin
