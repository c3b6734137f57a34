#include "tsql/typed_rewrites.h"

#include <strings.h>

#include <cctype>
#include <optional>

#include "catalog/schema_names.h"
#include "types/collation.h"

namespace standin {
namespace {

const char kUnicode[] = "N";

bool IsClauseWord(const SqlToken& t) {
  for (const char* w : {"WHERE", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "ON", "GROUP", "ORDER",
                        "HAVING", "UNION", "EXCEPT", "INTERSECT", "OPTION", "WITH", "FOR", "SET", "VALUES", "SELECT",
                        "OUTPUT", "DEFAULT"})
    if (t.IsWord(w)) return true;
  return false;
}

struct TableReference {
  std::string stored;  // the table's stored name
  std::string alias;   // as written after it, else its bare name
};

// Tables the statement names after FROM, JOIN, UPDATE and INTO, with their aliases.
std::vector<TableReference> ReferencedTables(const std::vector<SqlToken>& t, TokenRange range) {
  std::vector<TableReference> out;
  for (size_t i = range.begin; i + 1 < range.end; ++i) {
    if (!(t[i].IsWord("FROM") || t[i].IsWord("JOIN") || t[i].IsWord("UPDATE") || t[i].IsWord("INTO"))) continue;
    size_t k = i + 1;
    if (!t[k].IsName()) continue;
    std::string schema, name = t[k].text;
    while (k + 2 < range.end && t[k + 1].IsSymbol(".") && t[k + 2].IsName()) {
      schema = name;
      name = t[k + 2].text;
      k += 2;
    }
    TableReference ref{IsDefaultSchema(schema) ? name : StoredName(schema, name), name};
    if (k + 1 < range.end && t[k + 1].IsWord("AS")) ++k;
    if (k + 1 < range.end && t[k + 1].IsName() && !IsClauseWord(t[k + 1])) ref.alias = t[k + 1].text;
    out.push_back(std::move(ref));
  }
  return out;
}

std::string UnitOfType(const SqlType& type) {
  if (IsNCharKind(type.kind)) return kUnicode;
  if (IsCharKind(type.kind)) return (type.collation ? *type.collation : DefaultCollation()).name;
  return "";
}

}  // namespace

std::vector<SqlToken> AddTypedRewrites(const std::vector<SqlToken>& tokens, TokenRange range, Database& db,
                                       const std::map<std::string, Value>& variables) {
  std::vector<SqlToken> out;
  std::vector<TableReference> tables;
  bool tablesRead = false, any = false;
  auto findColumn = [&](const std::string& qualifier, const std::string& column) -> std::optional<ColumnMeta> {
    if (!tablesRead) tables = ReferencedTables(tokens, range), tablesRead = true;
    for (const auto& table : tables) {
      if (!qualifier.empty() && strcasecmp(qualifier.c_str(), table.alias.c_str()) != 0) continue;
      for (const auto& c : db.TableColumns(table.stored))
        if (strcasecmp(c.name.c_str(), column.c_str()) == 0) return c;
    }
    return std::nullopt;
  };
  for (size_t i = range.begin; i < range.end; ++i) {
    out.push_back(tokens[i]);
    // column [NOT] LIKE pattern, the column case-sensitive and no ESCAPE clause.
    if (tokens[i].IsName()) {
      size_t like = i + 1;
      if (like < range.end && tokens[like].IsWord("NOT")) ++like;
      if (like + 1 < range.end && tokens[like].IsWord("LIKE") &&
          !(like + 2 < range.end && tokens[like + 2].IsWord("ESCAPE"))) {
        const bool qualified = i >= range.begin + 2 && tokens[i - 1].IsSymbol(".");
        const auto column = findColumn(qualified ? tokens[i - 2].text : "", tokens[i].text);
        const Collation* collation = column ? column->type.collation : nullptr;
        if (collation && (collation->binary || !collation->ignoreCase)) {
          for (size_t k = i + 1; k < like; ++k) out.push_back(tokens[k]);
          SqlToken match = tokens[like];
          match.text = "MATCH";
          out.push_back(match);
          i = like;
          any = true;
          continue;
        }
      }
    }
    if (!tokens[i].IsWord("DATALENGTH") || i + 2 >= range.end || !tokens[i + 1].IsSymbol("(")) continue;
    // The argument: one token, or qualifier.column.
    size_t close = i + 3;
    if (close + 1 < range.end && tokens[i + 3].IsSymbol(".") && tokens[i + 2].IsName()) close = i + 5;
    if (close >= range.end || !tokens[close].IsSymbol(")")) continue;
    const SqlToken& arg = tokens[close - 1];
    std::string unit;
    if (arg.kind == SqlToken::Kind::String) {
      unit = arg.national ? kUnicode : db.collation().name;
    } else if (arg.kind == SqlToken::Kind::Variable) {
      std::string name = arg.text;
      for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto v = variables.find(name);
      if (v != variables.end() && v->second.kind == Value::Kind::String)
        unit = v->second.declaredType ? UnitOfType(*v->second.declaredType)
               : v->second.national   ? kUnicode
                                      : db.collation().name;
    } else if (arg.IsName()) {
      if (const auto column = findColumn(close == i + 5 ? tokens[i + 2].text : "", arg.text)) unit = UnitOfType(column->type);
    }
    if (unit.empty()) continue;
    for (size_t k = i + 1; k < close; ++k) out.push_back(tokens[k]);
    SqlToken comma, text;
    comma.kind = SqlToken::Kind::Symbol;
    comma.text = ",";
    text.kind = SqlToken::Kind::String;
    text.text = unit;
    out.push_back(comma);
    out.push_back(text);
    i = close - 1;
    any = true;
  }
  if (!any) return {};
  return out;
}

}  // namespace standin
