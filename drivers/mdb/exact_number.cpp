#include "exact_number.h"

#include <charconv>
#include <cstdlib>
#include <limits>

namespace mdb {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<ExactNumber> ParseExactNumber(std::string_view text, bool negative) {
  text = Trim(text);
  ExactNumber number;
  number.negative = negative;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    if (text.front() == '-') number.negative = !number.negative;
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  bool anyDigit = false;
  std::string digits;
  int fractionDigits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    digits += text[i++];
    anyDigit = true;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      digits += text[i++];
      ++fractionDigits;
      anyDigit = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) expNegative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
    while (i < text.size() && IsDigit(text[i])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (expNegative) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;
  std::size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    number.digits.clear();
    number.exponent = 0;
    number.negative = false;  // -0 is 0
    return number;
  }
  digits.erase(0, firstNonZero);
  // Trailing zeros move into the exponent.
  std::size_t lastNonZero = digits.find_last_not_of('0');
  long long trailing = static_cast<long long>(digits.size() - 1 - lastNonZero);
  digits.erase(lastNonZero + 1);
  number.digits = std::move(digits);
  long long e = exponent - fractionDigits + trailing;
  if (e > 100000) e = 100000;
  if (e < -100000) e = -100000;
  number.exponent = static_cast<int>(e);
  return number;
}

std::optional<unsigned __int128> ScaledMagnitude(const ExactNumber& number, int scale,
                                                 Rounding rounding, int maxDigits) {
  if (number.digits.empty()) return static_cast<unsigned __int128>(0);
  long long shift = static_cast<long long>(number.exponent) + scale;
  const std::string& d = number.digits;
  long long intDigits = static_cast<long long>(d.size()) + shift;  // digits before the point
  if (intDigits > maxDigits) return std::nullopt;
  unsigned __int128 value = 0;
  for (long long k = 0; k < intDigits; ++k) {
    int digit = k < static_cast<long long>(d.size()) ? d[k] - '0' : 0;
    value = value * 10 + static_cast<unsigned>(digit);
  }
  if (intDigits < static_cast<long long>(d.size())) {
    // Digits dropped: d[intDigits..] (with leading implicit zeros when intDigits < 0).
    int first = intDigits >= 0 ? d[intDigits] - '0' : 0;
    bool restNonZero = false;
    std::size_t restStart = intDigits >= 0 ? static_cast<std::size_t>(intDigits) + 1 : 0;
    if (intDigits < 0) {
      restNonZero = true;  // every digit of d is non-zero at its end, and all are dropped
    } else {
      for (std::size_t k = restStart; k < d.size(); ++k) {
        if (d[k] != '0') restNonZero = true;
      }
    }
    bool up = false;
    if (first > 5 || (first == 5 && restNonZero)) {
      up = true;
    } else if (first == 5) {
      up = rounding == Rounding::HalfAwayFromZero || (value % 2 == 1);
    }
    if (up) {
      ++value;
      unsigned __int128 limit = 1;
      for (int k = 0; k < maxDigits; ++k) limit *= 10;
      if (value >= limit) return std::nullopt;
    }
  }
  return value;
}

double ToDouble(const ExactNumber& number) {
  if (number.digits.empty()) return 0.0;
  std::string text = number.digits + "e" + std::to_string(number.exponent);
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large: infinity; too small: zero. The exponent tells which.
    value = number.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  (void)end;
  return number.negative ? -value : value;
}

std::string ToDecimalText(unsigned __int128 value) {
  if (value == 0) return "0";
  std::string text;
  while (value > 0) {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  return text;
}

}  // namespace mdb
