// GUID text: "{6F9619FF-8B86-D011-B42D-00C04FC964FF}" with or without braces.
// Jet keeps the first three groups little-endian, as Windows' GUID structure does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/jet.h"

namespace mdb {

std::optional<jet::Guid> ParseGuid(std::string_view text);

// Upper case, with braces, as Access shows a Replication ID.
std::string FormatGuid(const jet::Guid& guid);

}  // namespace mdb
