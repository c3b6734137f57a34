#include "storage/division_rewrite.h"

namespace standin {
namespace {

bool IsDivision(const SqlToken& t) { return t.IsSymbol("/") || t.IsSymbol("%"); }

// A token after which a binary operator may stand.
bool EndsOperand(const SqlToken& t) {
  if (t.kind == SqlToken::Kind::End) return false;
  if (t.kind == SqlToken::Kind::Symbol) return t.text == ")";
  return true;
}

SqlToken Make(SqlToken::Kind kind, const char* text) {
  SqlToken t;
  t.kind = kind;
  t.text = text;
  return t;
}

// Start (in `out`) of the primary that ends at out.back(): a literal, a name
// chain, a call, a parenthesised group or a CASE ... END, with unary signs.
size_t PrimaryStart(const std::vector<SqlToken>& out, size_t end) {
  size_t i = end - 1;
  if (out[i].IsSymbol(")")) {
    int depth = 0;
    for (;; --i) {
      if (out[i].IsSymbol(")")) ++depth;
      if (out[i].IsSymbol("(") && --depth == 0) break;
      if (i == 0) return 0;
    }
    if (i > 0 && out[i - 1].IsName()) --i;  // a function's name
  } else if (out[i].IsWord("END")) {
    int depth = 0;
    for (;; --i) {
      if (out[i].IsWord("END")) ++depth;
      if (out[i].IsWord("CASE") && --depth == 0) break;
      if (i == 0) return 0;
    }
  }
  while (i >= 2 && out[i - 1].IsSymbol(".") && out[i - 2].IsName()) i -= 2;  // schema.table.column
  // Unary signs: a sign with no operand before it.
  while (i >= 1 && (out[i - 1].IsSymbol("-") || out[i - 1].IsSymbol("+") || out[i - 1].IsSymbol("~")) &&
         (i == 1 || !EndsOperand(out[i - 2])))
    --i;
  return i;
}

// The left operand: primaries joined by * / % (they group to the left).
size_t LeftOperandStart(const std::vector<SqlToken>& out) {
  size_t start = PrimaryStart(out, out.size());
  while (start >= 2 && out[start - 1].IsSymbol("*") && EndsOperand(out[start - 2]))
    start = PrimaryStart(out, start - 1);
  return start;
}

// End (exclusive) of the primary starting at `i`.
size_t PrimaryEnd(const std::vector<SqlToken>& t, size_t i, size_t end) {
  while (i < end && (t[i].IsSymbol("-") || t[i].IsSymbol("+") || t[i].IsSymbol("~"))) ++i;
  if (i >= end) return end;
  auto skipParens = [&](size_t k) {
    int depth = 0;
    for (; k < end; ++k) {
      if (t[k].IsSymbol("(")) ++depth;
      if (t[k].IsSymbol(")") && --depth == 0) return k + 1;
    }
    return end;
  };
  if (t[i].IsSymbol("(")) return skipParens(i);
  if (t[i].IsWord("CASE")) {
    int depth = 0;
    for (; i < end; ++i) {
      if (t[i].IsWord("CASE")) ++depth;
      if (t[i].IsWord("END") && --depth == 0) return i + 1;
    }
    return end;
  }
  ++i;
  while (i + 1 < end && t[i].IsSymbol(".") && t[i + 1].IsName()) i += 2;
  if (i < end && t[i].IsSymbol("(") && t[i - 1].IsName()) return skipParens(i);
  return i;
}

void Wrap(const std::vector<SqlToken>& t, size_t begin, size_t end, std::vector<SqlToken>& out) {
  for (size_t i = begin; i < end; ++i) {
    if (!IsDivision(t[i]) || out.empty() || !EndsOperand(out.back())) {
      out.push_back(t[i]);
      continue;
    }
    const size_t leftStart = LeftOperandStart(out);
    std::vector<SqlToken> left(out.begin() + static_cast<std::ptrdiff_t>(leftStart), out.end());
    out.resize(leftStart);
    out.push_back(Make(SqlToken::Kind::Word, t[i].IsSymbol("/") ? "tsql_divide" : "tsql_modulo"));
    out.push_back(Make(SqlToken::Kind::Symbol, "("));
    out.insert(out.end(), left.begin(), left.end());
    out.push_back(Make(SqlToken::Kind::Symbol, ","));
    const size_t rightEnd = PrimaryEnd(t, i + 1, end);
    Wrap(t, i + 1, rightEnd, out);
    out.push_back(Make(SqlToken::Kind::Symbol, ")"));
    i = rightEnd - 1;
  }
}

}  // namespace

std::vector<SqlToken> WrapDivisions(const std::vector<SqlToken>& tokens, TokenRange range) {
  bool any = false;
  for (size_t i = range.begin; i < range.end && !any; ++i) any = IsDivision(tokens[i]);
  if (!any) return {};
  std::vector<SqlToken> out;
  Wrap(tokens, range.begin, range.end, out);
  return out;
}

}  // namespace standin
