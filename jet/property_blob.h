// Property blobs ("MR2" + chunks) stored in MSysObjects.LvProp. We write and read
// the column properties the engine knows: Required (NOT NULL) and DefaultValue.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct ColumnProperties {
  std::string column;
  bool required = false;
  std::string defaultValue;  // empty: none
};

// The blob for a table's columns; empty if no column has a property set.
Bytes EncodeColumnProperties(const std::vector<ColumnProperties>& columns);

// The columns with a property set; properties we do not know, and malformed blobs
// or parts of them, are skipped.
std::vector<ColumnProperties> DecodeColumnProperties(std::span<const std::uint8_t> blob);

}  // namespace jet
