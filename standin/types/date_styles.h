// CONVERT styles between dates and character strings ("101" mm/dd/yyyy,
// "103" dd/mm/yyyy, "120" ODBC canonical ...), in both directions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "types/datetime_text.h"

namespace standin {

// Which date/time type a stored text belongs to, judged by its form.
enum class DateKind { DateTime, SmallDateTime, Date, Time, DateTime2, DateTimeOffset };

struct StoredDate {
  DateKind kind = DateKind::DateTime;
  DateTimeParts parts;
  int fractionDigits = 3;  // digits kept by the type (datetime 3, datetime2(n) n ...)
  int offsetMinutes = 0;   // datetimeoffset only
};

// Recognises the fixed storage forms (see datetime_text.h); nullopt for any other text.
std::optional<StoredDate> RecognizeStoredDate(std::string_view text);

// True for the style numbers SQL Server accepts between dates and strings.
bool IsDateStyle(int style);

// The text of `d` in `style`; nullopt when the style is not a date style.
std::optional<std::string> FormatDateStyle(const StoredDate& d, int style);

// Parses a character string as a date/time with `style` deciding the order of
// day and month; also month names ("Feb 29 2024 1:45PM", "29 Feb 2024").
std::optional<DateTimeParts> ParseDateStyle(std::string_view text, int style);

// "+hh:mm" / "-hh:mm" / "Z" at the end of a datetimeoffset literal: returns the
// text before it and sets the offset; nullopt when there is none.
std::optional<std::string_view> SplitTimeZoneOffset(std::string_view text, int& offsetMinutes);

}  // namespace standin
