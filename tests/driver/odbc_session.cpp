#include "odbc_session.h"

#include <odbcinst.h>

#include <fstream>
#include <sstream>

namespace talvoro::test {

OdbcOutcome Diagnose(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
  OdbcOutcome outcome;
  outcome.rc = rc;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR text[2048] = "";
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, i, state, &native, text, sizeof text, &length))) break;
    if (outcome.sqlstate.empty()) outcome.sqlstate = reinterpret_cast<char*>(state);
    outcome.message += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text) + "\n";
  }
  return outcome;
}

std::unique_ptr<OdbcSession> OdbcSession::Connect(const std::string& connectionString, OdbcOutcome* failure,
                                                  SQLINTEGER odbcVersion) {
  std::unique_ptr<OdbcSession> session(new OdbcSession);
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &session->env_);
  SQLSetEnvAttr(session->env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(odbcVersion)), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, session->env_, &session->dbc_);
  SQLCHAR out[2048] = "";
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(session->dbc_, nullptr,
                                  reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())), SQL_NTS,
                                  out, sizeof out, &outLength, SQL_DRIVER_COMPLETE);
  if (!SQL_SUCCEEDED(rc)) {
    if (failure) *failure = Diagnose(rc, SQL_HANDLE_DBC, session->dbc_);
    return nullptr;
  }
  session->connected_ = true;
  session->completed_ = reinterpret_cast<char*>(out);
  return session;
}

OdbcSession::~OdbcSession() {
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

OdbcOutcome OdbcSession::Execute(const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  OdbcOutcome outcome = Diagnose(rc, SQL_HANDLE_STMT, stmt);
  if (SQL_SUCCEEDED(rc)) SQLRowCount(stmt, &outcome.rowCount);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return outcome;
}

QueryResult OdbcSession::Query(const std::string& sql) {
  QueryResult result;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  result.outcome = Diagnose(rc, SQL_HANDLE_STMT, stmt);
  if (SQL_SUCCEEDED(rc)) {
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt, &count);
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
      SQLCHAR name[256] = "";
      SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(stmt, c, name, sizeof name, &nameLength, &type, &size, &digits, &nullable);
      result.columnNames.push_back(reinterpret_cast<char*>(name));
      result.columnTypes.push_back(type);
    }
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
      TextRow row;
      for (SQLUSMALLINT c = 1; c <= count; ++c) {
        std::string value;
        SQLLEN indicator = 0;
        char piece[4096];
        SQLRETURN get;
        bool isNull = false;
        // Long values arrive in pieces.
        while (SQL_SUCCEEDED(get = SQLGetData(stmt, c, SQL_C_CHAR, piece, sizeof piece, &indicator))) {
          if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
          }
          value += piece;
          if (get == SQL_SUCCESS) break;
        }
        if (get == SQL_ERROR) result.outcome = Diagnose(get, SQL_HANDLE_STMT, stmt);
        row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
      }
      result.rows.push_back(std::move(row));
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return result;
}

InstallerOutcome ConfigDataSource(unsigned short request, const std::vector<std::string>& attributes,
                                  const std::string& driver) {
  std::string list;
  for (const std::string& a : attributes) {
    list += a;
    list += '\0';
  }
  list += '\0';
  InstallerOutcome outcome;
  outcome.ok = SQLConfigDataSource(nullptr, request, driver.c_str(), list.c_str());
  DWORD code = 0;
  char message[1024] = "";
  WORD length = 0;
  if (SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_SUCCESS) {
    outcome.code = code;
    outcome.message = message;
  }
  return outcome;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace talvoro::test
