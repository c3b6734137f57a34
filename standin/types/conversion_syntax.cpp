#include "types/conversion_syntax.h"

#include "types/explicit_conversion.h"

namespace standin {
namespace {

bool EndsSelectList(const SqlToken& tok) {
  static const char* const kWords[] = {"FROM", "INTO", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT",
                                       "INTERSECT", "OPTION"};
  if (tok.kind == SqlToken::Kind::End || tok.IsSymbol(";")) return true;
  for (const char* w : kWords)
    if (tok.IsWord(w)) return true;
  return false;
}

bool IsConversion(const SqlToken& tok) {
  return tok.IsWord("CONVERT") || tok.IsWord("TRY_CONVERT") || tok.IsWord("CAST") || tok.IsWord("TRY_CAST");
}

// The type of the conversion starting at `at` and closing at `close`.
std::optional<SqlType> ConversionType(const std::vector<SqlToken>& t, size_t at, size_t close) {
  const size_t open = at + 1;
  size_t typeBegin = 0, typeEnd = 0;
  int depth = 0;
  if (t[at].IsWord("CONVERT") || t[at].IsWord("TRY_CONVERT")) {
    for (size_t k = open + 1; k < close; ++k) {
      if (t[k].IsSymbol("(")) ++depth;
      if (t[k].IsSymbol(")")) --depth;
      if (depth == 0 && t[k].IsSymbol(",")) { typeBegin = open + 1; typeEnd = k; break; }
    }
  } else {
    for (size_t k = open + 1; k < close; ++k) {
      if (t[k].IsSymbol("(")) ++depth;
      if (t[k].IsSymbol(")")) --depth;
      if (depth == 0 && t[k].IsWord("AS")) { typeBegin = k + 1; typeEnd = close; }
    }
  }
  if (typeBegin >= typeEnd) return std::nullopt;
  ConversionError ignored;
  return ParseTargetType(TypeText(t, typeBegin, typeEnd), ignored);
}

}  // namespace

size_t MatchingParen(const std::vector<SqlToken>& t, size_t open, size_t end) {
  int depth = 0;
  for (size_t k = open; k < end; ++k) {
    if (t[k].IsSymbol("(")) ++depth;
    if (t[k].IsSymbol(")") && --depth == 0) return k;
  }
  return end;
}

std::string TypeText(const std::vector<SqlToken>& t, size_t begin, size_t end) {
  std::string s;
  for (size_t k = begin; k < end; ++k) {
    if (k > begin && t[k].IsName() && t[k - 1].IsName()) s += ' ';
    s += t[k].text;
  }
  return s;
}

std::optional<SqlType> ConversionTypeOf(const std::vector<SqlToken>& t, TokenRange range) {
  if (range.end - range.begin < 4 || !IsConversion(t[range.begin]) || !t[range.begin + 1].IsSymbol("(")) return std::nullopt;
  const size_t close = MatchingParen(t, range.begin + 1, range.end);
  if (close + 1 != range.end) return std::nullopt;
  return ConversionType(t, range.begin, close);
}

std::vector<std::optional<SqlType>> ConvertedItemTypes(const std::vector<SqlToken>& t, TokenRange range) {
  size_t i = range.begin;
  if (i >= range.end || !t[i].IsWord("SELECT")) return {};
  ++i;
  if (i < range.end && (t[i].IsWord("DISTINCT") || t[i].IsWord("ALL"))) ++i;
  if (i < range.end && t[i].IsWord("TOP")) {
    ++i;
    if (i < range.end && t[i].IsSymbol("(")) i = MatchingParen(t, i, range.end) + 1;
    else ++i;
    if (i < range.end && t[i].IsWord("PERCENT")) ++i;
    if (i + 1 < range.end && t[i].IsWord("WITH") && t[i + 1].IsWord("TIES")) i += 2;
  }
  std::vector<std::optional<SqlType>> types;
  while (i < range.end) {
    // One item: up to a comma or the end of the list at depth 0.
    size_t itemEnd = i;
    int depth = 0;
    while (itemEnd < range.end) {
      const SqlToken& tok = t[itemEnd];
      if (depth == 0 && (tok.IsSymbol(",") || EndsSelectList(tok))) break;
      if (tok.IsSymbol("(")) ++depth;
      if (tok.IsSymbol(")")) --depth;
      ++itemEnd;
    }
    if (itemEnd == i) return {};
    size_t at = i;
    if (itemEnd - i >= 3 && t[i].IsName() && t[i + 1].IsSymbol("=")) at = i + 2;  // alias = expression
    std::optional<SqlType> type;
    if (at + 1 < itemEnd && IsConversion(t[at]) && t[at + 1].IsSymbol("(")) {
      const size_t close = MatchingParen(t, at + 1, itemEnd);
      const size_t after = itemEnd - close - 1;
      const bool aliasOnly = after == 0 || (after == 1 && t[close + 1].IsName()) ||
                             (after == 2 && t[close + 1].IsWord("AS") && t[close + 2].IsName()) ||
                             (after == 1 && t[close + 1].kind == SqlToken::Kind::String);
      if (close < itemEnd && aliasOnly) type = ConversionType(t, at, close);
    }
    types.push_back(type);
    if (itemEnd >= range.end || !t[itemEnd].IsSymbol(",")) break;
    i = itemEnd + 1;
  }
  return types;
}

}  // namespace standin
