#include "date_time_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "sql_tokenizer.h"

namespace mdb {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Days from 1970-01-01 (proleptic Gregorian), after H. Hinnant's days_from_civil.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const long long kJetEpoch = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[month - 1];
}

// Reads digits into `value`; returns the count read.
int ReadInt(std::string_view s, std::size_t& i, int& value) {
  const std::size_t start = i, limit = std::min(s.size(), i + 9);
  int v = 0;
  while (i < limit && IsDigit(s[i])) v = v * 10 + (s[i++] - '0');
  value = v;
  return static_cast<int>(i - start);
}

bool ParseTime(std::string_view s, std::size_t& i, DateTimeParts& parts) {
  if (ReadInt(s, i, parts.hour) == 0) return false;
  if (i >= s.size() || s[i] != ':') return false;
  ++i;
  if (ReadInt(s, i, parts.minute) == 0) return false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (ReadInt(s, i, parts.second) == 0) return false;
    if (i < s.size() && s[i] == '.') {
      ++i;
      // Fraction of a second: rounded half up to the millisecond (Jet keeps no
      // finer time). Digits past the fifteenth cannot change that rounding.
      std::uint64_t fraction = 0, scale = 1;
      int digits = 0;
      for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) {
        if (digits >= 15) continue;
        fraction = fraction * 10 + static_cast<unsigned>(s[i] - '0');
        scale *= 10;
      }
      if (digits == 0) return false;
      parts.millisecond = static_cast<int>((fraction * 2000 + scale) / (2 * scale));
      if (parts.millisecond == 1000) parts.millisecond = 999;
    }
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i + 2 <= s.size()) {
    std::string_view suffix = s.substr(i, 2);
    bool am = EqualsIgnoreCase(suffix, "AM"), pm = EqualsIgnoreCase(suffix, "PM");
    if (am || pm) {
      if (parts.hour < 1 || parts.hour > 12) return false;
      if (am && parts.hour == 12) parts.hour = 0;
      if (pm && parts.hour != 12) parts.hour += 12;
      i += 2;
    }
  }
  return true;
}

}  // namespace

bool IsValidDateTime(const DateTimeParts& p) {
  return p.year >= 100 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 &&
         p.minute <= 59 && p.second >= 0 && p.second <= 59 && p.millisecond >= 0 &&
         p.millisecond <= 999;
}

std::optional<DateTimeParts> ParseDateLiteral(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  DateTimeParts parts;
  std::size_t i = 0;
  int first = 0;
  std::size_t start = i;
  int firstDigits = ReadInt(s, i, first);
  if (firstDigits == 0) return std::nullopt;
  if (i < s.size() && s[i] == ':') {  // a time alone: on Jet's day zero
    i = start;
    if (!ParseTime(s, i, parts) || i != s.size()) return std::nullopt;
  } else {
    if (i >= s.size()) return std::nullopt;
    char separator = s[i];
    if (separator != '/' && separator != '-' && separator != '.') return std::nullopt;
    ++i;
    int second = 0, third = 0;
    if (ReadInt(s, i, second) == 0) return std::nullopt;
    if (i >= s.size() || s[i] != separator) return std::nullopt;
    ++i;
    if (ReadInt(s, i, third) == 0) return std::nullopt;
    if (firstDigits == 4) {  // year first: 2004-03-09
      parts.year = first;
      parts.month = second;
      parts.day = third;
    } else {  // day first: 9/3/2004
      parts.day = first;
      parts.month = second;
      parts.year = third;
    }
    if (i < s.size()) {
      if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
      while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
      if (!ParseTime(s, i, parts) || i != s.size()) return std::nullopt;
    }
  }
  if (!IsValidDateTime(parts)) return std::nullopt;
  return parts;
}

jet::DateTime ToJetDateTime(const DateTimeParts& p) {
  long long days = DaysFromCivil(p.year, static_cast<unsigned>(p.month),
                                 static_cast<unsigned>(p.day)) - kJetEpoch;
  double time =
      ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
  // Before 1899-12-30 Jet counts the time of day away from zero as well: -1.25 is
  // 1899-12-29 06:00.
  jet::DateTime value;
  value.days = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
  return value;
}

bool IsRepresentableJetDateTime(jet::DateTime value) {
  // Days of 1 January 100 and 31 December 9999, as Access allows; a damaged file
  // may hold any bits, NaN included.
  return std::isfinite(value.days) && value.days >= -657434.0 && value.days < 2958466.0;
}

DateTimeParts FromJetDateTime(jet::DateTime value) {
  if (!std::isfinite(value.days)) value.days = 0;
  value.days = std::clamp(value.days, -1e8, 1e8);  // no undefined conversions below
  double whole = std::trunc(value.days);
  double fraction = std::fabs(value.days - whole);
  long long days = static_cast<long long>(whole);
  long long ms = std::llround(fraction * 86400000.0);
  if (ms >= 86400000) {  // rounding reached midnight
    ms -= 86400000;
    days += value.days < 0 ? -1 : 1;
  }
  DateTimeParts p;
  CivilFromDays(days + kJetEpoch, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

std::string FormatDateTime(const DateTimeParts& p) {
  char text[40];
  if (p.millisecond != 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, p.millisecond);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
  }
  return text;
}

}  // namespace mdb
