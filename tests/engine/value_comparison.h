// Compares a value read from the source (the SQL Server driver's text form) with
// the same cell as an independent reader gives it from the .mdb file.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "engine/type_mapping.h"

namespace talvoro::test {

// Empty when equal, otherwise why not. `source` nullopt is NULL.
// mdb-reader's JSON cell: exact numbers, ISO dates with milliseconds, hex bytes.
std::string CompareWithReader(engine::ValueKind kind, const std::optional<std::string>& source,
                              const nlohmann::json& cell);

// mdb-export's text cell: dates to the second, numbers as mdbtools prints them.
std::string CompareWithExport(engine::ValueKind kind, const std::optional<std::string>& source,
                              const std::optional<std::string>& cell);

}  // namespace talvoro::test
