// Internal to jet/: the bytes of an index entry's key, exactly as Access writes them.
//
// A key is the concatenation of one encoding per key column, in index column order.
// Each starts with a flag byte (ascending: 0x7F value / 0x00 NULL; descending:
// 0x80 value / 0xFF NULL); numbers follow big-endian with the sign handled so that
// plain byte comparison gives numeric order; text uses the "General" (legacy) sort
// order of Access 2000-2003 (see sort_order_general.h). Comparing two keys as
// unsigned byte strings (shorter prefix first) gives the index order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct IndexKeyColumn {
  ColumnDef column;
  bool ascending = true;
};

class IndexKeyEncoder {
 public:
  // Throws Error(InvalidDefinition) for a column type that cannot be indexed (OLE)
  // or for more than 10 key columns.
  explicit IndexKeyEncoder(std::vector<IndexKeyColumn> columns);

  const std::vector<IndexKeyColumn>& columns() const { return columns_; }

  // Appends the key of `keyValues` (one Value per key column, in key order) to `out`.
  // Null is encoded as the NULL flag (callers refuse NULLs in primary keys
  // themselves). Throws Error(TypeMismatch) when a value's alternative does not
  // suit its column, Error(WrongValueCount) for a wrong number of values.
  void AppendKey(std::span<const Value> keyValues, Bytes& out) const;

  Bytes Key(std::span<const Value> keyValues) const;

  // The key of one value of one column (flag byte included).
  static void AppendColumn(const IndexKeyColumn& column, const Value& value, Bytes& out);

 private:
  std::vector<IndexKeyColumn> columns_;
};

}  // namespace jet
