// Date literals and Jet's date encoding. Statements write dates day first
// ('9/3/2004' is 9 March 2004) with an optional time 'h:m:s[.fff]'; ISO text
// ('2004-03-09 14:30:00') is read too. Jet stores days since 1899-12-30 as a
// double whose fraction is the time of day.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/jet.h"

namespace mdb {

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const DateTimeParts&) const = default;
};

// nullopt when the text is no date, or names a day that does not exist.
std::optional<DateTimeParts> ParseDateLiteral(std::string_view text);

// Valid calendar date (years 100..9999) and time of day.
bool IsValidDateTime(const DateTimeParts& parts);

jet::DateTime ToJetDateTime(const DateTimeParts& parts);
// False for a stored value no valid date comes from (years 100..9999): a damaged
// file may hold any double, NaN included.
bool IsRepresentableJetDateTime(jet::DateTime value);
// Rounded to the millisecond. Values that are not representable give parts that
// IsValidDateTime refuses, never undefined arithmetic.
DateTimeParts FromJetDateTime(jet::DateTime value);

// "YYYY-MM-DD HH:MM:SS" with ".fff" when there are milliseconds.
std::string FormatDateTime(const DateTimeParts& parts);

}  // namespace mdb
