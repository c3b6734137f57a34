#include "types/date_styles.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace standin {
namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                   "july",    "august",   "september", "october", "november", "december"};

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Styles that read day before month.
bool DayFirst(int style) {
  switch (style) {
    case 3: case 4: case 5: case 103: case 104: case 105: return true;
    default: return false;
  }
}

// Month number of a (possibly long) English month name, 0 when none.
int MonthNumber(std::string_view word) {
  if (word.size() < 3) return 0;
  std::string lower(word);
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int m = 0; m < 12; ++m) {
    const std::string full = kLongMonths[m];
    if (lower == full || (lower.size() == 3 && full.compare(0, 3, lower) == 0)) return m + 1;
  }
  return 0;
}

std::string Iso(int year, int month, int day) {
  char b[16];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", year, month, day);
  return b;
}

int FullYear(int year, size_t digits) {
  if (digits == 2) return year + (year < 50 ? 2000 : 1900);
  return year;
}

// Rewrites the date part of a literal written with month names or in
// day-first order into ISO form; returns the text unchanged when neither applies.
std::string Normalize(std::string_view text, int style) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  auto word = [&](size_t& at) {
    const size_t start = at;
    while (at < text.size() && std::isalnum(static_cast<unsigned char>(text[at]))) ++at;
    return text.substr(start, at - start);
  };
  auto skipSeparators = [&](size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == ',' || text[at] == '-' || text[at] == '/' || text[at] == '.')) ++at;
  };
  size_t at = i;
  const std::string_view first = word(at);
  skipSeparators(at);
  size_t afterSecond = at;
  const std::string_view second = word(afterSecond);
  size_t afterThird = afterSecond;
  skipSeparators(afterThird);
  const std::string_view third = word(afterThird);
  const std::string rest(text.substr(afterThird));
  if (const int m = MonthNumber(first); m && AllDigits(second) && AllDigits(third) && second.size() <= 2) {
    // "Feb 29 2024 ...", "February 29, 2024"
    return Iso(FullYear(std::stoi(std::string(third)), third.size()), m, std::stoi(std::string(second))) + rest;
  }
  if (const int m = MonthNumber(second); m && AllDigits(first) && AllDigits(third) && first.size() <= 2) {
    // "29 Feb 2024", "29-Feb-24"
    return Iso(FullYear(std::stoi(std::string(third)), third.size()), m, std::stoi(std::string(first))) + rest;
  }
  if (DayFirst(style) && AllDigits(first) && AllDigits(second) && AllDigits(third) && first.size() <= 2 &&
      second.size() <= 2 && (third.size() == 2 || third.size() == 4)) {
    const char sep = text[i + first.size()];
    if (sep == '/' || sep == '.' || sep == '-')
      return Iso(FullYear(std::stoi(std::string(third)), third.size()), std::stoi(std::string(second)),
                 std::stoi(std::string(first))) + rest;
  }
  return std::string(text);
}

std::string Pad2(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// Fraction digits of the value, `digits` long.
std::string FractionText(const DateTimeParts& p, int digits) {
  char b[16];
  std::snprintf(b, sizeof b, "%09lld", static_cast<long long>(p.nanos));
  return std::string(b, static_cast<size_t>(digits));
}

}  // namespace

