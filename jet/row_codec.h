// Rows of a data page: values to bytes (with validation against the column) and back.
//
// Row layout: u16 column count | fixed area | variable data | u16 end-of-data |
// variable offsets in reverse order | u16 variable count | null mask.
// Tables without variable columns omit everything between the fixed area and the mask.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "jet/table_definition.h"

namespace jet {

// Where a long value that does not stay inside the row is stored; returns the
// 12-byte header (length, kind, pointer) to put in the row.
using LongValueStore = std::function<void(std::uint16_t column, std::span<const std::uint8_t> payload,
                                          std::uint8_t header[12])>;
// Reads the payload of a long value from its 12-byte header (+ inline bytes).
using LongValueLoad = std::function<Bytes(std::span<const std::uint8_t> field)>;

class RowEncoder {
 public:
  RowEncoder(const TableDefinition& def, std::vector<bool> required, std::u16string tableName);

  // Checks every value against its column and encodes it; nothing is stored yet.
  // Throws jet::Error (WrongValueCount, TypeMismatch, ValueOutOfRange, NullNotAllowed,
  // RowTooLarge). Values of key columns are normalised in place (Decimal scale).
  void Prepare(const std::vector<Value>& values);

  // Builds the row bytes; long values that do not fit inline go through `store`.
  const std::vector<std::uint8_t>& Build(const LongValueStore& store);

  // The value as stored (Decimal rescaled to the column's scale), for index keys.
  Value NormalisedValue(std::size_t column, const Value& v) const;

 private:
  struct Cell {
    bool present = false;
    std::uint32_t offset = 0;  // into scratch_
    std::uint32_t size = 0;
    bool longInline = false;
  };
  void EncodeCell(std::size_t i, const Value& v);
  [[noreturn]] void Fail(ErrorCode code, std::size_t column, const std::string& why) const;

  const TableDefinition& def_;
  std::vector<bool> required_;
  std::string tableName_;
  std::vector<std::string> columnNames_;
  std::uint16_t fixedSize_;
  std::uint16_t varCount_;
  std::vector<std::uint16_t> varColumns_;  // column position by variable index
  std::vector<Cell> cells_;
  std::vector<std::uint8_t> scratch_;
  std::vector<std::uint8_t> row_;
  std::u16string text_;
};

// Decodes one row into `out` (one Value per column of `def`). With `wanted`
// (a flag per column of `def`), the other columns are left Null unread.
void DecodeRow(const TableDefinition& def, std::span<const std::uint8_t> row, const LongValueLoad& load,
               std::vector<Value>& out, const std::vector<bool>* wanted = nullptr);

// Column type code -> public enum (NotJet4 for types Jet 4 does not have).
ColumnType ToColumnType(std::uint8_t code);

}  // namespace jet
