// One ODBC connection with one statement, for the benchmarks that talk to the
// stand-in through FreeTDS: connect, run a batch, read a scalar.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>

namespace bench {

class Connection {
 public:
  explicit Connection(const std::string& connectString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connectString.c_str(), SQL_NTS, out, sizeof out,
                                        &outLength, SQL_DRIVER_NOPROMPT)))
      throw std::runtime_error("cannot connect: " + Diagnostic(SQL_HANDLE_DBC, dbc_));
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
  }
  ~Connection() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLHSTMT stmt() const { return stmt_; }

  // The first column of the first row, as text.
  std::string Scalar(const std::string& sql) {
    Run(sql, true);
    return last_;
  }
  void Run(const std::string& sql, bool fetch = false) {
    SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw std::runtime_error(Diagnostic(SQL_HANDLE_STMT, stmt_));
    if (fetch && SQL_SUCCEEDED(SQLFetch(stmt_))) {
      char text[64] = {};
      SQLLEN indicator = 0;
      SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &indicator);
      last_ = text;
    }
    while (SQL_SUCCEEDED(SQLMoreResults(stmt_))) {
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  static std::string Diagnostic(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &length);
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::string last_;
};

}  // namespace bench
