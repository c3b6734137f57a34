// Rows for every column of a table, stored with the checks an INSERT makes
// (identity, defaults, NOT NULL, types, keys): the bulk load's way in.
#pragma once

#include <memory>
#include <vector>

#include "tsql/statement_context.h"
#include "tsql/tsql_statements.h"

namespace standin {

class TableRowWriter {
 public:
  // Throws SqlError 208 for a missing table. `keepIdentity`: the rows' own
  // identity values are kept (else a Default value there numbers the row).
  TableRowWriter(StatementContext& ctx, const ObjectName& table, bool keepIdentity);
  ~TableRowWriter();

  const std::vector<ColumnMeta>& columns() const;
  // One value per column, in order; Value::Kind::Default takes the column's default.
  void Insert(const std::vector<Value>& row);
  // Saves the identity counter; call once after the last row.
  void Finish();
  uint64_t rows() const;
  // The column the last Insert was at when it failed.
  int currentColumn() const;

 private:
  struct Rows;
  std::unique_ptr<Rows> rows_;
};

}  // namespace standin
