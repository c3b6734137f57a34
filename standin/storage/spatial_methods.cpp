#include "storage/spatial_methods.h"

#include <strings.h>

namespace standin {
namespace {

// Where the value before t[end] begins: a name chain (t.col), a variable, or
// a parenthesized expression or call (geography::STGeomFromText(...)).
std::optional<size_t> OperandStart(const std::vector<SqlToken>& t, size_t end, TokenRange range, std::string& hint) {
  if (end <= range.begin) return std::nullopt;
  size_t k = end - 1;
  if (t[k].IsSymbol(")")) {
    int depth = 0;
    for (;; --k) {
      if (t[k].IsSymbol(")")) ++depth;
      if (t[k].IsSymbol("(") && --depth == 0) break;
      if (k == range.begin) return std::nullopt;
    }
    if (k > range.begin && t[k - 1].kind == SqlToken::Kind::Word) --k;
    if (k >= range.begin + 3 && t[k - 1].IsSymbol(":") && t[k - 2].IsSymbol(":") &&
        (t[k - 3].IsWord("GEOGRAPHY") || t[k - 3].IsWord("GEOMETRY"))) {
      k -= 3;
      hint = t[k].IsWord("GEOGRAPHY") ? "geography" : "geometry";
    }
    return k;
  }
  if (t[k].kind == SqlToken::Kind::Variable) return k;
  if (!t[k].IsName()) return std::nullopt;
  hint = t[k].text;
  while (k >= range.begin + 2 && t[k - 1].IsSymbol(".") && t[k - 2].IsName()) k -= 2;
  return k;
}

}  // namespace

bool RewriteSpatialMethod(const std::vector<SqlToken>& t, size_t& i, TokenRange range,
                          const std::vector<size_t>& emittedAt, std::string& sql) {
  if (!t[i].IsSymbol(".") || i + 3 >= range.end || !t[i + 2].IsSymbol("(") || !t[i + 3].IsSymbol(")")) return false;
  const SqlToken& method = t[i + 1];
  const bool zm = method.IsWord("TOSTRING") || method.IsWord("ASTEXTZM");
  if (!zm && !method.IsWord("STASTEXT")) return false;
  std::string hint;
  const auto start = OperandStart(t, i, range, hint);
  if (!start) return false;
  const size_t at = emittedAt[*start - range.begin];
  if (at == std::string::npos || at > sql.size()) return false;
  sql.insert(at, " tsql_spatial_text(");  // before the blank that parts tokens
  std::string quoted;
  for (char c : hint) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  sql += ", '" + quoted + "', " + (zm ? "1" : "0") + ")";
  i += 3;
  return true;
}

}  // namespace standin
