#include "odbc_batch_runner.h"

#include <sqlext.h>

namespace sales_demo {

std::string DiagnosticText(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message,
                                       sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    if (!text.empty()) text += "; ";
    text += "[" + std::string(reinterpret_cast<char*>(state)) + "] (" + std::to_string(native) +
            ") " + reinterpret_cast<char*>(message);
  }
  return text.empty() ? "no diagnostic" : text;
}

namespace {

class Statement {
 public:
  explicit Statement(SQLHDBC connection) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
      throw std::runtime_error("cannot allocate a statement: " + DiagnosticText(SQL_HANDLE_DBC, connection));
    }
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return handle_; }

 private:
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

void RunBatch(SQLHDBC connection, const SqlBatch& batch) {
  Statement statement(connection);
  auto text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(batch.text.data()));
  SQLRETURN rc = SQLExecDirect(statement.get(), text, static_cast<SQLINTEGER>(batch.text.size()));
  // Every statement of the batch has its own result; an error in a later one
  // surfaces only when its result is reached, so all of them are read.
  while (rc != SQL_NO_DATA) {
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
      throw ScriptError(batch.firstLine, DiagnosticText(SQL_HANDLE_STMT, statement.get()));
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(statement.get(), &columns);
    if (columns > 0) {
      while ((rc = SQLFetch(statement.get())) != SQL_NO_DATA) {
        if (rc == SQL_ERROR) throw ScriptError(batch.firstLine, DiagnosticText(SQL_HANDLE_STMT, statement.get()));
      }
    }
    rc = SQLMoreResults(statement.get());
  }
}

}  // namespace

void RunSqlBatches(SQLHDBC connection, const std::vector<SqlBatch>& batches,
                   const BatchProgress& progress, const IgnoredError& ignored) {
  for (size_t i = 0; i < batches.size(); ++i) {
    for (int n = 0; n < batches[i].repeat; ++n) {
      try {
        RunBatch(connection, batches[i]);
      } catch (const ScriptError& e) {
        if (batches[i].stopOnError) throw;
        if (ignored) ignored(e);
      }
    }
    if (progress) progress(i + 1, batches.size());
  }
}

}  // namespace sales_demo
