// Values an application binds to the '?' markers of an INSERT (SQLBindParameter),
// read from its buffers for one row of parameters and stored into a column.
// Every value goes through the conversion a literal of the same value gets:
// the common cases a column takes as they are (a whole number in range, a
// finite double, a valid date, bytes that fit) are stored directly, and
// everything else is written as the literal it stands for and converted by
// literal_values, so a value the column cannot hold is refused with the same
// SQLSTATE and message as in an INSERT's text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "statement_executor.h"

namespace mdb {

struct ParameterBinding {
  bool bound = false;
  SQLSMALLINT cType = 0;    // never SQL_C_DEFAULT (resolved when bound)
  SQLSMALLINT sqlType = 0;  // SQL_DECIMAL/SQL_NUMERIC text is read as a number
  SQLPOINTER buffer = nullptr;
  SQLLEN bufferLength = 0;  // the element size of character and binary arrays
  SQLLEN* indicator = nullptr;
};

// The C type a binding stands for (SQL_C_DEFAULT resolved from the SQL type), or
// 0 when the driver takes no values of that C type.
SQLSMALLINT ResolveParameterCType(SQLSMALLINT cType, SQLSMALLINT sqlType);

// The values of one row of bound parameter arrays. `bindType` is
// SQL_PARAM_BIND_BY_COLUMN or the size of one row's structure; `offset` is
// added to every buffer and indicator address (SQL_ATTR_PARAM_BIND_OFFSET_PTR).
class BoundParameterRow final : public ParameterValues {
 public:
  BoundParameterRow(const std::vector<ParameterBinding>& bindings, SQLULEN bindType, SQLLEN offset);

  void SetRow(SQLULEN row) { row_ = row; }
  // Throws SqlError: 07002 for a marker without a binding, HYC00 for
  // data-at-execution values, HY090 for an invalid length, and what the
  // column's conversion refuses.
  void Store(int parameter, const jet::ColumnDef& column, jet::Value& into) override;

 private:
  // Where row 0 of each binding's values and lengths lie, and the steps from
  // row to row: worked out once for all the rows of an array.
  struct Access {
    const char* values = nullptr;
    SQLULEN valueStep = 0;
    const char* lengths = nullptr;  // null: no length array (SQL_NTS)
    SQLULEN lengthStep = 0;
  };
  const std::vector<ParameterBinding>& bindings_;
  std::vector<Access> access_;
  SQLULEN row_ = 0;
  std::string scratch_;  // UTF-8 of a SQL_C_WCHAR value
};

}  // namespace mdb
