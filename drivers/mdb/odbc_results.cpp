// Reading a result: column descriptions, fetching, SQLGetData and bound columns.
#include "cell_conversion.h"
#include "odbc_guard.h"
#include "odbc_handles.h"

using namespace mdb;

namespace {

const jet::ColumnDef* ColumnAt(StatementHandle& statement, SQLUSMALLINT number) {
  const auto* columns = statement.Columns();
  if (!columns) {
    statement.diagnostics.Error("07005", "The statement did not return a result set");
    return nullptr;
  }
  if (number < 1 || number > columns->size()) {
    statement.diagnostics.Error("07009", "Invalid descriptor index " + std::to_string(number) +
                                             " (the result has " + std::to_string(columns->size()) +
                                             " columns)");
    return nullptr;
  }
  return &(*columns)[number - 1];
}

SQLRETURN FillBindings(StatementHandle& statement, const std::vector<jet::Value>& row) {
  SQLRETURN rc = SQL_SUCCESS;
  const auto& columns = statement.result->columns;
  for (std::size_t i = 1; i < statement.bindings.size() && i <= columns.size(); ++i) {
    const ColumnBinding& binding = statement.bindings[i];
    if (!binding.buffer && !binding.indicator) continue;
    ReadProgress progress;
    SQLRETURN one = ConvertCell(row[i - 1], columns[i - 1], binding.targetType, binding.buffer,
                                binding.bufferLength, binding.indicator, progress, IsOdbc3(statement),
                                statement.diagnostics);
    if (one == SQL_ERROR) return SQL_ERROR;
    if (one == SQL_SUCCESS_WITH_INFO) rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

// Numeric or text attribute of a column, for SQLColAttribute(s).
SQLRETURN ColumnAttribute(StatementHandle& statement, SQLUSMALLINT number, SQLUSMALLINT field,
                          SQLPOINTER text, SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* numeric) {
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    const auto* columns = statement.Columns();
    if (numeric) *numeric = columns ? static_cast<SQLLEN>(columns->size()) : 0;
    return SQL_SUCCESS;
  }
  const jet::ColumnDef* column = ColumnAt(statement, number);
  if (!column) return SQL_ERROR;
  ColumnDescription d = DescribeColumn(*column, IsOdbc3(statement));
  bool exact = d.sqlType == SQL_DECIMAL || d.sqlType == SQL_NUMERIC || d.sqlType == SQL_INTEGER ||
               d.sqlType == SQL_SMALLINT || d.sqlType == SQL_TINYINT;
  bool approximate = d.sqlType == SQL_REAL || d.sqlType == SQL_DOUBLE;
  bool quoted = d.sqlType == SQL_VARCHAR || d.sqlType == SQL_LONGVARCHAR || d.sqlType == SQL_BINARY ||
                d.sqlType == SQL_LONGVARBINARY || d.sqlType == SQL_GUID || d.sqlType == SQL_TYPE_TIMESTAMP ||
                d.sqlType == SQL_TIMESTAMP;
  std::optional<std::string> textValue;
  SQLLEN value = 0;
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME: textValue = column->name; break;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME: textValue = d.typeName; break;
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME: textValue = ""; break;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: textValue = quoted ? "'" : ""; break;
    case SQL_DESC_CONCISE_TYPE: value = d.sqlType; break;
    case SQL_DESC_TYPE:
      value = (d.sqlType == SQL_TYPE_TIMESTAMP) ? SQL_DATETIME : d.sqlType;
      break;
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_OCTET_LENGTH: value = d.octetLength; break;
    case SQL_DESC_LENGTH: value = static_cast<SQLLEN>(d.columnSize); break;
    case SQL_COLUMN_PRECISION:
      value = static_cast<SQLLEN>(d.columnSize);
      break;
    case SQL_DESC_PRECISION:
      value = (exact || approximate) ? static_cast<SQLLEN>(d.columnSize)
                                     : (d.sqlType == SQL_TYPE_TIMESTAMP || d.sqlType == SQL_TIMESTAMP ? 3 : 0);
      break;
    case SQL_COLUMN_SCALE:
    case SQL_DESC_SCALE: value = d.decimalDigits; break;
    case SQL_DESC_DISPLAY_SIZE: value = d.displaySize; break;
    case SQL_COLUMN_NULLABLE:
    case SQL_DESC_NULLABLE: value = column->required ? SQL_NO_NULLS : SQL_NULLABLE; break;
    case SQL_DESC_UNSIGNED: value = (d.isUnsigned || !(exact || approximate)) ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_FIXED_PREC_SCALE: value = column->type == jet::ColumnType::Currency ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_UPDATABLE: value = SQL_ATTR_READWRITE_UNKNOWN; break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: value = SQL_FALSE; break;
    case SQL_DESC_CASE_SENSITIVE: value = SQL_FALSE; break;
    case SQL_DESC_SEARCHABLE:
      value = (d.sqlType == SQL_LONGVARCHAR || d.sqlType == SQL_LONGVARBINARY) ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE;
      break;
    case SQL_DESC_NUM_PREC_RADIX: value = exact ? 10 : (approximate ? 2 : 0); break;
    case SQL_DESC_UNNAMED: value = SQL_NAMED; break;
    default:
      return statement.diagnostics.Error("HY091", "Invalid descriptor field identifier " + std::to_string(field));
  }
  if (textValue) {
    if (!CopyOutString(*textValue, text, textMax, textLength))
      return statement.diagnostics.Warning("01004", "String data, right truncated");
    return SQL_SUCCESS;
  }
  if (numeric) *numeric = value;
  return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT number, SQLCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                                 SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    const jet::ColumnDef* column = ColumnAt(*statement, number);
    if (!column) return SQL_ERROR;
    ColumnDescription d = DescribeColumn(*column, IsOdbc3(*statement));
    if (dataType) *dataType = d.sqlType;
    if (columnSize) *columnSize = d.columnSize;
    if (decimalDigits) *decimalDigits = d.decimalDigits;
    if (nullable) *nullable = column->required ? SQL_NO_NULLS : SQL_NULLABLE;
    if (!CopyOutString(column->name, name, nameMax, nameLength))
      return statement->diagnostics.Warning("01004", "String data, right truncated");
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* numeric) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics,
                 [&] { return ColumnAttribute(*statement, number, field, text, textMax, textLength, numeric); });
}

