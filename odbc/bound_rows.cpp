#include "bound_rows.h"

#include <stdexcept>

namespace talvoro::odbc {

BoundRows::BoundRows(Recordset& source, std::vector<BoundColumnType> types, std::size_t rows)
    : source_(source), types_(std::move(types)), rows_(rows == 0 ? 1 : rows), bound_(types_.size()),
      status_(rows_) {
  const SQLHSTMT stmt = source_.handle();
  for (const BoundColumnType& type : types_)
    if (type.width <= type.terminator) throw std::logic_error("bound column without room");
  Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
        SQL_HANDLE_STMT, stmt, "cannot bind the result by column");
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
bool BoundRows::ValueFits(const std::vector<FetchTarget>& into, std::size_t row) const {
  for (std::size_t j = 0; j < types_.size(); ++j) {
    const SQLLEN length = into[j].lengths[row];
    if (length == SQL_NULL_DATA) continue;
    if (length == SQL_NO_TOTAL || length < 0 ||
        static_cast<std::size_t>(length) > types_[j].width - types_[j].terminator)
      return false;
  }
  return true;
}

std::size_t BoundRows::Fetch(const std::vector<FetchTarget>& into) {
  if (failed_) ThrowFetchError(pendingWhat_);
  if (into.size() != types_.size()) throw std::logic_error("a fetch target per bound column");
  const SQLHSTMT stmt = source_.handle();
  for (std::size_t j = 0; j < types_.size(); ++j) {
    if (into[j].values == bound_[j].values && into[j].lengths == bound_[j].lengths) continue;
    Check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(j + 1), types_[j].cType, into[j].values,
                     static_cast<SQLLEN>(types_[j].width), into[j].lengths),
          SQL_HANDLE_STMT, stmt, "cannot bind a result column");
    bound_[j] = into[j];
  }
  fetched_ = 0;
  const SQLRETURN rc = SQLFetch(stmt);
  if (rc == SQL_NO_DATA) return 0;
  const bool ok = Succeeded(rc);
  if (!ok || rc == SQL_SUCCESS_WITH_INFO) pendingFailure_ = ReadDiagnostics(SQL_HANDLE_STMT, stmt);
  const std::size_t fetched = std::min<std::size_t>(fetched_, rows_);
  std::size_t good = 0;
  while (good < fetched &&
         (status_[good] == SQL_ROW_SUCCESS || status_[good] == SQL_ROW_SUCCESS_WITH_INFO) &&
         ValueFits(into, good))
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
