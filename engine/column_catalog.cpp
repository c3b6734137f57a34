#include "column_catalog.h"

#include <algorithm>
#include <charconv>

#include "sql_names.h"

namespace talvoro::engine {
namespace {

template <typename Int>
Int ReadNumber(odbc::Recordset& rs, int column, std::string& scratch) {
  Int value = 0;
  if (rs.GetText(column, scratch)) {
    std::from_chars(scratch.data(), scratch.data() + scratch.size(), value);
  }
  return value;
}

std::string ReadText(odbc::Recordset& rs, int column) {
  std::string text;
  rs.GetText(column, text);
  return text;
}

SQLCHAR* Text(const std::string& s) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

// The owner argument of a catalog call; a null pointer (any owner) without a schema.
SQLCHAR* Owner(const odbc::SourceTable& table) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.CatalogOwner()));
}

}  // namespace

ColumnCatalog::ColumnCatalog(odbc::SourceLogon logon) : logon_(std::move(logon)) {}

ColumnCatalog::~ColumnCatalog() { CloseColumnCatalog(); }

void ColumnCatalog::OpenColumnCatalog(const odbc::SourceTable& table) {
  CloseColumnCatalog();
  table_ = table;
  schema_ = table.schema;
  schemaKnown_ = !table.schema.empty();
  db_ = std::make_unique<odbc::Database>();
  odbc::OpenSourceDatabase(*db_, logon_);

  // The key first, on the same connection, before the column scan occupies it.
  // A key that cannot be read leaves the table without one, as a table without
  // a key is converted; the columns and rows still come across.
  try {
    ReadKeyColumns();
  } catch (const odbc::DBException&) {
    keyColumns_.clear();
    keyName_.clear();
  }
  StartScan(true);
}

void ColumnCatalog::ReadKeyColumns() {
  odbc::Recordset keys(*db_);
  keys.OpenWith("SQLPrimaryKeys for " + table_.Display(), [this](SQLHSTMT stmt) {
    return SQLPrimaryKeys(stmt, nullptr, 0, Owner(table_), SQL_NTS, Text(table_.name), SQL_NTS);
  });
  std::string keyTable, keySchema, firstSchema, column, scratch, keyName;
  bool firstSeen = false;
  std::vector<std::pair<int, std::string>> byKeySeq;
  while (keys.Fetch()) {
    keys.GetText(1, keySchema);
    keys.GetText(2, keyTable);
    keys.GetText(3, column);
    const int keySeq = ReadNumber<int>(keys, 4, scratch);
    keys.GetText(5, keyName);
    if (keyTable != table_.name || (!table_.schema.empty() && keySchema != table_.schema)) continue;
    if (!firstSeen) {
      firstSchema = keySchema;
      firstSeen = true;
      keyName_ = keyName;
    }
    if (keySchema == firstSchema) byKeySeq.emplace_back(keySeq, column);
  }
  keys.Close();
  std::stable_sort(byKeySeq.begin(), byKeySeq.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : byKeySeq) keyColumns_.push_back(std::move(entry.second));
}

void ColumnCatalog::StartScan(bool restricted) {
  restricted_ = restricted;
  scan_ = std::make_unique<odbc::Recordset>(*db_);
  scan_->OpenWith("SQLColumns for " + table_.Display(), [this, restricted](SQLHSTMT stmt) {
    // The names are search patterns here; the exact comparison in
    // FetchTableColumn drops whatever else they match.
    return restricted ? SQLColumns(stmt, nullptr, 0, Owner(table_), SQL_NTS, Text(table_.name), SQL_NTS,
                                   nullptr, 0)
                      : SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
  });
}

bool ColumnCatalog::FetchTableColumn(ColumnInfo& c) {
  if (!scan_) return false;
  std::string scratch;
  for (;;) {
    if (!scan_->Fetch()) {
      // A restricted scan that found nothing may have met a driver that treats
      // the name differently as a pattern: look at the whole catalog once.
      if (restricted_ && delivered_ == 0) {
        StartScan(false);
        continue;
      }
      scan_.reset();
      return false;
    }
    // Columns are read in increasing order, as SQLGetData requires.
    c.tableCat = ReadText(*scan_, 0);
    c.tableSchem = ReadText(*scan_, 1);
    c.tableName = ReadText(*scan_, 2);
    if (c.tableName != table_.name) continue;
    if (!schemaKnown_) {
      schema_ = c.tableSchem;
      schemaKnown_ = true;
    } else if (c.tableSchem != schema_) {
      continue;
    }
    c.columnName = ReadText(*scan_, 3);
    c.dataType = ReadNumber<SQLSMALLINT>(*scan_, 4, scratch);
    c.typeName = ReadText(*scan_, 5);
    c.columnSize = ReadNumber<SQLINTEGER>(*scan_, 6, scratch);
    c.bufferLength = ReadNumber<SQLINTEGER>(*scan_, 7, scratch);
    c.decimalDigits = ReadNumber<SQLSMALLINT>(*scan_, 8, scratch);
    c.numPrecRadix = ReadNumber<SQLSMALLINT>(*scan_, 9, scratch);
    c.nullable = ReadNumber<SQLSMALLINT>(*scan_, 10, scratch);
    c.remarks = ReadText(*scan_, 11);
    c.columnDef = ReadText(*scan_, 12);
    c.sqlDataType = ReadNumber<SQLSMALLINT>(*scan_, 13, scratch);
    c.sqlDatetimeSub = ReadNumber<SQLSMALLINT>(*scan_, 14, scratch);
    c.charOctetLength = ReadNumber<SQLINTEGER>(*scan_, 15, scratch);
    c.ordinalPosition = ReadNumber<SQLINTEGER>(*scan_, 16, scratch);
    c.isNullable = ReadText(*scan_, 17);
    ++delivered_;
    return true;
  }
}

SourceTableSchema ColumnCatalog::ReadTableSchema() {
  scan_.reset();
  if (!db_) return {};
  return ReadSourceTableSchema(*db_, table_.name, schemaKnown_ ? schema_ : std::string());
}

std::vector<SourceIndex> ColumnCatalog::ReadTableIndexes() {
  if (!db_) return {};
  return ReadSourceIndexes(*db_, table_.name, schemaKnown_ ? schema_ : std::string());
}

void ColumnCatalog::CloseColumnCatalog() {
  scan_.reset();
  db_.reset();
  keyColumns_.clear();
  keyName_.clear();
  schema_.clear();
  schemaKnown_ = false;
  delivered_ = 0;
}

SourceRows::SourceRows(odbc::SourceLogon logon) : logon_(std::move(logon)) {}

short SourceRows::OpenSourceRows(const odbc::SourceTable& table, const std::vector<std::string>& columns) {
  Close();
  odbc::OpenSourceDatabase(db_, logon_);
  rows_ = std::make_unique<odbc::Recordset>(db_);
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + QuoteSourceName(columns[i]);
  rows_->Open(sql + " FROM " + table.QuotedSql());
  return rows_->GetODBCFieldCount();
}

void SourceRows::Close() {
  rows_.reset();
  db_.Close();
}

}  // namespace talvoro::engine
