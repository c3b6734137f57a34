// Thin RAII wrappers over SQLite connections and prepared statements.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace standin {

struct SqliteError : std::runtime_error {
  SqliteError(int code, const std::string& message) : std::runtime_error(message), code(code) {}
  int code;
};

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement() { sqlite3_finalize(stmt_); }
  SqliteStatement(SqliteStatement&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
  SqliteStatement& operator=(SqliteStatement&& o) noexcept {
    std::swap(stmt_, o.stmt_);
    return *this;
  }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  sqlite3_stmt* get() const { return stmt_; }
  // Steps once; true when a row is ready. Throws SqliteError on failure.
  bool Step();
  void Reset() { sqlite3_reset(stmt_); sqlite3_clear_bindings(stmt_); }
  void Bind(int index, int64_t v) { sqlite3_bind_int64(stmt_, index, v); }
  void Bind(int index, const std::string& v) {
    sqlite3_bind_text(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void BindNull(int index) { sqlite3_bind_null(stmt_, index); }
  int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  std::string Text(int col) const;
  bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs statements without results; throws SqliteError.
void SqliteExec(sqlite3* db, const std::string& sql);
// Quotes a name for SQLite ("name" with doubled quotes).
std::string SqliteQuote(std::string_view name);

}  // namespace standin
