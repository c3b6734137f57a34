// Diagnostic records of one handle, as SQLGetDiagRec / SQLGetDiagField report them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace mdb {

// Every message the driver writes starts with this, as ODBC drivers name themselves.
inline constexpr const char* kMessagePrefix = "[Talvoro][Jet 4 driver]";

// A message with every quoted name or text cut to its first 64 characters ("...")
// and the whole kept to a few KB: a client must be able to read it, whatever the
// statement named.
std::string ShortenQuoted(std::string_view message);

struct DiagnosticRecord {
  std::string sqlstate;
  SQLINTEGER native = 0;
  std::string message;  // with kMessagePrefix
  // The row of parameters it concerns (from 1), for arrays of parameters.
  SQLLEN rowNumber = SQL_NO_ROW_NUMBER;
};

class Diagnostics {
 public:
  void Clear() {
    records_.clear();
    returnCode_ = SQL_SUCCESS;
  }
  // Adds a record and returns `code` (SQL_ERROR or SQL_SUCCESS_WITH_INFO).
  SQLRETURN Add(SQLRETURN code, const std::string& sqlstate, const std::string& message,
                SQLINTEGER native = 0);
  SQLRETURN Error(const std::string& sqlstate, const std::string& message, SQLINTEGER native = 0) {
    return Add(SQL_ERROR, sqlstate, message, native);
  }
  SQLRETURN Warning(const std::string& sqlstate, const std::string& message) {
    return Add(SQL_SUCCESS_WITH_INFO, sqlstate, message);
  }
  // An error of the `rowNumber`-th row of parameters (from 1).
  SQLRETURN RowError(SQLLEN rowNumber, const std::string& sqlstate, const std::string& message) {
    SQLRETURN rc = Add(SQL_ERROR, sqlstate, message);
    records_.back().rowNumber = rowNumber;
    return rc;
  }

  const std::vector<DiagnosticRecord>& records() const { return records_; }
  void PopFront() {
    if (!records_.empty()) records_.erase(records_.begin());
  }
  SQLRETURN returnCode() const { return returnCode_; }

 private:
  std::vector<DiagnosticRecord> records_;
  SQLRETURN returnCode_ = SQL_SUCCESS;
};

// Copies text into an ODBC output buffer: NUL-terminated, truncated to fit; stores
// the full length in *length. Returns false when it had to truncate.
bool CopyOutString(const std::string& text, SQLCHAR* buffer, SQLLEN bufferLength, SQLLEN* length);
bool CopyOutString(const std::string& text, SQLPOINTER buffer, SQLSMALLINT bufferLength,
                   SQLSMALLINT* length);
bool CopyOutString(const std::string& text, SQLPOINTER buffer, SQLINTEGER bufferLength,
                   SQLINTEGER* length);

}  // namespace mdb
