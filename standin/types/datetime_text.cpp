#include "types/datetime_text.h"

#include <cctype>
#include <cstdio>

namespace standin {
namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// ASCII tests, as the C locale the server runs in has them, without a call per character.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct Cursor {
  std::string_view s;
  size_t i = 0;
  bool AtEnd() const { return i >= s.size(); }
  char Peek() const { return AtEnd() ? '\0' : s[i]; }
  void SkipSpaces() { while (!AtEnd() && IsSpace(s[i])) ++i; }
  // Reads 1..maxDigits digits; -1 when none.
  int Number(int maxDigits, int* count = nullptr) {
    int v = 0, n = 0;
    while (!AtEnd() && n < maxDigits && IsDigit(s[i])) {
      v = v * 10 + (s[i++] - '0');
      ++n;
    }
    if (count) *count = n;
    return n == 0 ? -1 : v;
  }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++i;
    return true;
  }
};

bool ValidDate(const DateTimeParts& v) {
  return v.year >= 1 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
         v.day <= DaysInMonth(v.year, v.month);
}

// "HH:MM[:SS[.fffffff]] [AM|PM]"
bool ParseTime(Cursor& c, DateTimeParts& v) {
  v.hour = c.Number(2);
  if (v.hour < 0 || !c.Eat(':')) return false;
  v.minute = c.Number(2);
  if (v.minute < 0) return false;
  if (c.Eat(':')) {
    v.second = c.Number(2);
    if (v.second < 0) return false;
    if (c.Eat('.')) {
      int digits = 0;
      int64_t frac = 0;
      while (!c.AtEnd() && IsDigit(c.Peek())) {
        if (digits < 9) { frac = frac * 10 + (c.Peek() - '0'); ++digits; }
        ++c.i;
      }
      if (digits == 0) return false;
      for (int k = digits; k < 9; ++k) frac *= 10;
      v.nanos = frac;
    }
  }
  c.SkipSpaces();
  if (c.i + 2 <= c.s.size()) {
    const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(c.s[c.i])));
    const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(c.s[c.i + 1])));
    if ((a == 'A' || a == 'P') && m == 'M') {
      if (v.hour < 1 || v.hour > 12) return false;
      if (a == 'A' && v.hour == 12) v.hour = 0;
      if (a == 'P' && v.hour != 12) v.hour += 12;
      c.i += 2;
    }
  }
  return v.hour <= 23 && v.minute <= 59 && v.second <= 59;
}

bool ParseDate(Cursor& c, DateTimeParts& v) {
  const size_t start = c.i;
  int n1 = 0;
  const int a = c.Number(8, &n1);
  if (a < 0) return false;
  if (n1 == 8) {  // YYYYMMDD
    v.year = a / 10000;
    v.month = a / 100 % 100;
    v.day = a % 100;
    return ValidDate(v);
  }
  if (n1 == 4 && (c.Peek() == '-' || c.Peek() == '/' || c.Peek() == '.')) {  // YYYY-MM-DD
    const char sep = c.s[c.i++];
    v.year = a;
    v.month = c.Number(2);
    if (v.month < 0 || !c.Eat(sep)) return false;
    v.day = c.Number(2);
    return v.day >= 0 && ValidDate(v);
  }
  if (n1 <= 2 && (c.Peek() == '/' || c.Peek() == '-' || c.Peek() == '.')) {  // MM/DD/YYYY (us_english)
    const char sep = c.s[c.i++];
    v.month = a;
    v.day = c.Number(2);
    if (v.day < 0 || !c.Eat(sep)) return false;
    int n3 = 0;
    v.year = c.Number(4, &n3);
    if (n3 == 2) v.year += v.year < 50 ? 2000 : 1900;
    else if (n3 != 4) return false;
    return ValidDate(v);
  }
  c.i = start;
  return false;
}

// Zero-padded digits without printf or a heap string: dates are formatted for
// every row a bulk load stores. Returns the end of what it wrote.
char* PutDigits(char* out, int v, int width) {
  if (width == 2 && v >= 0 && v <= 99) {  // months, days and time fields
    *out++ = static_cast<char>('0' + v / 10);
    *out++ = static_cast<char>('0' + v % 10);
    return out;
  }
  char b[12];
  int n = 0;
  unsigned u = v < 0 ? 0u : static_cast<unsigned>(v);
  do {
    b[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u && n < 11);
  for (int k = n; k < width; ++k) *out++ = '0';
  while (n) *out++ = b[--n];
  return out;
}

std::string Two(int v) {
  char b[12];
  return std::string(b, PutDigits(b, v, 2));
}

// "YYYY-MM-DD"
char* PutDate(char* out, const DateTimeParts& v) {
  out = PutDigits(out, v.year, 4);
  *out++ = '-';
  out = PutDigits(out, v.month, 2);
  *out++ = '-';
  return PutDigits(out, v.day, 2);
}

std::string DatePart(const DateTimeParts& v) {
  char b[40];
  return std::string(b, PutDate(b, v));
}

// Adds whole seconds (may carry into the date).
void AddSeconds(DateTimeParts& v, int64_t seconds) {
  int64_t total = v.hour * 3600LL + v.minute * 60LL + v.second + seconds;
  int64_t days = DaysFromCivil(v.year, v.month, v.day);
  while (total >= 86400) { total -= 86400; ++days; }
  while (total < 0) { total += 86400; --days; }
  CivilFromDays(days, v.year, v.month, v.day);
  v.hour = static_cast<int>(total / 3600);
  v.minute = static_cast<int>(total / 60 % 60);
  v.second = static_cast<int>(total % 60);
}

// Rounds the fraction to `scale` digits, carrying into the seconds.
int64_t RoundFraction(DateTimeParts& v, int scale) {
  int64_t unit = 1;
  for (int k = scale; k < 9; ++k) unit *= 10;
  int64_t units = (v.nanos + unit / 2) / unit;
  int64_t perSecond = 1;
  for (int k = 0; k < scale; ++k) perSecond *= 10;
  if (units >= perSecond) {
    units -= perSecond;
    AddSeconds(v, 1);
  }
  v.nanos = units * unit;
  return units;
}

std::string Fraction(int64_t units, int scale) {
  if (scale == 0) return "";
  std::string digits = std::to_string(units);
  return "." + std::string(scale - digits.size(), '0') + digits;
}

}  // namespace

