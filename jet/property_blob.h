// Property blobs ("MR2" + chunks) stored in MSysObjects.LvProp. We write and read
// one property: Required (NOT NULL) of columns.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet {

// The blob for a table whose columns in `required` are NOT NULL; empty if none are.
Bytes EncodeRequiredColumns(const std::vector<std::string>& required);

// Names of the columns whose Required property is set; malformed blobs yield none.
std::vector<std::string> DecodeRequiredColumns(std::span<const std::uint8_t> blob);

}  // namespace jet