std::optional<std::string_view> SplitTimeZoneOffset(std::string_view text, int& offsetMinutes) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
    offsetMinutes = 0;
    return text.substr(0, text.size() - 1);
  }
  if (text.size() < 7) return std::nullopt;
  const std::string_view tail = text.substr(text.size() - 6);
  if ((tail[0] != '+' && tail[0] != '-') || tail[3] != ':' || !AllDigits(tail.substr(1, 2)) || !AllDigits(tail.substr(4, 2)))
    return std::nullopt;
  const int hours = (tail[1] - '0') * 10 + (tail[2] - '0');
  const int minutes = (tail[4] - '0') * 10 + (tail[5] - '0');
  if (hours > 14 || minutes > 59 || (hours == 14 && minutes > 0)) return std::nullopt;
  offsetMinutes = (tail[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
  return text.substr(0, text.size() - 6);
}

std::optional<StoredDate> RecognizeStoredDate(std::string_view text) {
  StoredDate d;
  std::string_view body = text;
  int offset = 0;
  bool hasOffset = false;
  if (text.size() > 26 && text[text.size() - 7] == ' ') {
    if (auto before = SplitTimeZoneOffset(text, offset)) {
      body = before->substr(0, before->size() - 1);
      hasOffset = true;
    }
  }
  auto digitsAt = [&](size_t at, size_t n) { return at + n <= body.size() && AllDigits(body.substr(at, n)); };
  const bool datePart = body.size() >= 10 && digitsAt(0, 4) && body[4] == '-' && digitsAt(5, 2) && body[7] == '-' &&
                        digitsAt(8, 2);
  const size_t timeAt = datePart ? 11 : 0;
  const bool timePart = body.size() >= timeAt + 8 && (!datePart || body[10] == ' ') && digitsAt(timeAt, 2) &&
                        body[timeAt + 2] == ':' && digitsAt(timeAt + 3, 2) && body[timeAt + 5] == ':' &&
                        digitsAt(timeAt + 6, 2);
  int fraction = 0;
  if (timePart && body.size() > timeAt + 8) {
    if (body[timeAt + 8] != '.' || !AllDigits(body.substr(timeAt + 9))) return std::nullopt;
    fraction = static_cast<int>(body.size() - timeAt - 9);
    if (fraction > 7) return std::nullopt;
  }
  if (datePart && body.size() == 10) {
    d.kind = DateKind::Date;
    d.fractionDigits = 0;
  } else if (datePart && timePart) {
    d.fractionDigits = fraction;
    if (hasOffset) d.kind = DateKind::DateTimeOffset;
    else if (fraction == 3) d.kind = DateKind::DateTime;
    else if (fraction == 0 && body.substr(17, 2) == "00") d.kind = DateKind::SmallDateTime;
    else d.kind = DateKind::DateTime2;
  } else if (!datePart && timePart) {
    d.kind = DateKind::Time;
    d.fractionDigits = fraction;
  } else {
    return std::nullopt;
  }
  if (hasOffset != (d.kind == DateKind::DateTimeOffset)) return std::nullopt;
  d.parts = ParseStoredDateTime(body);
  d.offsetMinutes = offset;
  return d;
}

bool IsDateStyle(int style) {
  if (style >= 0 && style <= 14) return true;
  if (style >= 100 && style <= 114) return true;
  switch (style) {
    case 20: case 21: case 22: case 23: case 24: case 25: case 120: case 121: case 126: case 127: return true;
    default: return false;
  }
}

std::optional<std::string> FormatDateStyle(const StoredDate& d, int style) {
  if (!IsDateStyle(style)) return std::nullopt;
  const DateTimeParts& p = d.parts;
  char y4[8];
  std::snprintf(y4, sizeof y4, "%04d", p.year);
  const std::string yyyy = y4;
  const std::string year = style >= 20 ? yyyy : Pad2(p.year % 100);
  const std::string mm = Pad2(p.month), dd = Pad2(p.day), mon = kMonths[p.month - 1];
  const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  const char* ampm = p.hour < 12 ? "AM" : "PM";
  // Fractions: datetime always shows milliseconds; the newer types their own digits.
  const int digits = d.kind == DateKind::DateTime || d.kind == DateKind::SmallDateTime ? 3 : d.fractionDigits;
  const std::string hms = Pad2(p.hour) + ":" + Pad2(p.minute) + ":" + Pad2(p.second);
  const std::string dot = digits > 0 ? "." + FractionText(p, digits) : "";
  const std::string colon = digits > 0 ? ":" + FractionText(p, digits) : "";
  char b[64];
  std::string date, time;
  switch (style % 100) {
    case 0:
      std::snprintf(b, sizeof b, "%s %2d %s %2d:%02d%s", mon.c_str(), p.day, yyyy.c_str(), hour12, p.minute, ampm);
      date = b;
      break;
    case 1: date = mm + "/" + dd + "/" + year; break;
    case 2: date = year + "." + mm + "." + dd; break;
    case 3: date = dd + "/" + mm + "/" + year; break;
    case 4: date = dd + "." + mm + "." + year; break;
    case 5: date = dd + "-" + mm + "-" + year; break;
    case 6: date = dd + " " + mon + " " + year; break;
    case 7: date = mon + " " + dd + ", " + year; break;
    case 8: case 24: time = hms; break;
    case 9:
      std::snprintf(b, sizeof b, "%s %2d %s %2d:%02d:%02d%s%s", mon.c_str(), p.day, yyyy.c_str(), hour12, p.minute,
                    p.second, colon.c_str(), ampm);
      date = b;
      break;
    case 10: date = mm + "-" + dd + "-" + year; break;
    case 11: date = year + "/" + mm + "/" + dd; break;
    case 12: date = year + mm + dd; break;
    case 13: date = dd + " " + mon + " " + yyyy; time = hms + colon; break;
    case 14: time = hms + colon; break;
    case 20: date = yyyy + "-" + mm + "-" + dd; time = hms; break;
    case 21: case 25: date = yyyy + "-" + mm + "-" + dd; time = hms + dot; break;
    case 22:
      std::snprintf(b, sizeof b, "%s/%s/%s %2d:%02d:%02d %s", mm.c_str(), dd.c_str(), Pad2(p.year % 100).c_str(), hour12,
                    p.minute, p.second, ampm);
      date = b;
      break;
    case 23: date = yyyy + "-" + mm + "-" + dd; break;
    case 26: case 27: {
      // ISO 8601: milliseconds of a datetime only when not zero.
      std::string fraction = dot;
      if (d.kind == DateKind::DateTime && p.nanos == 0) fraction.clear();
      date = yyyy + "-" + mm + "-" + dd + "T" + hms + fraction;
      if (style == 127 && d.kind != DateKind::DateTimeOffset) date += "Z";
      break;
    }
  }
  // A date alone keeps its ISO forms short; elsewhere it reads as midnight.
  if (d.kind == DateKind::Date) {
    switch (style % 100) {
      case 20: case 21: case 23: case 25: case 26: case 27: return yyyy + "-" + mm + "-" + dd;
      default: break;
    }
  }
  if (d.kind == DateKind::Time && !time.empty() && date.empty()) return time;
  if (date.empty()) return time;
  if (time.empty()) return date;
  return date + " " + time;
}

std::optional<DateTimeParts> ParseDateStyle(std::string_view text, int style) {
  if (const auto direct = DayFirst(style) ? std::nullopt : ParseDateTimeLiteral(text)) return direct;
  const std::string normal = Normalize(text, style);
  return ParseDateTimeLiteral(normal);
}

}  // namespace standin
