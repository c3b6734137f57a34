// The T-SQL script that builds the demo database "Sales": customers, products,
// employees with photos and notes, orders, "Order Details" with a two-column key,
// a view, a table named counter, and a table with one column of every type.
// The script is plain SQL Server T-SQL in batches ended by GO lines, so it runs
// unchanged on a real server. The rows come from a fixed-seed generator: the
// same build always writes the same script, byte for byte.
#pragma once

#include <ostream>

namespace sales_demo {

// Row counts of the larger tables, for callers that check a loaded database.
inline constexpr int kCustomerCount = 400;
inline constexpr int kEmployeeCount = 12;
inline constexpr int kProductCount = 150;
inline constexpr int kOrderCount = 2500;
inline constexpr int kOrderDetailCount = 6000;
inline constexpr int kCounterCount = 6;
inline constexpr int kTypeSampleCount = 4;

void WriteSalesScript(std::ostream& out);

}  // namespace sales_demo
