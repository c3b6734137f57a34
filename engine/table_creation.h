// The "Create Table" statement of a destination table and its execution.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "odbc/database.h"

namespace talvoro::engine {

// "Create Table" + " " + quoted destination name + "(".
std::string BeginCreateTable(std::string_view destName);

// "PRIMARY KEY (\"A\", \"B\")" for a key of several columns, in key order; empty
// for a key of one column or none (that column carries the marker itself).
std::string PrimaryKeyConstraint(const std::vector<std::string>& keyColumns);

// Appends one definition and advances `definitionCount`. Definitions are joined by
// ", "; when the count reaches `fieldCount` (the table's number of result
// columns) the statement is closed, after the key constraint when there is one.
void BuildCreateTable(std::string& statement, const std::string& definition, int& definitionCount,
                      int fieldCount, const std::string& keyConstraint = std::string());

// Executes the finished statement on the destination connection.
void CreateDestinationTable(odbc::Database& destination, const std::string& statement);

}  // namespace talvoro::engine
