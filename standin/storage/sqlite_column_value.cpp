#include "storage/sqlite_column_value.h"

#include <cstdint>
#include <string>

namespace standin {

Value ValueFromSqliteColumn(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return Value::Int(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: {
      Value v;
      v.kind = Value::Kind::Float;
      v.real = sqlite3_column_double(st, i);
      return v;
    }
    case SQLITE_TEXT:
      return Value::Str(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i)));
    case SQLITE_BLOB: {
      Value v;
      v.kind = Value::Kind::Binary;
      const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
      v.bytes.assign(p, p + sqlite3_column_bytes(st, i));
      return v;
    }
    default: return Value::Null();
  }
}

void BindStoredValue(sqlite3_stmt* stmt, int index, const StoredValue& v, bool copy) {
  const auto keep = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  switch (v.kind) {
    case StoredValue::Kind::Integer: sqlite3_bind_int64(stmt, index, v.integer); break;
    case StoredValue::Kind::Real: sqlite3_bind_double(stmt, index, v.real); break;
    case StoredValue::Kind::Text:
      sqlite3_bind_text(stmt, index, v.text.data(), static_cast<int>(v.text.size()), keep);
      break;
    case StoredValue::Kind::Blob:
      if (v.blob.empty()) sqlite3_bind_zeroblob(stmt, index, 0);
      else sqlite3_bind_blob(stmt, index, v.blob.data(), static_cast<int>(v.blob.size()), keep);
      break;
    default: sqlite3_bind_null(stmt, index); break;
  }
}

}  // namespace standin
