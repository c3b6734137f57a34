// The user tables of the source database, for the second page's left list.
#pragma once

#include <string>
#include <vector>

#include "source_logon.h"

namespace talvoro::odbc {

struct SourceTableList {
  std::vector<std::string> names;  // TABLE_NAME of every catalog row of type "TABLE", in catalog order
  std::string error;               // why the list is empty or incomplete; empty when all went well
};

// Connects to "dsns" like every source connection and reads SQLTables without
// restrictions. Views, system tables and other types are left out.
SourceTableList ListSourceTables(const SourceLogon& logon);

}  // namespace talvoro::odbc
