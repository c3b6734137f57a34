#include "storage/sqlite_rewriter.h"
#include "storage/spatial_methods.h"

#include <strings.h>

#include <algorithm>
#include <iterator>

#include "catalog/catalog_views.h"
#include "catalog/schema_names.h"
#include "storage/division_rewrite.h"
#include "types/collation.h"
#include "types/conversion_syntax.h"
#include "tsql/table_hints.h"

namespace standin {
namespace {

struct Rename {
  const char* from;
  const char* to;
};
// T-SQL built-ins with a different SQLite spelling (the rest are registered functions).
constexpr Rename kFunctionRenames[] = {{"ISNULL", "ifnull"},   {"LEN", "tsql_len"}, {"SUBSTRING", "substr"},
                                       {"CEILING", "ceil"},     {"DATALENGTH", "tsql_datalength"}, {"COUNT_BIG", "count"},
                                       {"LEFT", "tsql_left"},   {"RIGHT", "tsql_right"}};

bool EndsSelectList(const SqlToken& t) {
  for (const char* w : {"FROM", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "INTO", "FOR", "OPTION"})
    if (t.IsWord(w)) return true;
  return false;
}

// T-SQL's "SELECT alias = expr" becomes "SELECT expr AS alias". The item keeps
// its length, so positions stay valid while the list is scanned.
void MoveSelectAliases(std::vector<SqlToken>& t, size_t begin, size_t end) {
  struct List {
    int depth;
    size_t itemStart;
  };
  std::vector<List> lists;
  auto finishItem = [&](size_t itemEnd) {
    const size_t a = lists.back().itemStart;
    if (itemEnd < a + 3 || !t[a].IsName() || !t[a + 1].IsSymbol("=")) return;
    SqlToken alias = t[a];
    for (size_t k = a; k + 2 < itemEnd; ++k) t[k] = t[k + 2];
    SqlToken as;
    as.kind = SqlToken::Kind::Word;
    as.text = "AS";
    t[itemEnd - 2] = as;
    t[itemEnd - 1] = alias;
  };
  int depth = 0;
  for (size_t i = begin; i < end; ++i) {
    const SqlToken& tok = t[i];
    if (!lists.empty() && lists.back().depth == depth) {
      if (tok.IsSymbol(",")) {
        finishItem(i);
        lists.back().itemStart = i + 1;
        continue;
      }
      if (EndsSelectList(tok) || tok.IsSymbol(";")) {
        finishItem(i);
        lists.pop_back();
      }
    }
    if (tok.IsSymbol("(")) ++depth;
    if (tok.IsSymbol(")")) {
      if (!lists.empty() && lists.back().depth == depth) {
        finishItem(i);
        lists.pop_back();
      }
      --depth;
    }
    if (tok.IsWord("SELECT")) {
      size_t start = i + 1;
      if (start < end && (t[start].IsWord("DISTINCT") || t[start].IsWord("ALL"))) ++start;
      if (start < end && t[start].IsWord("TOP")) {
        ++start;
        if (start < end && t[start].IsSymbol("(")) start += 3;
        else ++start;
        if (start < end && t[start].IsWord("PERCENT")) ++start;
        if (start + 1 < end && t[start].IsWord("WITH") && t[start + 1].IsWord("TIES")) start += 2;
      }
      lists.push_back({depth, start});
    }
  }
  while (!lists.empty()) {
    if (lists.back().depth == depth) finishItem(end);
    lists.pop_back();
  }
}

// Words that may follow a table in FROM where no alias is written.
bool EndsTableReference(const SqlToken& t) {
  if (t.kind != SqlToken::Kind::Word) return t.kind != SqlToken::Kind::QuotedName;
  for (const char* w : {"WHERE", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "ON", "GROUP", "ORDER",
                        "HAVING", "UNION", "EXCEPT", "INTERSECT", "OPTION", "WITH", "FOR", "SET", "VALUES", "SELECT"})
    if (t.IsWord(w)) return true;
  return false;
}

std::string QuoteName(const std::string& name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

bool HasSelectAlias(const std::vector<SqlToken>& t, size_t begin, size_t end) {
  for (size_t i = begin + 1; i + 1 < end; ++i)
    if (t[i].IsName() && t[i + 1].IsSymbol("=") && (t[i - 1].IsWord("SELECT") || t[i - 1].IsSymbol(",")))
      return true;
  return false;
}

bool IsValueToken(const SqlToken& t) { return t.kind == SqlToken::Kind::String || t.kind == SqlToken::Kind::Variable; }

// A string or variable at `i` compared with another (`v op v`, `v [NOT] IN (v, ...)`,
// `v [NOT] BETWEEN v AND ...`): no column lends its collation to such a
// comparison, so SQL Server compares in the database's default collation
// (SQLite would use BINARY). Not the target of SELECT @v = ... or SET @v = ....
bool ComparedWithValue(const std::vector<SqlToken>& t, size_t i, TokenRange range) {
  static const char* const kComparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
  if (!IsValueToken(t[i]) || i + 2 >= range.end) return false;
  if (i > range.begin) {
    const SqlToken& before = t[i - 1];
    if (before.IsSymbol(".")) return false;
    if (t[i].kind == SqlToken::Kind::Variable &&
        (before.IsWord("SELECT") || before.IsWord("SET") || before.IsSymbol(",") || before.IsWord("DECLARE")))
      return false;
  }
  const SqlToken& op = t[i + 1];
  if (std::any_of(std::begin(kComparisons), std::end(kComparisons), [&](const char* c) { return op.IsSymbol(c); }))
    return IsValueToken(t[i + 2]) && !(i + 3 < range.end && t[i + 3].IsWord("COLLATE"));  // explicit wins
  size_t k = i + 1;
  if (t[k].IsWord("NOT")) ++k;
  if (k + 1 < range.end && t[k].IsWord("BETWEEN")) return IsValueToken(t[k + 1]);
  return k + 2 < range.end && t[k].IsWord("IN") && t[k + 1].IsSymbol("(") && IsValueToken(t[k + 2]);
}

// DATEADD's date given as a string literal is read as datetime (and the result
// is datetime), whatever the text looks like: the position of such a literal.
size_t DateAddLiteral(const std::vector<SqlToken>& t, size_t open, TokenRange range) {
  const size_t close = MatchingParen(t, open, range.end);
  if (close >= range.end || close < open + 3 || t[close - 1].kind != SqlToken::Kind::String || !t[close - 2].IsSymbol(","))
    return std::string::npos;
  return close - 1;
}

// DATEADD(day, ...), DATEDIFF(month, ...) ...: the part is a keyword in T-SQL;
// the stand-in's tsql_dateadd and kin take it as a string. Leaves `i` on the
// comma after the part.
bool RewriteDatePartCall(const std::vector<SqlToken>& t, size_t& i, TokenRange range, std::string& sql,
                         size_t& datetimeLiteral) {
  static const char* const kTakesPart[] = {"DATEADD", "DATEDIFF", "DATEDIFF_BIG", "DATEPART", "DATENAME"};
  if (i + 3 >= range.end || !t[i + 1].IsSymbol("(") || !t[i + 2].IsName() || !t[i + 3].IsSymbol(",")) return false;
  const char* const* fn =
      std::find_if(std::begin(kTakesPart), std::end(kTakesPart), [&](const char* w) { return t[i].IsWord(w); });
  if (fn == std::end(kTakesPart)) return false;
  std::string name = *fn;
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  sql += "tsql_" + name + "(" + SqliteString(t[i + 2].text) + ",";
  if (const size_t literal = name == "dateadd" ? DateAddLiteral(t, i + 1, range) : std::string::npos;
      literal != std::string::npos)
    datetimeLiteral = literal;
  i += 3;
  return true;
}

}  // namespace

// CONVERT(type, x[, style]) and CAST(x AS type) (and their TRY_ forms) call the
// stand-in's tsql_convert('type', x[, style]). For CONVERT only the head is
// replaced and the arguments follow as usual; CAST's argument is rewritten here.
// Returns false when the token at `i` starts no conversion; else `i` is the last
// token consumed.
static bool RewriteConversion(const std::vector<SqlToken>& t, size_t& i, TokenRange range, const VariableResolver& vars,
                       RewriteResult& r) {
  const SqlToken& tok = t[i];
  if (i + 1 >= range.end || !t[i + 1].IsSymbol("(")) return false;
  const bool tryOnly = tok.IsWord("TRY_CONVERT") || tok.IsWord("TRY_CAST");
  const char* function = tryOnly ? "tsql_try_convert('" : "tsql_convert('";
  const size_t close = MatchingParen(t, i + 1, range.end);
  if (close >= range.end) return false;
  if (tok.IsWord("CONVERT") || tok.IsWord("TRY_CONVERT")) {
    int depth = 0;
    for (size_t k = i + 2; k < close; ++k) {
      if (t[k].IsSymbol("(")) ++depth;
      if (t[k].IsSymbol(")")) --depth;
      if (depth == 0 && t[k].IsSymbol(",")) {
        r.sql += function + TypeText(t, i + 2, k) + "',";
        i = k;
        return true;
      }
    }
    return false;
  }
  if (!tok.IsWord("CAST") && !tok.IsWord("TRY_CAST")) return false;
  size_t as = close;
  int depth = 0;
  for (size_t k = i + 2; k < close; ++k) {
    if (t[k].IsSymbol("(")) ++depth;
    if (t[k].IsSymbol(")")) --depth;
    if (depth == 0 && t[k].IsWord("AS")) as = k;
  }
  if (as == close || as == i + 2) return false;
  RewriteResult inner = RewriteForSqlite(t, TokenRange{i + 2, as}, vars);
  if (!inner.ok) {
    r = inner;
    return true;
  }
  r.sql += function + TypeText(t, as + 1, close) + "', " + inner.sql + ")";
  i = close;
  return true;
}

std::string SqliteString(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

RewriteResult RewriteForSqlite(const std::vector<SqlToken>& tokens, TokenRange range, const VariableResolver& vars,
                               const SchemaObjectTest& inSchema) {
  std::vector<SqlToken> moved;
  if (HasSelectAlias(tokens, range.begin, range.end)) {
    moved.assign(tokens.begin() + static_cast<std::ptrdiff_t>(range.begin), tokens.begin() + static_cast<std::ptrdiff_t>(range.end));
    MoveSelectAliases(moved, 0, moved.size());
    range = TokenRange{0, moved.size()};
  }
  if (std::vector<SqlToken> divided = WrapDivisions(moved.empty() ? tokens : moved, range); !divided.empty()) {
    moved = std::move(divided);
    range = TokenRange{0, moved.size()};
  }
  const std::vector<SqlToken>& t = moved.empty() ? tokens : moved;
  RewriteResult r;
  std::string limit;
  int depth = 0;
  // Where each token of the range begins in r.sql (for .STAsText() and kin).
  std::vector<size_t> emittedAt(range.end - range.begin, std::string::npos);
  size_t datetimeLiteral = std::string::npos;  // DATEADD's literal date (see DateAddLiteral)
  for (size_t i = range.begin; i < range.end; ++i) {
    const SqlToken& tok = t[i];
    emittedAt[i - range.begin] = r.sql.size();
    if (RewriteSpatialMethod(t, i, range, emittedAt, r.sql)) continue;
    // Table hints only steer the stand-in's locks.
    if (i > range.begin && (t[i - 1].IsName() || t[i - 1].IsSymbol(")")))
      if (const size_t close = TableHintListEnd(t, i, range.end)) {
        i = close;
        continue;
      }
    // Qualifiers SQLite does not know: dbo.X, db.dbo.X, db..X.
    if (tok.IsName() && i + 1 < range.end && t[i + 1].IsSymbol(".")) {
      if (tok.kind != SqlToken::Kind::End && strcasecmp(tok.text.c_str(), "dbo") == 0) { ++i; continue; }
      if (i + 2 < range.end && t[i + 2].IsSymbol(".")) { i += 2; continue; }  // db..X
      if (i + 3 < range.end && t[i + 2].IsName() && strcasecmp(t[i + 2].text.c_str(), "dbo") == 0 &&
          t[i + 3].IsSymbol(".")) {
        i += 3;
        continue;
      }
    }
    // Schema.Name and db.Schema.Name of another schema: the stored name. A table
    // in FROM without an alias keeps its bare name as one, so Name.Column resolves.
    if (inSchema && tok.IsName() && (i == range.begin || !t[i - 1].IsSymbol("."))) {
      size_t at = i;
      if (i + 4 < range.end && t[i + 1].IsSymbol(".") && t[i + 2].IsName() && t[i + 3].IsSymbol(".") &&
          t[i + 4].IsName() && inSchema(t[i + 2].text, t[i + 4].text))
        at = i + 2;
      if (at + 2 < range.end && t[at + 1].IsSymbol(".") && t[at + 2].IsName() &&
          strcasecmp(t[at].text.c_str(), "dbo") != 0 && inSchema(t[at].text, t[at + 2].text)) {
        if (!r.sql.empty()) r.sql += ' ';
        r.sql += QuoteName(StoredName(t[at].text, t[at + 2].text));
        const bool inFrom = i > range.begin && (t[i - 1].IsWord("FROM") || t[i - 1].IsWord("JOIN")) &&
                            !t[range.begin].IsWord("DELETE");
        if (inFrom && (at + 3 >= range.end || EndsTableReference(t[at + 3])) &&
            !(at + 3 < range.end && t[at + 3].IsWord("AS")))
          r.sql += " AS " + QuoteName(t[at + 2].text);
        i = at + 2;
        continue;
      }
    }
    // db.sys.view: the catalog view (install scripts ask [master].[sys].[databases]).
    if (tok.IsName() && i + 4 < range.end && t[i + 1].IsSymbol(".") && t[i + 2].IsName() && t[i + 3].IsSymbol(".") &&
        t[i + 4].IsName() && (i == range.begin || !t[i - 1].IsSymbol("."))) {
      if (const auto view = CatalogViewName(t[i + 2].text, t[i + 4].text)) {
        if (!r.sql.empty()) r.sql += ' ';
        r.sql += *view;
        i += 4;
        continue;
      }
    }
    // Catalog views: sys.objects, INFORMATION_SCHEMA.TABLES, sysobjects ...
    if (tok.IsName() && i + 2 < range.end && t[i + 1].IsSymbol(".") && t[i + 2].IsName() &&
        (i == range.begin || !t[i - 1].IsSymbol("."))) {
      if (const auto view = CatalogViewName(tok.text, t[i + 2].text)) {
        if (!r.sql.empty()) r.sql += ' ';
        r.sql += *view;
        i += 2;
        continue;
      }
    }
    if (tok.kind == SqlToken::Kind::Word && !(i + 1 < range.end && (t[i + 1].IsSymbol("(") || t[i + 1].IsSymbol(".")))) {
      if (const auto view = CatalogViewName("", tok.text)) {
        if (!r.sql.empty()) r.sql += ' ';
        r.sql += *view;
        continue;
      }
    }
    if (tok.IsWord("TOP") && depth == 0 && limit.empty() && i > range.begin &&
        (t[i - 1].IsWord("SELECT") || t[i - 1].IsWord("DISTINCT"))) {
      if (i + 1 < range.end && t[i + 1].kind == SqlToken::Kind::Number) {
        limit = t[i + 1].text;
        ++i;
        continue;
      }
      if (i + 3 < range.end && t[i + 1].IsSymbol("(") && t[i + 2].kind == SqlToken::Kind::Number &&
          t[i + 3].IsSymbol(")")) {
        limit = t[i + 2].text;
        i += 3;
        continue;
      }
    }
    if (!r.sql.empty()) r.sql += ' ';
    switch (tok.kind) {
      case SqlToken::Kind::QuotedName: {
        std::string q = "\"";
        for (char c : tok.text) {
          if (c == '"') q += '"';
          q += c;
        }
        r.sql += q + "\"";
        break;
      }
      case SqlToken::Kind::String:
        if (i == datetimeLiteral) {
          r.sql += "tsql_convert('datetime', " + SqliteString(tok.text) + ")";
          break;
        }
        r.sql += SqliteString(tok.text);
        if (ComparedWithValue(t, i, range)) r.sql += std::string(" COLLATE ") + kDatabaseDefaultSqliteCollation;
        break;
      case SqlToken::Kind::Binary:
        r.sql += "X'" + std::string(tok.text.size() % 2 ? "0" : "") + tok.text + "'";
        break;
      case SqlToken::Kind::Variable: {
        const auto v = vars ? vars(tok.text) : std::nullopt;
        if (!v) {
          r.ok = false;
          r.undeclaredVariable = tok.text;
          return r;
        }
        r.sql += *v;
        if (ComparedWithValue(t, i, range)) r.sql += std::string(" COLLATE ") + kDatabaseDefaultSqliteCollation;
        break;
      }
      case SqlToken::Kind::Word: {
        // geography::Point(...), geometry::STGeomFromText(...): the stand-in's tsql_geography_point ...
        if ((tok.IsWord("GEOGRAPHY") || tok.IsWord("GEOMETRY")) && i + 3 < range.end && t[i + 1].IsSymbol(":") &&
            t[i + 2].IsSymbol(":") && t[i + 3].kind == SqlToken::Kind::Word) {
          std::string name = "tsql_" + tok.text + "_" + t[i + 3].text;
          for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          r.sql += name;
          i += 3;
          break;
        }
        // SCOPE_IDENTITY(): the session's last identity value, as @@IDENTITY.
        if (tok.IsWord("SCOPE_IDENTITY") && i + 2 < range.end && t[i + 1].IsSymbol("(") && t[i + 2].IsSymbol(")")) {
          const auto v = vars ? vars("@@IDENTITY") : std::nullopt;
          r.sql += v ? *v : "NULL";
          i += 2;
          break;
        }
        // expr COLLATE name: the SQLite collation that compares as that one does.
        if (tok.IsWord("COLLATE") && i + 1 < range.end && t[i + 1].IsName()) {
          const Collation* named = FindCollation(t[i + 1].text);
          r.sql += std::string("COLLATE ") +
                   (t[i + 1].IsWord("DATABASE_DEFAULT") ? kDatabaseDefaultSqliteCollation
                    : named                             ? named->sqliteCollation()
                                                        : "\"" + t[i + 1].text + "\"");
          ++i;
          break;
        }
        if (RewriteDatePartCall(t, i, range, r.sql, datetimeLiteral)) break;
        // CURRENT_TIMESTAMP is GETDATE() (SQLite's own is UTC, without fraction).
        if (tok.IsWord("CURRENT_TIMESTAMP") && !(i + 1 < range.end && t[i + 1].IsSymbol("("))) {
          r.sql += "getdate()";
          break;
        }
        if (RewriteConversion(t, i, range, vars, r)) {
          if (!r.ok) return r;
          break;
        }
        bool renamed = false;
        if (i + 1 < range.end && t[i + 1].IsSymbol("(")) {
          for (const auto& fn : kFunctionRenames) {
            if (tok.IsWord(fn.from)) { r.sql += fn.to; renamed = true; break; }
          }
        }
        if (!renamed && tok.text[0] == '#') r.sql += "\"" + tok.text + "\"";  // #temp table
        else if (!renamed) r.sql += tok.text;
        break;
      }
      case SqlToken::Kind::Symbol:
        if (tok.text == "(") ++depth;
        if (tok.text == ")") --depth;
        // T-SQL joins strings with '+': where a string literal stands beside it,
        // it can only mean concatenation.
        if (tok.text == "+" && ((i > range.begin && t[i - 1].kind == SqlToken::Kind::String) ||
                                (i + 1 < range.end && t[i + 1].kind == SqlToken::Kind::String))) {
          r.sql += "||";
          break;
        }
        if (tok.text == "!<") r.sql += ">=";
        else if (tok.text == "!>") r.sql += "<=";
        else r.sql += tok.text;
        break;
      default: r.sql += tok.text; break;
    }
  }
  if (!limit.empty()) r.sql += " LIMIT " + limit;
  return r;
}

}  // namespace standin
