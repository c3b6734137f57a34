// The character classes of the driver's SQL text, shared by the tokenizer and the
// one-pass reader of plain INSERTs so that both split a statement alike.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace mdb {

// Character classes by table: every character of every row's INSERT is looked at.
enum CharacterClass : unsigned char { kWordStart = 1, kWordPart = 2, kBlank = 4 };

inline constexpr auto kClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
    bool part = start || (c >= '0' && c <= '9') || c == '$' || c == '#' || c == '@';
    bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    classes[c] = static_cast<unsigned char>((start ? kWordStart : 0) | (part ? kWordPart : 0) |
                                            (blank ? kBlank : 0));
  }
  return classes;
}();

inline bool IsWordStart(unsigned char c) { return kClasses[c] & kWordStart; }
inline bool IsWordPart(unsigned char c) { return kClasses[c] & kWordPart; }
inline bool IsBlank(unsigned char c) { return kClasses[c] & kBlank; }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Where the number that starts at `i` ends: 12, 1.5, .5, 1e-3, 0x1F.
inline std::size_t NumberEnd(std::string_view sql, std::size_t i) {
  if (sql[i] == '0' && i + 1 < sql.size() &&
      (sql[i + 1] == 'x' || sql[i + 1] == 'X')) {
    std::size_t j = i + 2;
    while (j < sql.size() && IsHexDigit(sql[j])) ++j;
    return j;
  }
  while (i < sql.size() && IsDigit(sql[i])) ++i;
  if (i < sql.size() && sql[i] == '.') {
    ++i;
    while (i < sql.size() && IsDigit(sql[i])) ++i;
  }
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
    if (j < sql.size() && IsDigit(sql[j])) {
      while (j < sql.size() && IsDigit(sql[j])) ++j;
      i = j;
    }
  }
  return i;
}

}  // namespace mdb
