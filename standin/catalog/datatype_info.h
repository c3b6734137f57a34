// sp_datatype_info (and its _90/_100 forms, which FreeTDS calls for
// SQLGetTypeInfo): one row per SQL Server type in SQL Server's shape and order.
#pragma once

#include <cstdint>

#include "protocol/tds_io.h"

namespace standin {

// `dataType` 0 lists every type, otherwise those of that ODBC type;
// `odbcVersion` 3 gives the ODBC 3 date/time codes.
void WriteDatatypeInfo(ReplyWriter& w, int dataType, int odbcVersion);

}  // namespace standin
