// Table and column names as they stand in statements. Names are always quoted,
// so blanks, quotes and reserved words survive.
#pragma once

#include <string>
#include <string_view>

namespace talvoro::engine {

// For the Access driver: "name" with each " doubled.
std::string QuoteDestinationName(std::string_view name);

// For SQL Server: [name] with each ] doubled (independent of QUOTED_IDENTIFIER).
std::string QuoteSourceName(std::string_view name);

}  // namespace talvoro::engine
