// SQL literals for the Access driver's INSERT statements. Each function appends
// to `out`, so one buffer serves a whole row. Every literal is exact: the driver
// stores the same value the source holds.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace talvoro::engine {

inline constexpr char kNullLiteral[] = "NULL";

// 'text' with each ' doubled.
void AppendTextLiteral(std::string_view text, std::string& out);

// '0a1bff': two lower-case hex digits per byte.
void AppendBinaryLiteral(std::string_view bytes, std::string& out);

// Decimal digits with a leading '-' for negatives.
void AppendIntegerLiteral(std::int64_t value, std::string& out);

// The shortest text that reads back as exactly the same double ("0.1", "1e-300").
void AppendDoubleLiteral(double value, std::string& out);

// A single-precision value written so that it reads back as the same float.
void AppendRealLiteral(float value, std::string& out);

// '{6F9619FF-8B86-D011-B42D-00C04FC964FF}' from the driver's text form.
void AppendGuidLiteral(std::string_view text, std::string& out);

// Jet stores dates from year 100 to 9999.
inline constexpr int kFirstStorableYear = 100;
inline constexpr int kLastStorableYear = 9999;

// Whether Access can store the date: years 100..9999, every field in range.
bool IsStorableTimestamp(const SQL_TIMESTAMP_STRUCT& value);

// 'day/month/year' (day first, no leading zeros), followed by " h:mm:ss" when the
// time of day is not midnight and ".fff" when the milliseconds are not zero
// (finer fractions are cut to the millisecond). Returns false, appending
// nothing, when the year is outside 100..9999 or a field is out of range.
bool AppendTimestampLiteral(const SQL_TIMESTAMP_STRUCT& value, std::string& out);

// Reads the driver's text form of a date, time or date-time:
// "YYYY-MM-DD", "hh:mm:ss[.fffffff]" or "YYYY-MM-DD hh:mm:ss[.fffffff]" (the
// year may have fewer digits, as drivers write early years). A time
// alone lands on 30 December 1899, the day Access counts times from. False when
// the text is none of these.
bool ParseTimestampText(std::string_view text, SQL_TIMESTAMP_STRUCT& value);

}  // namespace talvoro::engine
