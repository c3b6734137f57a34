// A column default of the source (the T-SQL text of COLUMN_DEF, such as "((0))",
// "(N'USA')" or "(getdate())") as the DEFAULT of the destination column, where an
// Access expression means the same: numbers, strings, and the current date and
// time (getdate(), sysdatetime(), CURRENT_TIMESTAMP become Now(), or Date() and
// Time() for date and time columns). Anything else is not guessed at.
#pragma once

#include <string>
#include <string_view>

#include "column_info.h"
#include "type_mapping.h"

namespace talvoro::engine {

// Access keeps a DefaultValue of at most 255 characters.
inline constexpr std::size_t kMaxAccessDefaultLength = 255;

struct DefaultTranslation {
  std::string sql;      // what follows DEFAULT in the column definition; empty: no default
  std::string problem;  // why the source default is not carried; empty when it is (or there is none)
};

// `column` is the source catalog row (TYPE_NAME, COLUMN_DEF); `mapping` its destination.
DefaultTranslation TranslateDefault(const ColumnInfo& column, const ColumnMapping& mapping);

}  // namespace talvoro::engine
