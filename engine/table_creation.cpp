#include "table_creation.h"

#include "sql_names.h"

namespace talvoro::engine {

std::string BeginCreateTable(std::string_view destName) {
  return "Create Table " + QuoteDestinationName(destName) + "(";
}

std::string PrimaryKeyConstraint(const std::vector<std::string>& keyColumns) {
  if (keyColumns.size() < 2) return std::string();
  std::string constraint = "PRIMARY KEY (";
  for (std::size_t i = 0; i < keyColumns.size(); ++i) {
    if (i > 0) constraint += ", ";
    constraint += QuoteDestinationName(keyColumns[i]);
  }
  constraint += ")";
  return constraint;
}

void BuildCreateTable(std::string& statement, const std::string& definition, int& definitionCount,
                      int fieldCount, const std::string& keyConstraint) {
  ++definitionCount;
  statement += definition;
  if (definitionCount == fieldCount) {
    if (!keyConstraint.empty()) statement += ", " + keyConstraint;
    statement += ")";
  } else {
    statement += ", ";
  }
}

void CreateDestinationTable(odbc::Database& destination, const std::string& statement) {
  destination.ExecuteSQL(statement);
}

}  // namespace talvoro::engine
