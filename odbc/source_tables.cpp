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
    std::string name, type;
    while (tables.Fetch()) {
      // Columns in increasing order: TABLE_NAME (3) before TABLE_TYPE (4).
      bool hasName = tables.GetText(2, name);
      if (tables.GetText(3, type) && type == "TABLE" && hasName) list.names.push_back(name);
    }
  } catch (const DBException& e) {
    list.error = e.what();
  }
  return list;
}

}  // namespace talvoro::odbc
