#include "tsql/date_functions.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "types/date_styles.h"
#include "types/datetime_text.h"
#include "types/explicit_conversion.h"

namespace standin {
namespace {

enum class Part { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second, Millisecond,
                  Microsecond, Nanosecond, IsoWeek, TzOffset };

struct PartName {
  const char* name;
  Part part;
};
constexpr PartName kParts[] = {
    {"year", Part::Year},         {"yy", Part::Year},          {"yyyy", Part::Year},
    {"quarter", Part::Quarter},   {"qq", Part::Quarter},       {"q", Part::Quarter},
    {"month", Part::Month},       {"mm", Part::Month},         {"m", Part::Month},
    {"dayofyear", Part::DayOfYear}, {"dy", Part::DayOfYear},   {"y", Part::DayOfYear},
    {"day", Part::Day},           {"dd", Part::Day},           {"d", Part::Day},
    {"week", Part::Week},         {"wk", Part::Week},          {"ww", Part::Week},
    {"weekday", Part::Weekday},   {"dw", Part::Weekday},       {"w", Part::Weekday},
    {"hour", Part::Hour},         {"hh", Part::Hour},
    {"minute", Part::Minute},     {"mi", Part::Minute},        {"n", Part::Minute},
    {"second", Part::Second},     {"ss", Part::Second},        {"s", Part::Second},
    {"millisecond", Part::Millisecond}, {"ms", Part::Millisecond},
    {"microsecond", Part::Microsecond}, {"mcs", Part::Microsecond},
    {"nanosecond", Part::Nanosecond},   {"ns", Part::Nanosecond},
    {"iso_week", Part::IsoWeek},  {"isowk", Part::IsoWeek},    {"isoww", Part::IsoWeek},
    {"tzoffset", Part::TzOffset}, {"tz", Part::TzOffset},
};

constexpr int64_t kNanosPerDay = 86400LL * 1000000000LL;
constexpr int kDateFirst = 7;  // us_english: weeks start on Sunday

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// A failure carried to the client with SQL Server's number and text.
struct Failure {
  int number;
  std::string text;
};

void Fail(sqlite3_context* ctx, const Failure& f) {
  sqlite3_result_error(ctx, EncodeConversionError(ConversionError{f.number, f.text}).c_str(), -1);
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::string Text(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

std::optional<Part> ReadPart(sqlite3_value* v) {
  const std::string name = Text(v);
  for (const auto& p : kParts)
    if (strcasecmp(p.name, name.c_str()) == 0) return p.part;
  return std::nullopt;
}

// The full name of a part, as SQL Server's messages spell it.
const char* PartName(Part part) {
  for (const auto& p : kParts)
    if (p.part == part) return p.name;
  return "";
}

const char* FunctionName(sqlite3_context* ctx) { return static_cast<const char*>(sqlite3_user_data(ctx)); }

Failure BadPart(sqlite3_context* ctx, sqlite3_value* v) {
  return {155, "'" + Text(v) + "' is not a recognized " + FunctionName(ctx) + " option."};
}

const char* TypeName(DateKind k) {
  switch (k) {
    case DateKind::DateTime: return "datetime";
    case DateKind::SmallDateTime: return "smalldatetime";
    case DateKind::Date: return "date";
    case DateKind::Time: return "time";
    case DateKind::DateTime2: return "datetime2";
    case DateKind::DateTimeOffset: return "datetimeoffset";
  }
  return "datetime";
}

// A date argument: a stored date keeps its type; other text is a literal,
// read as datetime; a number counts days from 1900-01-01 (as datetime does).
std::optional<StoredDate> ReadDate(sqlite3_value* v, Failure& failure) {
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    const double n = sqlite3_value_double(v);
    const double whole = std::floor(n);
    // datetime's range: 1753-01-01 to 9999-12-31 as days from 1900-01-01.
    if (!(whole >= -53690 && whole <= 2958463)) {
      failure = {8115, "Arithmetic overflow error converting expression to data type datetime."};
      return std::nullopt;
    }
    StoredDate d;
    CivilFromDays(DaysFromCivil(1900, 1, 1) + static_cast<int64_t>(whole), d.parts.year, d.parts.month, d.parts.day);
    const int64_t nanos =
        std::min(static_cast<int64_t>(std::llround((n - whole) * 86400.0 * 1000.0)) * 1000000, kNanosPerDay - 1000000);
    d.parts.hour = static_cast<int>(nanos / 3600000000000LL);
    d.parts.minute = static_cast<int>(nanos / 60000000000LL % 60);
    d.parts.second = static_cast<int>(nanos / 1000000000LL % 60);
    d.parts.nanos = nanos % 1000000000LL;
    return d;
  }
  const std::string text = Text(v);
  if (auto stored = RecognizeStoredDate(text)) return stored;
  if (auto parts = ParseDateTimeLiteral(text)) {
    StoredDate d;
    d.parts = *parts;
    return d;
  }
  failure = {241, "Conversion failed when converting date and/or time from character string."};
  return std::nullopt;
}

int64_t NanosOfDay(const DateTimeParts& p) {
  return ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000000000LL + p.nanos;
}

void SetNanosOfDay(DateTimeParts& p, int64_t nanos) {
  p.hour = static_cast<int>(nanos / 3600000000000LL);
  p.minute = static_cast<int>(nanos / 60000000000LL % 60);
  p.second = static_cast<int>(nanos / 1000000000LL % 60);
  p.nanos = nanos % 1000000000LL;
}

int DaysInMonth(int year, int month) {
  return static_cast<int>(DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                          DaysFromCivil(year, month, 1));
}

int64_t UnitNanos(Part p) {
  switch (p) {
    case Part::Hour: return 3600000000000LL;
    case Part::Minute: return 60000000000LL;
    case Part::Second: return 1000000000LL;
    case Part::Millisecond: return 1000000LL;
    case Part::Microsecond: return 1000LL;
    case Part::Nanosecond: return 1LL;
    default: return 0;
  }
}

// Week number counting weeks that start on the DATEFIRST day.
int64_t WeekIndex(int64_t days) {
  // 0001-01-01 was a Monday; day + 1 makes Sunday-starting weeks whole.
  return (days + 1 + (7 - kDateFirst % 7)) / 7;
}

int WeekdayNumber(int64_t days) {
  const int sunday0 = static_cast<int>((days + 1) % 7);  // 0 = Sunday
  return (sunday0 - kDateFirst % 7 + 7) % 7 + 1;
}

int IsoWeek(int64_t days) {
  const int isoDow = static_cast<int>(days % 7);  // 0 = Monday
  const int64_t thursday = days - isoDow + 3;
  int y, m, d;
  CivilFromDays(thursday, y, m, d);
  return static_cast<int>((thursday - DaysFromCivil(y, 1, 1)) / 7 + 1);
}

std::optional<std::string> Format(const StoredDate& d) {
  switch (d.kind) {
    case DateKind::DateTime: return FormatDateTime(d.parts);
    case DateKind::SmallDateTime: return FormatSmallDateTime(d.parts);
    case DateKind::Date: return FormatDate(d.parts);
    case DateKind::Time: return FormatTime(d.parts, d.fractionDigits);
    case DateKind::DateTime2: return FormatDateTime2(d.parts, d.fractionDigits);
    case DateKind::DateTimeOffset: {
      auto body = FormatDateTime2(d.parts, d.fractionDigits);
      if (!body) return body;
      const int off = d.offsetMinutes < 0 ? -d.offsetMinutes : d.offsetMinutes;
      char tail[16];
      std::snprintf(tail, sizeof tail, " %c%02d:%02d", d.offsetMinutes < 0 ? '-' : '+', off / 60, off % 60);
      return *body + tail;
    }
  }
  return std::nullopt;
}

// DATEADD: the date moved by n parts, in the type of the date.
std::optional<std::string> AddToDate(Part part, int64_t n, StoredDate d, Failure& failure) {
  const bool timePart = UnitNanos(part) != 0;
  if (d.kind == DateKind::Time && !timePart) {
    failure = {9810, std::string("The datepart ") + PartName(part) + " is not supported by date function dateadd for data type time."};
    return std::nullopt;
  }
  // A date moved by hours reads as the datetime literal it would be.
  if (d.kind == DateKind::Date && timePart) d.kind = DateKind::DateTime, d.fractionDigits = 3;
  // A value in smalldatetime's form moved by seconds or less keeps them.
  if (d.kind == DateKind::SmallDateTime && UnitNanos(part) != 0 && UnitNanos(part) < UnitNanos(Part::Minute) &&
      n * UnitNanos(part) % UnitNanos(Part::Minute) != 0)
    d.kind = DateKind::DateTime, d.fractionDigits = 3;
  const Failure overflow{517, std::string("Adding a value to a '") + TypeName(d.kind) + "' column caused an overflow."};
  int64_t days = DaysFromCivil(d.parts.year, d.parts.month, d.parts.day);
  int64_t nanos = NanosOfDay(d.parts);
  switch (part) {
    case Part::Year: case Part::Quarter: case Part::Month: {
      const int64_t months = n * (part == Part::Year ? 12 : part == Part::Quarter ? 3 : 1);
      const int64_t index = d.parts.year * 12LL + (d.parts.month - 1) + months;
      if (index < 12 || index >= 10000 * 12LL) { failure = overflow; return std::nullopt; }
      d.parts.year = static_cast<int>(index / 12);
      d.parts.month = static_cast<int>(index % 12) + 1;
      d.parts.day = std::min(d.parts.day, DaysInMonth(d.parts.year, d.parts.month));
      days = DaysFromCivil(d.parts.year, d.parts.month, d.parts.day);
      break;
    }
    case Part::DayOfYear: case Part::Day: case Part::Weekday: days += n; break;
    case Part::Week: days += 7 * n; break;
    case Part::IsoWeek: case Part::TzOffset:
      failure = {9810, std::string("The datepart ") + PartName(part) + " is not supported by date function dateadd for data type " +
                           TypeName(d.kind) + "."};
      return std::nullopt;
    default: {
      const int64_t unit = UnitNanos(part), perDay = kNanosPerDay / unit;
      days += n / perDay;
      nanos += (n % perDay) * unit;
      if (nanos < 0) nanos += kNanosPerDay, --days;
      if (nanos >= kNanosPerDay) nanos -= kNanosPerDay, ++days;
      break;
    }
  }
  if (d.kind == DateKind::Time) days = DaysFromCivil(1900, 1, 1);  // time wraps around midnight
  if (days < 0 || days > DaysFromCivil(9999, 12, 31)) { failure = overflow; return std::nullopt; }
  CivilFromDays(days, d.parts.year, d.parts.month, d.parts.day);
  SetNanosOfDay(d.parts, nanos);
  auto text = Format(d);
  if (!text) failure = overflow;
  return text;
}

// Days and nanoseconds of a value in UTC (datetimeoffset's offset taken off).
void Instant(const StoredDate& d, int64_t& days, int64_t& nanos) {
  days = DaysFromCivil(d.parts.year, d.parts.month, d.parts.day);
  nanos = NanosOfDay(d.parts) - d.offsetMinutes * 60000000000LL;
  while (nanos < 0) nanos += kNanosPerDay, --days;
  while (nanos >= kNanosPerDay) nanos -= kNanosPerDay, ++days;
}

// DATEDIFF: how many boundaries of `part` lie between the two values.
std::optional<__int128> Difference(Part part, const StoredDate& a, const StoredDate& b) {
  int64_t da, na, db, nb;
  Instant(a, da, na);
  Instant(b, db, nb);
  int ya, ma, dda, yb, mb, ddb;
  CivilFromDays(da, ya, ma, dda);
  CivilFromDays(db, yb, mb, ddb);
  switch (part) {
    case Part::Year: return yb - ya;
    case Part::Quarter: return (yb * 4 + (mb - 1) / 3) - (ya * 4 + (ma - 1) / 3);
    case Part::Month: return (yb * 12 + mb) - (ya * 12 + ma);
    case Part::DayOfYear: case Part::Day: case Part::Weekday: return db - da;
    case Part::Week: return WeekIndex(db) - WeekIndex(da);
    case Part::IsoWeek: case Part::TzOffset: return std::nullopt;
    default: {
      const int64_t unit = UnitNanos(part);
      const __int128 ta = static_cast<__int128>(da) * (kNanosPerDay / unit) + na / unit;
      const __int128 tb = static_cast<__int128>(db) * (kNanosPerDay / unit) + nb / unit;
      return tb - ta;
    }
  }
}

int64_t PartValue(Part part, const StoredDate& d) {
  const DateTimeParts& p = d.parts;
  const int64_t days = DaysFromCivil(p.year, p.month, p.day);
  switch (part) {
    case Part::Year: return p.year;
    case Part::Quarter: return (p.month - 1) / 3 + 1;
    case Part::Month: return p.month;
    case Part::DayOfYear: return days - DaysFromCivil(p.year, 1, 1) + 1;
    case Part::Day: return p.day;
    case Part::Week: return WeekIndex(days) - WeekIndex(DaysFromCivil(p.year, 1, 1)) + 1;
    case Part::Weekday: return WeekdayNumber(days);
    case Part::Hour: return p.hour;
    case Part::Minute: return p.minute;
    case Part::Second: return p.second;
    case Part::Millisecond: return p.nanos / 1000000;
    case Part::Microsecond: return p.nanos / 1000;
    case Part::Nanosecond: return p.nanos;
    case Part::IsoWeek: return IsoWeek(days);
    case Part::TzOffset: return d.offsetMinutes;
  }
  return 0;
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

// tsql_dateadd('part', n, date)
void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto part = ReadPart(argv[0]);
  if (!part) return Fail(ctx, BadPart(ctx, argv[0]));
  if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
  const double number = sqlite3_value_double(argv[1]);
  if (std::trunc(number) > INT32_MAX || std::trunc(number) < INT32_MIN)
    return Fail(ctx, {8115, "Arithmetic overflow error converting expression to data type int."});
  const auto n = static_cast<int64_t>(std::trunc(number));  // the fraction is cut, not rounded
  Failure failure;
  const auto date = ReadDate(argv[2], failure);
  if (!date) return Fail(ctx, failure);
  const auto text = AddToDate(*part, n, *date, failure);
  if (!text) return Fail(ctx, failure);
  ResultText(ctx, *text);
}

// tsql_datediff('part', start, end) and tsql_datediff_big: int and bigint.
void DateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto part = ReadPart(argv[0]);
  if (!part) return Fail(ctx, BadPart(ctx, argv[0]));
  if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
  Failure failure;
  const auto start = ReadDate(argv[1], failure);
  if (!start) return Fail(ctx, failure);
  const auto end = ReadDate(argv[2], failure);
  if (!end) return Fail(ctx, failure);
  const auto diff = Difference(*part, *start, *end);
  const std::string name = FunctionName(ctx);
  if (!diff) return Fail(ctx, BadPart(ctx, argv[0]));
  const bool big = name == "datediff_big";
  const __int128 lo = big ? INT64_MIN : INT32_MIN, hi = big ? INT64_MAX : INT32_MAX;
  if (*diff < lo || *diff > hi)
    return Fail(ctx, {535, "The " + name + " function resulted in an overflow. The number of dateparts separating two"
                               " date/time instances is too large. Try to use " + name + " with a less precise datepart."});
  sqlite3_result_int64(ctx, static_cast<int64_t>(*diff));
}

// tsql_datepart('part', date) and tsql_datename('part', date).
void DatePartOrName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto part = ReadPart(argv[0]);
  if (!part) return Fail(ctx, BadPart(ctx, argv[0]));
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Failure failure;
  const auto date = ReadDate(argv[1], failure);
  if (!date) return Fail(ctx, failure);
  const int64_t value = PartValue(*part, *date);
  if (std::string(FunctionName(ctx)) == "datepart") return sqlite3_result_int64(ctx, value);
  if (*part == Part::Month) return ResultText(ctx, kMonthNames[value - 1]);
  if (*part == Part::Weekday) return ResultText(ctx, kDayNames[(DaysFromCivil(date->parts.year, date->parts.month, date->parts.day) + 1) % 7]);
  if (*part == Part::TzOffset) {
    char buf[16];
    const int64_t off = value < 0 ? -value : value;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", value < 0 ? '-' : '+', static_cast<int>(off / 60), static_cast<int>(off % 60));
    return ResultText(ctx, buf);
  }
  ResultText(ctx, std::to_string(value));
}

// YEAR(d), MONTH(d), DAY(d): the part named by the user data.
void YearMonthDay(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Failure failure;
  const auto date = ReadDate(argv[0], failure);
  if (!date) return Fail(ctx, failure);
  const std::string name = FunctionName(ctx);
  sqlite3_result_int64(ctx, PartValue(name == "year" ? Part::Year : name == "month" ? Part::Month : Part::Day, *date));
}

// EOMONTH(date[, months]): the month's last day, as date.
void EndOfMonth(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Failure failure;
  auto date = ReadDate(argv[0], failure);
  if (!date) return Fail(ctx, failure);
  date->kind = DateKind::Date;
  const int64_t months = argc > 1 ? std::clamp<int64_t>(sqlite3_value_int64(argv[1]), INT32_MIN, INT32_MAX) : 0;
  const int64_t index = date->parts.year * 12LL + (date->parts.month - 1) + months;
  if (index < 12 || index >= 10000 * 12LL)
    return Fail(ctx, {517, "Adding a value to a 'date' column caused an overflow."});
  date->parts.year = static_cast<int>(index / 12);
  date->parts.month = static_cast<int>(index % 12) + 1;
  date->parts.day = DaysInMonth(date->parts.year, date->parts.month);
  ResultText(ctx, *FormatDate(date->parts));
}

bool ValidDate(int64_t y, int64_t m, int64_t d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(static_cast<int>(y), static_cast<int>(m));
}

// DATEFROMPARTS(y, m, d) and DATETIMEFROMPARTS(y, m, d, h, mi, s, ms).
void FromParts(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  int64_t v[7] = {};
  for (int i = 0; i < argc; ++i) v[i] = sqlite3_value_int64(argv[i]);
  const bool withTime = argc == 7;
  const Failure invalid{289, std::string("Cannot construct data type ") + (withTime ? "datetime" : "date") +
                                 ", some of the arguments have values which are not valid."};
  if (!ValidDate(v[0], v[1], v[2])) return Fail(ctx, invalid);
  DateTimeParts p;
  p.year = static_cast<int>(v[0]), p.month = static_cast<int>(v[1]), p.day = static_cast<int>(v[2]);
  if (!withTime) return ResultText(ctx, *FormatDate(p));
  if (v[3] < 0 || v[3] > 23 || v[4] < 0 || v[4] > 59 || v[5] < 0 || v[5] > 59 || v[6] < 0 || v[6] > 999)
    return Fail(ctx, invalid);
  p.hour = static_cast<int>(v[3]), p.minute = static_cast<int>(v[4]), p.second = static_cast<int>(v[5]);
  p.nanos = v[6] * 1000000;
  const auto text = FormatDateTime(p);
  if (!text) return Fail(ctx, invalid);
  ResultText(ctx, *text);
}

// ISDATE(text): 1 when the text converts to datetime.
void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
  const std::string text = Text(argv[0]);
  const auto stored = RecognizeStoredDate(text);
  if (stored && stored->kind != DateKind::Date && stored->kind != DateKind::Time && stored->fractionDigits > 3)
    return sqlite3_result_int(ctx, 0);  // more digits than datetime reads
  const auto parts = ParseDateTimeLiteral(text);
  sqlite3_result_int(ctx, parts && FormatDateTime(*parts) ? 1 : 0);
}

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  static char dateadd[] = "dateadd", datediff[] = "datediff", datediffBig[] = "datediff_big", datepart[] = "datepart",
              datename[] = "datename", year[] = "year", month[] = "month", day[] = "day";
  sqlite3_create_function(db, "tsql_dateadd", 3, flags, dateadd, DateAdd, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datediff", 3, flags, datediff, DateDiff, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datediff_big", 3, flags, datediffBig, DateDiff, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datepart", 2, flags, datepart, DatePartOrName, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datename", 2, flags, datename, DatePartOrName, nullptr, nullptr);
  for (char* name : {year, month, day}) sqlite3_create_function(db, name, 1, flags, name, YearMonthDay, nullptr, nullptr);
  for (int argc : {1, 2}) sqlite3_create_function(db, "eomonth", argc, flags, nullptr, EndOfMonth, nullptr, nullptr);
  sqlite3_create_function(db, "datefromparts", 3, flags, nullptr, FromParts, nullptr, nullptr);
  sqlite3_create_function(db, "datetimefromparts", 7, flags, nullptr, FromParts, nullptr, nullptr);
  sqlite3_create_function(db, "isdate", 1, flags, nullptr, IsDate, nullptr, nullptr);
}

}  // namespace standin
