#include "bound_rows.h"

#include <stdexcept>

namespace talvoro::odbc {

BoundRows::BoundRows(Recordset& source, std::vector<BoundColumnType> types, std::size_t rows)
    : source_(source), rows_(rows == 0 ? 1 : rows), status_(rows_) {
  const SQLHSTMT stmt = source_.handle();
  columns_.resize(types.size());
  Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
        SQL_HANDLE_STMT, stmt, "cannot bind the result by column");
  for (std::size_t j = 0; j < types.size(); ++j) {
    Column& c = columns_[j];
    c.type = types[j];
    if (c.type.width <= c.type.terminator) throw std::logic_error("bound column without room");
    c.values.resize(c.type.width * rows_);
    c.lengths.resize(rows_);
    Check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(j + 1), c.type.cType, c.values.data(),
                     static_cast<SQLLEN>(c.type.width), c.lengths.data()),
          SQL_HANDLE_STMT, stmt, "cannot bind a result column");
  }
  Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status_.data(), 0), SQL_HANDLE_STMT, stmt,
        "cannot set the row status array");
  Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), SQL_HANDLE_STMT, stmt,
        "cannot set the fetched-rows counter");
  Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows_), 0),
        SQL_HANDLE_STMT, stmt, "cannot set the rows per fetch");
}

BoundRows::~BoundRows() {
  const SQLHSTMT stmt = source_.handle();
  if (stmt == SQL_NULL_HSTMT) return;
  SQLFreeStmt(stmt, SQL_UNBIND);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

void BoundRows::ThrowFetchError(const std::string& what) {
  failed_ = true;
  throw DBException(what, std::move(pendingFailure_));
}

// A value the driver had to cut (or could not size) is never handed out.
bool BoundRows::ValueFits(std::size_t row) const {
  for (const Column& c : columns_) {
    const SQLLEN length = c.lengths[row];
    if (length == SQL_NULL_DATA) continue;
    if (length == SQL_NO_TOTAL || length < 0 ||
        static_cast<std::size_t>(length) > c.type.width - c.type.terminator)
      return false;
  }
  return true;
}

std::size_t BoundRows::Fetch() {
  if (failed_) ThrowFetchError(pendingWhat_);
  const SQLHSTMT stmt = source_.handle();
  fetched_ = 0;
  const SQLRETURN rc = SQLFetch(stmt);
  if (rc == SQL_NO_DATA) return 0;
  const bool ok = Succeeded(rc);
  if (!ok || rc == SQL_SUCCESS_WITH_INFO) pendingFailure_ = ReadDiagnostics(SQL_HANDLE_STMT, stmt);
  const std::size_t fetched = std::min<std::size_t>(fetched_, rows_);
  std::size_t good = 0;
  while (good < fetched &&
         (status_[good] == SQL_ROW_SUCCESS || status_[good] == SQL_ROW_SUCCESS_WITH_INFO) && ValueFits(good))
    ++good;
  if (ok && good == fetched) {
    pendingFailure_.clear();
    return good;
  }
  // The rows before the first bad one are handed out; the failure follows.
  if (good < fetched && ok && status_[good] != SQL_ROW_ERROR) {
    pendingFailure_.insert(pendingFailure_.begin(),
                           DiagnosticRecord{"01004", 0, "a value is longer than its column's declared size"});
  }
  pendingWhat_ = ok ? "cannot read the next row" : "cannot fetch the next row";
  failed_ = true;
  if (good > 0) return good;
  ThrowFetchError(pendingWhat_);
}

}  // namespace talvoro::odbc
