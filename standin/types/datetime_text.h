// Date and time literals: parsing what clients write ('2024-02-29 13:45:30.123',
// '20240229', '02/29/2024 1:45 PM' ...) and the fixed text form kept in storage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

struct DateTimeParts {
  int year = 1900, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  int64_t nanos = 0;  // fraction of the second
};

// Parses a literal; nullopt when it is not a valid date and/or time.
std::optional<DateTimeParts> ParseDateTimeLiteral(std::string_view text);

// Days from 0001-01-01 (proleptic Gregorian) to the date.
int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(int64_t days, int& year, int& month, int& day);

// Storage text of each type (sortable, fixed width):
//   datetime       "YYYY-MM-DD HH:MM:SS.mmm" (rounded to 1/300 s)
//   smalldatetime  "YYYY-MM-DD HH:MM:00"
//   datetime2(n)   "YYYY-MM-DD HH:MM:SS[.f...]" with n digits
//   date           "YYYY-MM-DD"
//   time(n)        "HH:MM:SS[.f...]"
// The Format* functions round and range-check; nullopt means out of range.
std::optional<std::string> FormatDateTime(DateTimeParts v);
std::optional<std::string> FormatSmallDateTime(DateTimeParts v);
std::optional<std::string> FormatDateTime2(DateTimeParts v, int scale);
std::optional<std::string> FormatDate(const DateTimeParts& v);
std::string FormatTime(DateTimeParts v, int scale);

// Reads any of the storage forms back (missing parts are zero / 1900-01-01).
DateTimeParts ParseStoredDateTime(std::string_view text);

}  // namespace standin
