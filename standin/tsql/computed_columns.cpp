#include "tsql/computed_columns.h"

#include <strings.h>

#include <algorithm>
#include <optional>

#include "storage/sqlite_handle.h"
#include "types/collation.h"
#include "types/conversion_syntax.h"

namespace standin {

// The type of an expression that is one call of a date built-in whose result
// type does not follow its arguments (DATEDIFF of two dates is an int).
static std::optional<SqlType> DateFunctionType(const std::vector<SqlToken>& t, TokenRange range) {
  size_t i = range.begin;
  while (i < range.end && t[i].IsSymbol("(")) ++i;
  if (i + 1 >= range.end || !t[i + 1].IsSymbol("(")) return std::nullopt;
  const size_t close = MatchingParen(t, i + 1, range.end);
  for (size_t k = close + 1; k < range.end; ++k)
    if (!t[k].IsSymbol(")")) return std::nullopt;  // only part of a larger expression
  struct Result {
    const char* function;
    SqlType type;
  };
  static const Result kResults[] = {
      {"DATEDIFF", {TypeKind::Int, 0, 0, 0}},        {"DATEPART", {TypeKind::Int, 0, 0, 0}},
      {"YEAR", {TypeKind::Int, 0, 0, 0}},            {"MONTH", {TypeKind::Int, 0, 0, 0}},
      {"DAY", {TypeKind::Int, 0, 0, 0}},             {"ISDATE", {TypeKind::Int, 0, 0, 0}},
      {"DATEDIFF_BIG", {TypeKind::BigInt, 0, 0, 0}}, {"DATENAME", {TypeKind::NVarChar, 30, 0, 0}},
      {"EOMONTH", {TypeKind::Date, 0, 0, 0}},        {"DATEFROMPARTS", {TypeKind::Date, 0, 0, 0}},
      {"DATETIMEFROMPARTS", {TypeKind::DateTime, 0, 0, 0}}};
  for (const auto& r : kResults)
    if (t[i].IsWord(r.function)) return r.type;
  return std::nullopt;
}

SqlType ComputedColumnType(const std::string& expression, const std::vector<ColumnMeta>& columns) {
  const LexResult lex = Tokenize(expression);
  const TokenRange all{0, lex.tokens.empty() ? 0 : lex.tokens.size() - 1};
  if (auto converted = ConversionTypeOf(lex.tokens, all)) return *converted;
  if (auto dated = DateFunctionType(lex.tokens, all)) return *dated;
  std::vector<SqlType> used;
  bool joinsText = false;
  for (size_t i = all.begin; i < all.end; ++i) {
    const SqlToken& t = lex.tokens[i];
    if (t.kind == SqlToken::Kind::String) {
      used.push_back(SqlType{t.national ? TypeKind::NVarChar : TypeKind::VarChar, static_cast<int>(t.text.size()), 0, 0});
      continue;
    }
    if (!t.IsName() || (i + 1 < all.end && lex.tokens[i + 1].IsSymbol("("))) continue;
    for (const auto& c : columns)
      if (c.computed.empty() && strcasecmp(c.name.c_str(), t.text.c_str()) == 0) used.push_back(c.type);
  }
  for (const auto& t : used) joinsText |= IsCharKind(t.kind) || IsNCharKind(t.kind);
  if (used.empty()) return SqlType{TypeKind::Int, 0, 0, 0};
  if (joinsText) {
    bool national = false;
    int length = 0;
    for (const auto& t : used) {
      national |= IsNCharKind(t.kind);
      length += t.IsMax() ? 8000 : std::max(t.length, IsCharKind(t.kind) || IsNCharKind(t.kind) ? 0 : 30);
    }
    const int limit = national ? 4000 : 8000;
    return SqlType{national ? TypeKind::NVarChar : TypeKind::VarChar, length > limit ? kMaxLength : std::max(length, 1), 0, 0};
  }
  auto any = [&](TypeKind k) {
    return std::any_of(used.begin(), used.end(), [k](const SqlType& t) { return t.kind == k; });
  };
  if (any(TypeKind::Money)) return SqlType{TypeKind::Money, 0, 19, 4};
  if (any(TypeKind::Decimal) || any(TypeKind::Numeric)) {
    int scale = 0;
    for (const auto& t : used) scale = std::max(scale, t.scale);
    return SqlType{TypeKind::Decimal, 0, 38, scale};
  }
  if (any(TypeKind::Float) || any(TypeKind::Real)) return SqlType{TypeKind::Float, 0, 0, 0};
  if (any(TypeKind::BigInt)) return SqlType{TypeKind::BigInt, 0, 0, 0};
  if (used.size() == 1 || std::all_of(used.begin(), used.end(), [&](const SqlType& t) { return t.kind == used[0].kind; }))
    return used[0];
  return SqlType{TypeKind::Int, 0, 0, 0};
}

std::string GeneratedColumnDefinition(StatementContext& ctx, const ColumnMeta& c) {
  const LexResult lex = Tokenize(c.computed);
  const std::string expression = ctx.Rewrite(lex.tokens, TokenRange{0, lex.tokens.size() - 1});
  const std::string collate = IsCharKind(c.type.kind) || IsNCharKind(c.type.kind)
                                  ? std::string(" COLLATE ") + ColumnSqliteCollation(c.type.collation)
                                  : std::string();
  return SqliteQuote(c.name) + " " + SqliteDeclType(c.type) + collate + " GENERATED ALWAYS AS (" + expression + ")" +
         (c.persisted ? " STORED" : " VIRTUAL");
}

void SaveColumnKinds(sqlite3* db, const std::string& table, const std::vector<ColumnMeta>& columns) {
  for (const auto& c : columns) {
    if (c.computed.empty() && !c.hidden && c.generated.empty()) continue;
    SqliteStatement s(db, "INSERT OR REPLACE INTO standin_column_kinds VALUES (?, ?, ?, ?, ?, ?)");
    s.Bind(1, table);
    s.Bind(2, c.name);
    if (c.computed.empty()) s.BindNull(3);
    else s.Bind(3, c.computed);
    s.Bind(4, static_cast<int64_t>(c.persisted));
    s.Bind(5, static_cast<int64_t>(c.hidden));
    if (c.generated.empty()) s.BindNull(6);
    else s.Bind(6, c.generated);
    s.Step();
  }
}

}  // namespace standin
