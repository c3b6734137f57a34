// Property blobs ("MR2" + chunks) stored in MSysObjects.LvProp. We write and read
// the properties the engine knows: a column's Required (NOT NULL), DefaultValue,
// ValidationRule and ValidationText, and the table's ValidationRule and ValidationText.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct ColumnProperties {
  std::string column;
  bool required = false;
  std::string defaultValue{};  // empty: none
  std::string validationRule{};  // a field rule (>=0 And <=1); empty: none
  std::string validationText{};  // what a row breaking it is told
  bool any() const { return required || !defaultValue.empty() || !validationRule.empty() || !validationText.empty(); }
};

struct TableProperties {
  std::string validationRule;  // a table rule ([EndDate]>=[StartDate]); empty: none
  std::string validationText;
  bool any() const { return !validationRule.empty() || !validationText.empty(); }
};

// The blob for a table and its columns; empty if nothing has a property set.
Bytes EncodeProperties(const TableProperties& table, const std::vector<ColumnProperties>& columns);

// The table's own properties in a blob; malformed blobs give none.
TableProperties DecodeTableProperties(std::span<const std::uint8_t> blob);

// The blob for a table's columns; empty if no column has a property set.
Bytes EncodeColumnProperties(const std::vector<ColumnProperties>& columns);

// The columns with a property set; properties we do not know, and malformed blobs
// or parts of them, are skipped.
std::vector<ColumnProperties> DecodeColumnProperties(std::span<const std::uint8_t> blob);

}  // namespace jet
