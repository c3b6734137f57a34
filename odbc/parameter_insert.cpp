#include "parameter_insert.h"

namespace talvoro::odbc {

ParameterArrayInsert::ParameterArrayInsert(Database& db, const std::string& sql) {
  Check(SQLAllocHandle(SQL_HANDLE_STMT, db.handle(), &stmt_), SQL_HANDLE_DBC, db.handle(),
        "cannot allocate a statement");
  SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(db.query_timeout())), 0);
  std::string text = sql;
  Check(SQLPrepare(stmt_, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size())),
        SQL_HANDLE_STMT, stmt_, "statement refused");
  Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0),
        SQL_HANDLE_STMT, stmt_, "arrays of parameters are not supported");
  Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed_, 0), SQL_HANDLE_STMT, stmt_,
        "arrays of parameters are not supported");
}

ParameterArrayInsert::~ParameterArrayInsert() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void ParameterArrayInsert::Bind(SQLUSMALLINT number, SQLSMALLINT cType, SQLSMALLINT sqlType, void* values,
                                SQLLEN elementSize, SQLLEN* lengths) {
  Check(SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, cType, sqlType, 0, 0, values, elementSize, lengths),
        SQL_HANDLE_STMT, stmt_, "cannot bind a parameter");
}

void ParameterArrayInsert::Execute(std::size_t rows) {
  if (rows == 0) return;
  if (status_.size() < rows) {
    status_.resize(rows);
    Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status_.data(), 0), SQL_HANDLE_STMT, stmt_,
          "arrays of parameters are not supported");
  }
  Check(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows)), 0),
        SQL_HANDLE_STMT, stmt_, "arrays of parameters are not supported");
  processed_ = 0;
  const SQLRETURN rc = SQLExecute(stmt_);
  if (Succeeded(rc)) return;
  auto records = ReadDiagnostics(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  // The first row not inserted is the refused one; without a row in error the
  // call failed as a whole.
  for (std::size_t row = 0; row < rows && row < processed_; ++row) {
    if (status_[row] == SQL_PARAM_ERROR) throw RowRefused(row, std::move(records));
  }
  throw DBException("statement refused", std::move(records));
}

}  // namespace talvoro::odbc
