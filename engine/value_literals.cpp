#include "value_literals.h"

#include <charconv>
#include <cstdio>

namespace talvoro::engine {
namespace {

void AppendNumber(unsigned value, std::string& out) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendTwoDigits(unsigned value, std::string& out) {
  out.push_back(static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

// Reads exactly `count` digits at `pos`.
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return true;
}

bool ReadTime(std::string_view text, std::size_t& pos, SQL_TIMESTAMP_STRUCT& value) {
  int h, m, s;
  if (!ReadDigits(text, pos, 2, h) || pos >= text.size() || text[pos++] != ':') return false;
  if (!ReadDigits(text, pos, 2, m) || pos >= text.size() || text[pos++] != ':') return false;
  if (!ReadDigits(text, pos, 2, s)) return false;
  value.hour = static_cast<SQLUSMALLINT>(h);
  value.minute = static_cast<SQLUSMALLINT>(m);
  value.second = static_cast<SQLUSMALLINT>(s);
  value.fraction = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    SQLUINTEGER nanos = 0;
    int digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (digits < 9) nanos = nanos * 10 + static_cast<SQLUINTEGER>(text[pos] - '0');
      ++digits;
      ++pos;
    }
    if (digits == 0) return false;
    for (int i = digits; i < 9; ++i) nanos *= 10;
    value.fraction = nanos;
  }
  return true;
}

}  // namespace

void AppendTextLiteral(std::string_view text, std::string& out) {
  out.push_back('\'');
  std::size_t start = 0;
  for (;;) {
    std::size_t quote = text.find('\'', start);
    if (quote == std::string_view::npos) break;
    out.append(text.substr(start, quote + 1 - start));
    out.push_back('\'');
    start = quote + 1;
  }
  out.append(text.substr(start));
  out.push_back('\'');
}

void AppendBinaryLiteral(std::string_view bytes, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.reserve(out.size() + bytes.size() * 2 + 2);
  out.push_back('\'');
  for (unsigned char b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
  }
  out.push_back('\'');
}

void AppendIntegerLiteral(std::int64_t value, std::string& out) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendDoubleLiteral(double value, std::string& out) {
  char text[32];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

void AppendRealLiteral(float value, std::string& out) {
  // The double nearest the decimal text is exactly this float, whichever
  // precision the driver parses in.
  AppendDoubleLiteral(static_cast<double>(value), out);
}

void AppendGuidLiteral(std::string_view text, std::string& out) {
  out.push_back('\'');
  if (text.empty() || text.front() != '{') out.push_back('{');
  out.append(text);
  if (text.empty() || text.back() != '}') out.push_back('}');
  out.push_back('\'');
}

bool IsStorableTimestamp(const SQL_TIMESTAMP_STRUCT& v) {
  if (v.year < kFirstStorableYear || v.year > kLastStorableYear) return false;
  if (v.month < 1 || v.month > 12 || v.day < 1 || v.day > 31) return false;
  return v.hour <= 23 && v.minute <= 59 && v.second <= 59 && v.fraction <= 999999999;
}

bool AppendTimestampLiteral(const SQL_TIMESTAMP_STRUCT& v, std::string& out) {
  if (!IsStorableTimestamp(v)) return false;
  out.push_back('\'');
  AppendNumber(v.day, out);
  out.push_back('/');
  AppendNumber(v.month, out);
  out.push_back('/');
  AppendNumber(static_cast<unsigned>(v.year), out);
  const unsigned millis = v.fraction / 1000000;
  if (v.hour != 0 || v.minute != 0 || v.second != 0 || millis != 0) {
    out.push_back(' ');
    AppendNumber(v.hour, out);
    out.push_back(':');
    AppendTwoDigits(v.minute, out);
    out.push_back(':');
    AppendTwoDigits(v.second, out);
    if (millis != 0) {
      out.push_back('.');
      out.push_back(static_cast<char>('0' + millis / 100));
      AppendTwoDigits(millis % 100, out);
    }
  }
  out.push_back('\'');
  return true;
}

bool ParseTimestampText(std::string_view text, SQL_TIMESTAMP_STRUCT& value) {
  value = SQL_TIMESTAMP_STRUCT{};
  std::size_t pos = 0;
  if (text.size() >= 3 && text[2] == ':') {
    value.year = 1899;
    value.month = 12;
    value.day = 30;
    return ReadTime(text, pos, value) && pos == text.size();
  }
  // Drivers write early years without leading zeros ("100-01-01").
  std::size_t yearDigits = text.find('-');
  if (yearDigits == std::string_view::npos || yearDigits == 0 || yearDigits > 4) return false;
  int y, m, d;
  if (!ReadDigits(text, pos, yearDigits, y) || text[pos++] != '-') return false;
  if (!ReadDigits(text, pos, 2, m) || pos >= text.size() || text[pos++] != '-') return false;
  if (!ReadDigits(text, pos, 2, d)) return false;
  value.year = static_cast<SQLSMALLINT>(y);
  value.month = static_cast<SQLUSMALLINT>(m);
  value.day = static_cast<SQLUSMALLINT>(d);
  if (pos == text.size()) return true;
  if (text[pos] != ' ' && text[pos] != 'T') return false;
  ++pos;
  return ReadTime(text, pos, value) && pos == text.size();
}

}  // namespace talvoro::engine
