// SQLBindParameter, SQLDescribeParam and the execution of parameter arrays.
#include "odbc_parameters.h"

#include <optional>

#include "cell_conversion.h"
#include "odbc_guard.h"
#include "sql_tokenizer.h"

namespace mdb {

SQLRETURN ExecuteParameterRows(StatementHandle& statement, const Statement& parsed, int markers) {
  for (int k = 0; k < markers; ++k) {
    if (static_cast<std::size_t>(k) >= statement.parameters.size() || !statement.parameters[k].bound)
      return statement.diagnostics.Error("07002", "COUNT field incorrect: the statement has " +
                                                      std::to_string(markers) + " parameter markers, but parameter " +
                                                      std::to_string(k + 1) + " is not bound");
  }
  const SQLULEN sets = statement.paramsetSize;
  auto setStatus = [&](SQLULEN row, SQLUSMALLINT status) {
    if (statement.paramStatus) statement.paramStatus[row] = status;
  };
  SQLULEN processed = 0;
  long long inserted = 0;
  if (statement.paramsProcessed) *statement.paramsProcessed = 0;
  BoundParameterRow values(statement.parameters, statement.paramBindType,
                           statement.paramBindOffset ? static_cast<SQLLEN>(*statement.paramBindOffset) : 0);
  ConnectionHandle& connection = *statement.connection;
  auto lock = connection.lease.Lock();
  jet::Database& database = connection.lease.database();
  std::optional<RepeatedInsert> insert;
  for (SQLULEN row = 0; row < sets; ++row) {
    if (statement.paramOperation && statement.paramOperation[row] == SQL_PARAM_IGNORE) {
      setStatus(row, SQL_PARAM_UNUSED);
      continue;
    }
    values.SetRow(row);
    ++processed;
    if (statement.paramsProcessed) *statement.paramsProcessed = processed;
    auto abandon = [&] {
      setStatus(row, SQL_PARAM_ERROR);
      for (SQLULEN later = row + 1; later < sets; ++later) setStatus(later, SQL_PARAM_UNUSED);
      statement.rowCount = inserted;
    };
    try {
      if (!insert) insert.emplace(std::get<InsertStatement>(parsed), database);
      insert->Row(values);
    } catch (const SqlError& e) {
      abandon();
      return statement.diagnostics.RowError(static_cast<SQLLEN>(row + 1), e.sqlstate(), e.what());
    } catch (...) {
      abandon();
      throw;
    }
    ++inserted;
    setStatus(row, SQL_PARAM_SUCCESS);
  }
  statement.rowCount = inserted;
  return SQL_SUCCESS;
}

}  // namespace mdb

using namespace mdb;

namespace {

// The column a marker of a prepared INSERT fills, or null.
const jet::ColumnDef* MarkerColumn(const InsertStatement& insert, int marker, jet::Database& database) {
  jet::Table* table = database.FindTable(insert.table);
  if (!table) throw SqlError("42S02", "Table \"" + insert.table + "\" does not exist");
  const auto& columns = table->definition().columns;
  for (std::size_t i = 0; i < insert.values.size(); ++i) {
    const Literal& value = insert.values[i];
    if (value.kind != Literal::Kind::Parameter || value.parameter != marker) continue;
    if (insert.columns.empty()) return i < columns.size() ? &columns[i] : nullptr;
    if (i >= insert.columns.size()) return nullptr;
    for (const jet::ColumnDef& column : columns)
      if (EqualsIgnoreCase(column.name, insert.columns[i])) return &column;
    return nullptr;
  }
  return nullptr;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN, SQLSMALLINT, SQLPOINTER buffer,
                                   SQLLEN bufferLength, SQLLEN* indicator) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    Diagnostics& diagnostics = statement->diagnostics;
    if (number < 1) return diagnostics.Error("07009", "Invalid descriptor index: parameters are numbered from 1");
    if (ioType != SQL_PARAM_INPUT)
      return diagnostics.Error("HYC00", "Optional feature not implemented: only input parameters are taken");
    const SQLSMALLINT resolved = ResolveParameterCType(cType, sqlType);
    if (resolved == 0)
      return diagnostics.Error(cType == SQL_C_DEFAULT ? "HY004" : "HYC00",
                               (cType == SQL_C_DEFAULT ? "Invalid SQL data type " + std::to_string(sqlType)
                                                       : "Optional feature not implemented: C type " +
                                                             std::to_string(cType)) +
                                   " for parameter " + std::to_string(number));
    if (bufferLength < 0) return diagnostics.Error("HY090", "Invalid string or buffer length");
    if (statement->parameters.size() < number) statement->parameters.resize(number);
    statement->parameters[number - 1] = ParameterBinding{true, resolved, sqlType, buffer, bufferLength, indicator};
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT* dataType,
                                   SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    const auto* insert = statement->prepared ? std::get_if<InsertStatement>(&*statement->prepared) : nullptr;
    if (!statement->prepared) return statement->diagnostics.Error("HY010", "No statement prepared");
    if (!insert || number < 1 || number > insert->parameterCount)
      return statement->diagnostics.Error("07009", "Invalid descriptor index: the statement has no parameter " +
                                                       std::to_string(number));
    ConnectionHandle& connection = *statement->connection;
    if (!connection.lease) return statement->diagnostics.Error("08003", "Connection not open");
    auto lock = connection.lease.Lock();
    const jet::ColumnDef* column = MarkerColumn(*insert, number - 1, connection.lease.database());
    if (!column)
      return statement->diagnostics.Error("07009", "Invalid descriptor index: parameter " + std::to_string(number) +
                                                       " fills no column");
    const ColumnDescription description = DescribeColumn(*column, IsOdbc3(*statement));
    if (dataType) *dataType = description.sqlType;
    if (size) *size = description.columnSize;
    if (digits) *digits = description.decimalDigits;
    if (nullable) *nullable = column->required ? SQL_NO_NULLS : SQL_NULLABLE;
    return SQL_SUCCESS;
  });
}

}  // extern "C"
