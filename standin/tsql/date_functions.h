// T-SQL's date and time built-ins over the stored date texts (types/datetime_text.h):
// DATEADD, DATEDIFF, DATEDIFF_BIG, DATEPART, DATENAME (us_english names, SET
// DATEFIRST 7), YEAR/MONTH/DAY, EOMONTH, DATEFROMPARTS, DATETIMEFROMPARTS and
// ISDATE. The date part is a keyword in T-SQL; the rewriter passes it as the
// first argument, a string ('day'), to tsql_dateadd and kin.
#pragma once

#include <sqlite3.h>

namespace standin {

void RegisterDateFunctions(sqlite3* db);

}  // namespace standin
