// The user tables of the source database, for the second page's left list.
#pragma once

#include <string>
#include <vector>

#include "source_logon.h"
#include "source_table.h"

namespace talvoro::odbc {

struct SourceTableList {
  std::vector<SourceTable> tables;  // every catalog row of type "TABLE", of every schema, in catalog order
  std::vector<std::string> names;   // their Display() names, in the same order
  std::string error;                // why the list is empty or incomplete; empty when all went well

  // The listed table shown as `display` ("Schema.Table" or a bare dbo name).
  const SourceTable* Find(const std::string& display) const;
};

// Connects to "dsns" like every source connection and reads SQLTables without
// restrictions. Views, system tables and other types are left out.
SourceTableList ListSourceTables(const SourceLogon& logon);

}  // namespace talvoro::odbc
