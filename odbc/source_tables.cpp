#include "source_tables.h"

namespace talvoro::odbc {

SourceTableList ListSourceTables(const SourceLogon& logon) {
  SourceTableList list;
  try {
    Database db;
    OpenSourceDatabase(db, logon);
    Recordset tables(db);
    tables.OpenWith("SQLTables", [](SQLHSTMT stmt) {
      return SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    });
    std::string schema, name, type;
    while (tables.Fetch()) {
      // Columns in increasing order: TABLE_SCHEM (2), TABLE_NAME (3), TABLE_TYPE (4).
      if (!tables.GetText(1, schema)) schema.clear();
      const bool hasName = tables.GetText(2, name);
      if (tables.GetText(3, type) && type == "TABLE" && hasName) {
        list.tables.push_back({schema, name});
        list.names.push_back(list.tables.back().Display());
      }
    }
  } catch (const DBException& e) {
    list.error = e.what();
  }
  return list;
}

const SourceTable* SourceTableList::Find(const std::string& display) const {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == display) return &tables[i];
  return nullptr;
}

}  // namespace talvoro::odbc
