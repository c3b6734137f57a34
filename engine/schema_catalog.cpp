#include "schema_catalog.h"

#include <algorithm>
#include <charconv>

namespace talvoro::engine {
namespace {

SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
// The owner argument of a catalog call: null (any owner) without a schema.
SQLCHAR* Owner(const std::string& schema) { return schema.empty() ? nullptr : Text(schema); }

int ReadInt(odbc::Recordset& rs, int column, std::string& scratch, int fallback) {
  int value = fallback;
  if (rs.GetText(column, scratch)) std::from_chars(scratch.data(), scratch.data() + scratch.size(), value);
  return value;
}

// Only the rows of the table itself, in one schema.
class SchemaFilter {
 public:
  explicit SchemaFilter(const std::string& schema) : schema_(schema), known_(!schema.empty()) {}
  bool Accept(const std::string& schema) {
    if (!known_) {
      schema_ = schema;
      known_ = true;
    }
    return schema == schema_;
  }

 private:
  std::string schema_;
  bool known_;
};

std::vector<SourceIndex> ReadIndexes(odbc::Database& db, const std::string& table, const std::string& schema) {
  odbc::Recordset rs(db);
  rs.OpenWith("SQLStatistics for " + table, [&](SQLHSTMT stmt) {
    return SQLStatistics(stmt, nullptr, 0, Owner(schema), SQL_NTS, Text(table), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
  });
  struct Row {
    int ordinal;
    SourceIndexColumn column;
  };
  std::vector<std::pair<SourceIndex, std::vector<Row>>> found;
  SchemaFilter filter(schema);
  std::string rowSchema, rowTable, scratch, indexName, columnName, order;
  while (rs.Fetch()) {
    rs.GetText(1, rowSchema);
    rs.GetText(2, rowTable);
    const int nonUnique = ReadInt(rs, 3, scratch, 1);
    const bool named = rs.GetText(5, indexName);
    const int type = ReadInt(rs, 6, scratch, SQL_TABLE_STAT);
    const int ordinal = ReadInt(rs, 7, scratch, 0);
    rs.GetText(8, columnName);
    const bool hasOrder = rs.GetText(9, order);
    if (type == SQL_TABLE_STAT || !named || rowTable != table || !filter.Accept(rowSchema)) continue;
    auto it = std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.first.name == indexName; });
    if (it == found.end()) {
      SourceIndex index;
      index.name = indexName;
      index.unique = nonUnique == 0;
      found.emplace_back(std::move(index), std::vector<Row>{});
      it = found.end() - 1;
    }
    it->second.push_back({ordinal, {columnName, !(hasOrder && (order == "D" || order == "d"))}});
  }
  std::vector<SourceIndex> indexes;
  for (auto& [index, rows] : found) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.ordinal < b.ordinal; });
    for (auto& row : rows) index.columns.push_back(std::move(row.column));
    indexes.push_back(std::move(index));
  }
  return indexes;
}

