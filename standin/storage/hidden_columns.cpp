#include "storage/hidden_columns.h"

#include <strings.h>

#include "catalog/schema_names.h"

namespace standin {
namespace {

bool EndsFromItem(const SqlToken& t) {
  if (t.kind == SqlToken::Kind::End || t.IsSymbol(";") || t.IsSymbol(")")) return true;
  for (const char* w : {"WHERE", "ORDER", "GROUP", "HAVING", "UNION", "EXCEPT", "INTERSECT", "OPTION", "FOR", "AS"})
    if (t.IsWord(w)) return true;
  return t.kind == SqlToken::Kind::Word || t.kind == SqlToken::Kind::QuotedName;  // an alias
}

}  // namespace

std::vector<SqlToken> ExpandHiddenStars(const std::vector<SqlToken>& t, TokenRange range, const VisibleColumns& visible) {
  std::vector<SqlToken> out;
  bool changed = false;
  for (size_t i = range.begin; i < range.end; ++i) {
    const bool star = t[i].IsSymbol("*") && i > range.begin && i + 2 < range.end && t[i + 1].IsWord("FROM") &&
                      (t[i - 1].IsWord("SELECT") || t[i - 1].IsWord("DISTINCT") || t[i - 1].kind == SqlToken::Kind::Number ||
                       t[i - 1].IsSymbol(")"));
    if (star) {
      // FROM [db.][schema.]table, then no join or second table.
      std::vector<std::string> parts;
      size_t k = i + 2;
      while (k < range.end && t[k].IsName()) {
        parts.push_back(t[k].text);
        ++k;
        if (k < range.end && t[k].IsSymbol(".")) ++k;
        else break;
      }
      const bool single = !parts.empty() && parts.size() <= 3 && (k >= range.end || EndsFromItem(t[k])) &&
                          !(k < range.end && (t[k].IsWord("JOIN") || t[k].IsSymbol(",")));
      bool joined = false;
      for (size_t j = k; j < range.end && single; ++j) joined |= t[j].IsWord("JOIN") || t[j].IsSymbol(",");
      if (single && !joined) {
        const std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
        if (const auto columns = visible(StoredName(schema, parts.back()))) {
          for (size_t c = 0; c < columns->size(); ++c) {
            if (c) {
              SqlToken comma;
              comma.kind = SqlToken::Kind::Symbol;
              comma.text = ",";
              out.push_back(comma);
            }
            SqlToken name;
            name.kind = SqlToken::Kind::QuotedName;
            name.text = (*columns)[c];
            out.push_back(name);
          }
          changed = true;
          continue;
        }
      }
    }
    out.push_back(t[i]);
  }
  if (!changed) return {};
  return out;
}

}  // namespace standin
