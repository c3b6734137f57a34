// Numbers as written in SQL text, kept exact so that money and decimals are stored
// digit for digit (12.3400 is 123400 ten-thousandths, never a rounded double).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mdb {

struct ExactNumber {
  bool negative = false;
  std::string digits;  // significant digits, no leading zeros; empty for zero
  int exponent = 0;    // value = digits * 10^exponent
};

// "12", "12.50", ".5", "1e-3", "1.5E+3"; nullopt if the text is not such a number.
// Leading/trailing blanks and one leading sign are accepted (numbers inside quotes).
std::optional<ExactNumber> ParseExactNumber(std::string_view text, bool negative = false);

enum class Rounding { HalfEven, HalfAwayFromZero };

// The number times 10^scale, rounded to a whole number; nullopt when its magnitude
// needs more than `maxDigits` digits (at most 38).
std::optional<unsigned __int128> ScaledMagnitude(const ExactNumber& number, int scale,
                                                 Rounding rounding, int maxDigits = 38);

// Nearest double; infinite for numbers beyond the double range.
double ToDouble(const ExactNumber& number);

// Decimal text of an unsigned 128-bit number.
std::string ToDecimalText(unsigned __int128 value);

}  // namespace mdb
