// A small ODBC client for the stand-in tests: handles freed in order, the
// first diagnostic of a failure kept for the assertions.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

namespace standin_test {

struct Diagnostic {
  std::string state;
  SQLINTEGER native = 0;
  std::string text;
};

// All diagnostic records of a handle, joined for messages.
std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle);
std::string DescribeDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

class OdbcConnection {
 public:
  explicit OdbcConnection(SQLINTEGER odbcVersion = SQL_OV_ODBC3);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // SQLDriverConnect; returns the ODBC result.
  SQLRETURN Connect(const std::string& connectString);
  bool connected() const { return connected_; }
  SQLHDBC dbc() const { return dbc_; }
  std::vector<Diagnostic> diagnostics() const { return Diagnostics(SQL_HANDLE_DBC, dbc_); }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

class OdbcStatement {
 public:
  explicit OdbcStatement(const OdbcConnection& connection);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  SQLHSTMT get() const { return stmt_; }
  SQLRETURN Execute(const std::string& sql);
  // Executes and reads every result to its end; throws with diagnostics on failure.
  void Run(const std::string& sql);
  bool Fetch();
  void Close() { SQLFreeStmt(stmt_, SQL_CLOSE); }
  // Column value as text (SQL_C_CHAR, read whole in chunks); nullopt for NULL.
  std::optional<std::string> Text(SQLUSMALLINT column);
  std::string Diagnostics() const { return DescribeDiagnostics(SQL_HANDLE_STMT, stmt_); }
  std::vector<Diagnostic> DiagnosticRecords() const { return standin_test::Diagnostics(SQL_HANDLE_STMT, stmt_); }
  // Result column names.
  std::vector<std::string> ColumnNames();

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// Runs a batch to its end; "native: text" of every error it reported (the
// database and language change messages 5701/5703 left out).
std::vector<std::string> BatchErrors(const OdbcConnection& connection, const std::string& sql);
// Every row of a query, fields joined by '|', rows by ';' (NULL as "NULL");
// throws with the diagnostics when the query fails.
std::string QueryRows(const OdbcConnection& connection, const std::string& sql);

}  // namespace standin_test