int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719162;  // shifted so that 0001-01-01 is day 0
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  const int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

std::optional<DateTimeParts> ParseDateTimeLiteral(std::string_view text) {
  Cursor c{text};
  DateTimeParts v;
  c.SkipSpaces();
  const size_t start = c.i;
  // A bare time first: "13:45" has a ':' after one or two digits.
  int n = 0;
  c.Number(2, &n);
  const bool timeOnly = n > 0 && c.Peek() == ':';
  c.i = start;
  if (timeOnly) {
    if (!ParseTime(c, v)) return std::nullopt;
  } else {
    if (!ParseDate(c, v)) return std::nullopt;
    if (c.Eat('T')) {
      if (!ParseTime(c, v)) return std::nullopt;
    } else {
      c.SkipSpaces();
      if (!c.AtEnd() && !ParseTime(c, v)) return std::nullopt;
    }
  }
  c.SkipSpaces();
  if (!c.AtEnd()) return std::nullopt;
  return v;
}

std::optional<std::string> FormatDateTime(DateTimeParts v) {
  // 1/300-second ticks, as SQL Server keeps them; shown as .000/.003/.007.
  int64_t ticks = (v.nanos * 300 + 500000000) / 1000000000;
  v.nanos = 0;
  if (ticks >= 300) { ticks -= 300; AddSeconds(v, 1); }
  if (v.year < 1753 || v.year > 9999) return std::nullopt;
  const int64_t ms = (ticks * 10 + 1) / 3;
  char b[96];  // room for any int in each field
  char* at = PutDate(b, v);
  *at++ = ' ';
  at = PutDigits(at, v.hour, 2);
  *at++ = ':';
  at = PutDigits(at, v.minute, 2);
  *at++ = ':';
  at = PutDigits(at, v.second, 2);
  *at++ = '.';
  at = PutDigits(at, static_cast<int>(ms), 3);
  return std::string(b, at);
}

std::optional<std::string> FormatSmallDateTime(DateTimeParts v) {
  const int64_t ms = v.second * 1000LL + v.nanos / 1000000;
  v.second = 0;
  v.nanos = 0;
  if (ms >= 29999) AddSeconds(v, 60);
  const bool inRange = v.year >= 1900 && (v.year < 2079 || (v.year == 2079 && (v.month < 6 || (v.month == 6 && v.day <= 6))));
  if (!inRange) return std::nullopt;
  return DatePart(v) + " " + Two(v.hour) + ":" + Two(v.minute) + ":00";
}

std::optional<std::string> FormatDateTime2(DateTimeParts v, int scale) {
  const int64_t units = RoundFraction(v, scale);
  if (v.year > 9999) return std::nullopt;
  return DatePart(v) + " " + Two(v.hour) + ":" + Two(v.minute) + ":" + Two(v.second) + Fraction(units, scale);
}

std::optional<std::string> FormatDate(const DateTimeParts& v) { return DatePart(v); }

std::string FormatTime(DateTimeParts v, int scale) {
  const int64_t units = RoundFraction(v, scale);
  return Two(v.hour) + ":" + Two(v.minute) + ":" + Two(v.second) + Fraction(units, scale);
}

DateTimeParts ParseStoredDateTime(std::string_view s) {
  DateTimeParts v;
  auto num = [&](size_t at, size_t len) {
    int r = 0;
    for (size_t k = at; k < at + len && k < s.size(); ++k) r = r * 10 + (s[k] - '0');
    return r;
  };
  size_t timeAt = std::string_view::npos;
  if (s.size() >= 10 && s[4] == '-') {
    v.year = num(0, 4);
    v.month = num(5, 2);
    v.day = num(8, 2);
    if (s.size() >= 19) timeAt = 11;
  } else if (s.size() >= 8 && s[2] == ':') {
    timeAt = 0;
  }
  if (timeAt != std::string_view::npos) {
    v.hour = num(timeAt, 2);
    v.minute = num(timeAt + 3, 2);
    v.second = num(timeAt + 6, 2);
    const size_t dot = timeAt + 8;
    if (dot < s.size() && s[dot] == '.') {
      int64_t frac = 0;
      int digits = 0;
      for (size_t k = dot + 1; k < s.size() && digits < 9; ++k, ++digits) frac = frac * 10 + (s[k] - '0');
      for (; digits < 9; ++digits) frac *= 10;
      v.nanos = frac;
    }
  }
  return v;
}

}  // namespace standin