SQLRETURN SQL_API SQLColAttributes(SQLHSTMT handle, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                                   SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* numeric) {
  return SQLColAttribute(handle, number, field, text, textMax, textLength, numeric);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT targetType, SQLPOINTER buffer,
                             SQLLEN bufferLength, SQLLEN* indicator) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    if (number == 0) return statement->diagnostics.Error("07009", "Bookmark columns are not supported");
    if (statement->bindings.size() <= number) statement->bindings.resize(number + 1);
    statement->bindings[number] = ColumnBinding{targetType, buffer, bufferLength, indicator};
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    if (!statement->result) return statement->diagnostics.Error("24000", "Invalid cursor state: no result set");
    const auto& rows = statement->result->rows;
    bool limited = statement->maxRows > 0 && statement->nextRow >= statement->maxRows;
    if (statement->nextRow >= rows.size() || limited) {
      if (statement->rowsFetched) *statement->rowsFetched = 0;
      return SQL_NO_DATA;
    }
    const auto& row = rows[statement->nextRow++];
    statement->getDataColumn = 0;
    statement->getDataOffset = 0;
    statement->getDataDone = false;
    if (statement->rowsFetched) *statement->rowsFetched = 1;
    SQLRETURN rc = FillBindings(*statement, row);
    if (statement->rowStatus)
      statement->rowStatus[0] = rc == SQL_SUCCESS ? SQL_ROW_SUCCESS
                                                  : (rc == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS_WITH_INFO);
    return rc;
  });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT targetType, SQLPOINTER buffer,
                             SQLLEN bufferLength, SQLLEN* indicator) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    if (!statement->result || statement->nextRow == 0)
      return statement->diagnostics.Error("24000", "Invalid cursor state: no current row");
    const jet::ColumnDef* column = ColumnAt(*statement, number);
    if (!column) return SQL_ERROR;
    if (statement->getDataColumn != number) {
      statement->getDataColumn = number;
      statement->getDataOffset = 0;
      statement->getDataDone = false;
    }
    ReadProgress progress{statement->getDataOffset, statement->getDataDone};
    const auto& row = statement->result->rows[statement->nextRow - 1];
    SQLRETURN rc = ConvertCell(row[number - 1], *column, targetType, buffer, bufferLength, indicator, progress,
                               IsOdbc3(*statement), statement->diagnostics);
    statement->getDataOffset = progress.offset;
    statement->getDataDone = progress.done;
    return rc;
  });
}

}  // extern "C"
