// How many rows a source table holds, asked before its rows are copied so that a
// progress display can advance inside a long table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "odbc/source_logon.h"
#include "odbc/source_table.h"

namespace talvoro::engine {

// "SELECT COUNT_BIG(*) FROM [schema].[name]" on a connection of its own (the row copy's
// result set keeps its connection busy). nullopt when the server does not answer:
// the count only serves the display, so its failure fails nothing.
std::optional<std::uint64_t> CountSourceRows(const odbc::SourceLogon& logon,
                                             const odbc::SourceTable& table);

}  // namespace talvoro::engine
