// SQLTables: the user tables of the file, for clients that list them (isql's "help").
#include "odbc_guard.h"
#include "odbc_handles.h"
#include "sql_tokenizer.h"

using namespace mdb;

namespace {

// SQL LIKE with % and _, without regard to case; an empty pattern matches all.
bool Matches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return true;
  if (pattern.front() == '%') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (Matches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (pattern.front() != '_' && !EqualsIgnoreCase(pattern.substr(0, 1), name.substr(0, 1))) return false;
  return pattern.size() == 1 ? name.size() == 1 : Matches(pattern.substr(1), name.substr(1));
}

jet::ColumnDef TextColumn(const char* name) {
  jet::ColumnDef column;
  column.name = name;
  column.type = jet::ColumnType::Text;
  column.length = 128;
  return column;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLTables(SQLHSTMT handle, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* table,
                            SQLSMALLINT tableLength, SQLCHAR* type, SQLSMALLINT typeLength) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    statement->prepared.reset();
    statement->CloseCursor();
    std::string pattern = ArgumentText(table, tableLength);
    std::string types = ArgumentText(type, typeLength);
    bool wantTables = types.empty() || types == "%" || types.find("TABLE") != std::string::npos;
    ResultSet result;
    for (const char* name : {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"})
      result.columns.push_back(TextColumn(name));
    if (wantTables) {
      ConnectionHandle& connection = *statement->connection;
      auto lock = connection.lease.Lock();
      for (const std::string& name : connection.lease.database().TableNames()) {
        if (Matches(pattern, name))
          result.rows.push_back({jet::Null{}, jet::Null{}, name, std::string("TABLE"), jet::Null{}});
      }
    }
    statement->result = std::move(result);
    statement->rowCount = -1;
    return SQL_SUCCESS;
  });
}

}  // extern "C"
