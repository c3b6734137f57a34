#include "odbc_client.h"

#include <cstring>
#include <stdexcept>

namespace standin_test {

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
  }
  return out;
}

std::string DescribeDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string s;
  for (const auto& d : Diagnostics(type, handle))
    s += "[" + d.state + "/" + std::to_string(d.native) + "] " + d.text + "\n";
  return s;
}

OdbcConnection::OdbcConnection(SQLINTEGER odbcVersion) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(odbcVersion)), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLRETURN OdbcConnection::Connect(const std::string& connectString) {
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connectString.c_str(), SQL_NTS, out, sizeof out,
                                        &outLength, SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(rc);
  return rc;
}

OdbcStatement::OdbcStatement(const OdbcConnection& connection) {
  SQLAllocHandle(SQL_HANDLE_STMT, connection.dbc(), &stmt_);
}

OdbcStatement::~OdbcStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

SQLRETURN OdbcStatement::Execute(const std::string& sql) {
  SQLFreeStmt(stmt_, SQL_CLOSE);
  return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
}

void OdbcStatement::Run(const std::string& sql) {
  SQLRETURN rc = Execute(sql);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw std::runtime_error(sql.substr(0, 200) + "\n" + Diagnostics());
  do {
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
    }
    rc = SQLMoreResults(stmt_);
    if (rc == SQL_ERROR) throw std::runtime_error(sql.substr(0, 200) + "\n" + Diagnostics());
  } while (SQL_SUCCEEDED(rc));
  SQLFreeStmt(stmt_, SQL_CLOSE);
}

bool OdbcStatement::Fetch() {
  const SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  if (!SQL_SUCCEEDED(rc)) throw std::runtime_error("SQLFetch failed\n" + Diagnostics());
  return true;
}

std::optional<std::string> OdbcStatement::Text(SQLUSMALLINT column) {
  std::string value;
  char buf[4096];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buf, sizeof buf, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) throw std::runtime_error("SQLGetData failed\n" + Diagnostics());
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    // A truncated chunk holds as many characters as the driver chose to write.
    const size_t got = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buf)
                           ? strnlen(buf, sizeof buf - 1)
                           : static_cast<size_t>(indicator);
    value.append(buf, got);
    if (rc == SQL_SUCCESS) break;
  }
  return value;
}

std::vector<std::string> OdbcStatement::ColumnNames() {
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt_, &count);
  std::vector<std::string> names;
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(stmt_, i, name, sizeof name, &length, &type, &size, &digits, &nullable);
    names.emplace_back(reinterpret_cast<char*>(name));
  }
  return names;
}

std::vector<std::string> BatchErrors(const OdbcConnection& connection, const std::string& sql) {
  OdbcStatement s(connection);
  std::vector<std::string> errors;
  SQLRETURN rc = s.Execute(sql);
  for (;;) {
    if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO)
      for (const auto& d : s.DiagnosticRecords())
        if (d.native > 0 && d.native != 5701 && d.native != 5703)
          errors.push_back(std::to_string(d.native) + ": " + d.text.substr(d.text.rfind(']') + 1));
    if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
    rc = SQLMoreResults(s.get());
  }
  return errors;
}

std::string QueryRows(const OdbcConnection& connection, const std::string& sql) {
  OdbcStatement s(connection);
  if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(s.Diagnostics());
  SQLSMALLINT columns = 0;
  SQLNumResultCols(s.get(), &columns);
  std::string out;
  while (s.Fetch()) {
    if (!out.empty()) out += ';';
    for (SQLUSMALLINT c = 1; c <= columns; ++c) out += (c > 1 ? "|" : "") + s.Text(c).value_or("NULL");
  }
  return out;
}

}  // namespace standin_test