std::vector<SourceForeignKey> ReadForeignKeys(odbc::Database& db, const std::string& table,
                                              const std::string& schema) {
  odbc::Recordset rs(db);
  rs.OpenWith("SQLForeignKeys for " + table, [&](SQLHSTMT stmt) {
    return SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, Owner(schema), SQL_NTS, Text(table),
                          SQL_NTS);
  });
  struct Pair {
    int keySeq;
    std::string column, referenced;
  };
  std::vector<std::pair<SourceForeignKey, std::vector<Pair>>> found;
  SchemaFilter filter(schema);
  std::string pkSchema, pkName, pkTable, pkColumn, fkSchema, fkTable, fkColumn, fkName, scratch;
  while (rs.Fetch()) {
    if (!rs.GetText(1, pkSchema)) pkSchema.clear();
    rs.GetText(2, pkName);
    // The referenced table as the table list shows it ("Schema.Table"; a dbo table bare).
    pkTable = odbc::SourceTable{pkSchema, pkName}.Display();
    rs.GetText(3, pkColumn);
    rs.GetText(5, fkSchema);
    rs.GetText(6, fkTable);
    rs.GetText(7, fkColumn);
    const int keySeq = ReadInt(rs, 8, scratch, 0);
    const int updateRule = ReadInt(rs, 9, scratch, SQL_NO_ACTION);
    const int deleteRule = ReadInt(rs, 10, scratch, SQL_NO_ACTION);
    rs.GetText(11, fkName);
    if (fkTable != table || !filter.Accept(fkSchema)) continue;
    auto it = std::find_if(found.begin(), found.end(), [&](const auto& f) {
      return f.first.name == fkName && f.first.referencedTable == pkTable;
    });
    if (it == found.end()) {
      SourceForeignKey key;
      key.name = fkName;
      key.table = fkTable;
      key.referencedTable = pkTable;
      key.referencedSource = {pkSchema, pkName};
      key.updateRule = updateRule;
      key.deleteRule = deleteRule;
      found.emplace_back(std::move(key), std::vector<Pair>{});
      it = found.end() - 1;
    }
    it->second.push_back({keySeq, fkColumn, pkColumn});
  }
  std::vector<SourceForeignKey> keys;
  for (auto& [key, pairs] : found) {
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.keySeq < b.keySeq; });
    for (auto& p : pairs) {
      key.columns.push_back(std::move(p.column));
      key.referencedColumns.push_back(std::move(p.referenced));
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

std::string UnicodeLiteral(const std::string& text) {
  std::string out = "N'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

std::vector<SourceCheck> ReadChecks(odbc::Database& db, const std::string& table, const std::string& schema) {
  std::vector<SourceCheck> checks;
  const std::string from = " FROM sys.check_constraints c JOIN sys.tables t ON t.object_id = "
                           "c.parent_object_id WHERE t.name = " + UnicodeLiteral(table) +
                           (schema.empty() ? std::string() : " AND SCHEMA_NAME(t.schema_id) = " + UnicodeLiteral(schema));
  // is_not_trusted where the server has it; every constraint trusted otherwise.
  for (const bool withTrust : {true, false}) {
    checks.clear();
    try {
      odbc::Recordset rs(db);
      rs.Open(std::string("SELECT c.name, c.definition") + (withTrust ? ", c.is_not_trusted" : "") + from);
      SourceCheck check;
      while (rs.Fetch()) {
        rs.GetText(0, check.name);
        // NULL for a login without VIEW DEFINITION: nothing to carry (the run notes it once).
        if (!rs.GetText(1, check.definition)) continue;
        std::int64_t notTrusted = 0;
        check.trusted = !withTrust || !rs.GetInt64(2, notTrusted) || notTrusted == 0;
        checks.push_back(check);
      }
      return checks;
    } catch (const odbc::DBException&) {
      // A server without these views or that column: try without it, then list nothing.
    }
  }
  checks.clear();
  return checks;
}

// Runs a catalog-view query and hands each row to `row`; false when the server
// has no such view or column (not SQL Server, or an older one) or refuses it.
template <typename RowReader>
bool ReadCatalogView(odbc::Database& db, const std::string& sql, RowReader row) {
  try {
    odbc::Recordset rs(db);
    rs.Open(sql);
    while (rs.Fetch()) row(rs);
    return true;
  } catch (const odbc::DBException&) {
    return false;
  }
}

// The object id expression of the table, named by schema and name.
std::string ObjectIdOf(const std::string& table, const std::string& schema) {
  return "OBJECT_ID(" + UnicodeLiteral(odbc::SourceTable{schema, table}.QuotedSql()) + ")";
}

void ReadIndexFilters(odbc::Database& db, const std::string& objectId, std::vector<SourceIndex>& indexes) {
  ReadCatalogView(db, "SELECT name, filter_definition FROM sys.indexes WHERE object_id = " + objectId +
                          " AND has_filter = 1",
                  [&](odbc::Recordset& rs) {
                    std::string name, filter;
                    rs.GetText(0, name);
                    rs.GetText(1, filter);
                    for (SourceIndex& index : indexes)
                      if (index.name == name) index.filter = filter.empty() ? "(filtered)" : filter;
                  });
}

void ReadForeignKeyStates(odbc::Database& db, const std::string& objectId, std::vector<SourceForeignKey>& keys) {
  ReadCatalogView(db, "SELECT name, is_disabled, is_not_trusted FROM sys.foreign_keys WHERE parent_object_id = " +
                          objectId,
                  [&](odbc::Recordset& rs) {
                    std::string name;
                    std::int64_t disabled = 0, notTrusted = 0;
                    rs.GetText(0, name);
                    rs.GetInt64(1, disabled);
                    rs.GetInt64(2, notTrusted);
                    for (SourceForeignKey& key : keys) {
                      if (key.name != name) continue;
                      key.disabled = disabled != 0;
                      key.notTrusted = notTrusted != 0;
                    }
                  });
}

// An alias type's columns report the alias's name in SQLColumns (and, for the
// newer date and time types, a character code): only the base type says what
// the values are.
std::map<std::string, std::string> ReadAliasBaseTypes(odbc::Database& db, const std::string& objectId) {
  std::map<std::string, std::string> bases;
  ReadCatalogView(db, "SELECT c.name, b.name FROM sys.columns c JOIN sys.types t ON t.user_type_id = c.user_type_id "
                      "JOIN sys.types b ON b.user_type_id = t.system_type_id "
                      "WHERE t.is_user_defined = 1 AND c.object_id = " + objectId,
                  [&](odbc::Recordset& rs) {
                    std::string column, base;
                    rs.GetText(0, column);
                    if (rs.GetText(1, base) && !base.empty()) bases[column] = base;
                  });
  return bases;
}

}  // namespace

SourceTableSchema ReadSourceTableSchema(odbc::Database& source, const std::string& table,
                                        const std::string& schema) {
  SourceTableSchema result;
  result.foreignKeys = ReadForeignKeys(source, table, schema);
  result.checks = ReadChecks(source, table, schema);
  const std::string objectId = ObjectIdOf(table, schema);
  if (!result.foreignKeys.empty()) ReadForeignKeyStates(source, objectId, result.foreignKeys);
  result.aliasBaseTypes = ReadAliasBaseTypes(source, objectId);
  return result;
}

std::vector<SourceIndex> ReadSourceIndexes(odbc::Database& source, const std::string& table,
                                           const std::string& schema) {
  std::vector<SourceIndex> indexes = ReadIndexes(source, table, schema);
  if (!indexes.empty()) ReadIndexFilters(source, ObjectIdOf(table, schema), indexes);
  return indexes;
}

}  // namespace talvoro::engine
