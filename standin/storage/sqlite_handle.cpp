#include "storage/sqlite_handle.h"

namespace standin {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
  const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) throw SqliteError(rc, sqlite3_errmsg(db));
}

bool SqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw SqliteError(sqlite3_extended_errcode(sqlite3_db_handle(stmt_)), sqlite3_errmsg(sqlite3_db_handle(stmt_)));
}

std::string SqliteStatement::Text(int col) const {
  const auto* p = sqlite3_column_text(stmt_, col);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, col)) : std::string();
}

void SqliteExec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    throw SqliteError(sqlite3_extended_errcode(db), text);
  }
}

std::string SqliteQuote(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace standin
