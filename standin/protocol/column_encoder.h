// Result-set encoding: COLMETADATA for typed columns and each value in the TDS
// form of its SQL Server type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "types/sql_type.h"
#include "protocol/tds_io.h"

struct sqlite3_stmt;

namespace standin {

struct ResultColumn {
  std::string name;
  SqlType type;
  bool nullable = true;
  bool identity = false;
  std::string table;  // named in the metadata of text, ntext and image columns
};

// One value as it comes out of storage (mirrors SQLite's storage classes).
struct Cell {
  enum class Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;

  static Cell FromStatement(sqlite3_stmt* stmt, int index);
  static Cell Int(int64_t v) { Cell c; c.kind = Kind::Integer; c.integer = v; return c; }
  static Cell Text(const std::string& s) {
    Cell c;
    c.kind = Kind::Text;
    c.data = reinterpret_cast<const uint8_t*>(s.data());
    c.size = s.size();
    return c;
  }
};

void WriteColumnMetadata(ReplyWriter& w, const std::vector<ResultColumn>& columns);
void WriteColumnValue(ReplyWriter& w, const ResultColumn& column, const Cell& cell);
// RETURNVALUE: an output parameter's name, type and value, after an RPC's RETURNSTATUS.
void WriteReturnValue(ReplyWriter& w, uint16_t ordinal, std::string_view name, const ResultColumn& column, const Cell& cell);

}  // namespace standin
