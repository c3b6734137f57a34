// How many rows a source table holds, asked before its rows are copied so that a
// progress display can advance inside a long table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "odbc/source_logon.h"
#include "odbc/source_table.h"

namespace talvoro::engine {

// The count SQL Server's catalog keeps for the table's heap or clustered index
// (sys.partitions, else sys.dm_db_partition_stats): read without touching a row,
// where COUNT_BIG(*) would scan the whole table. Only when neither view can be
// read: "SELECT COUNT_BIG(*) FROM [schema].[name]". On a connection of its own
// (the row copy's result set keeps its connection busy). nullopt when nothing
// answers: the count only serves the display (the exact count comes from the
// copy), so its failure fails nothing.
std::optional<std::uint64_t> CountSourceRows(const odbc::SourceLogon& logon,
                                             const odbc::SourceTable& table);

// The statements CountSourceRows tries, in order.
std::vector<std::string> SourceRowCountQueries(const odbc::SourceTable& table);

}  // namespace talvoro::engine
