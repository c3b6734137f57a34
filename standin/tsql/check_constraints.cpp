#include "tsql/check_constraints.h"

#include <strings.h>

#include <cstdio>

#include "catalog/schema_names.h"
#include "storage/sqlite_handle.h"
#include "storage/sqlite_rewriter.h"
#include "tsql/tsql_lexer.h"

namespace standin {
namespace {

std::string TriggerName(const std::string& check, const char* suffix) { return "standin_ck_" + check + "_" + suffix; }

// The condition in SQLite's dialect; with `rowPrefix` ("NEW") the table's columns
// are taken from the row a trigger sees.
std::string Condition(StatementContext& ctx, const ConstraintMeta& check, const char* rowPrefix) {
  const LexResult lex = Tokenize(check.definition);
  std::vector<SqlToken> tokens;
  const auto columns = ctx.session.db().TableColumns(check.table);
  for (size_t i = 0; i + 1 < lex.tokens.size(); ++i) {
    const SqlToken& t = lex.tokens[i];
    const bool call = lex.tokens[i + 1].IsSymbol("(");
    const bool qualified = i > 0 && lex.tokens[i - 1].IsSymbol(".");
    const ColumnMeta* column = nullptr;
    if (rowPrefix && t.IsName() && !call && !qualified)
      for (const auto& c : columns)
        if (strcasecmp(c.name.c_str(), t.text.c_str()) == 0) column = &c;
    if (!column) {
      tokens.push_back(t);
      continue;
    }
    SqlToken row, dot, name;
    row.kind = SqlToken::Kind::Word;
    row.text = rowPrefix;
    dot.kind = SqlToken::Kind::Symbol;
    dot.text = ".";
    name.kind = SqlToken::Kind::QuotedName;
    name.text = column->name;
    tokens.insert(tokens.end(), {row, dot, name});
  }
  tokens.push_back(lex.tokens.back());
  const RewriteResult r = RewriteForSqlite(tokens, TokenRange{0, tokens.size() - 1}, {});
  if (!r.ok)
    ThrowSqlError(137, "Must declare the scalar variable \"" + r.undeclaredVariable + "\".", 2);
  return r.sql;
}

std::string ConflictText(const char* statement, StatementContext& ctx, const ConstraintMeta& check) {
  std::string text = std::string("The ") + statement + " statement conflicted with the CHECK constraint \"" +
                     BareName(check.name) + "\". The conflict occurred in database \"" + ctx.session.db().name() +
                     "\", table \"" + TwoPartName(check.table) + "\"";
  if (!check.column.empty()) text += ", column '" + check.column + "'";
  return text + ".";
}

// Whether SQLite can evaluate the condition over the table. One the stand-in
// cannot (a built-in it lacks) is kept and listed but not enforced, as before
// enforcement existed: refusing it would refuse a script SQL Server runs.
bool Compiles(StatementContext& ctx, const ConstraintMeta& check) {
  try {
    SqliteStatement probe(ctx.session.db().handle(), "SELECT 1 FROM " + SqliteQuote(check.table) + " WHERE NOT (" +
                                                         Condition(ctx, check, nullptr) + ") LIMIT 0");
    return true;
  } catch (const SqliteError& e) {
    std::fprintf(stderr, "sqlstandin: CHECK constraint %s is kept but not enforced: %s\n", check.name.c_str(), e.what());
    return false;
  }
}

}  // namespace

bool CreateCheckTriggers(StatementContext& ctx, const ConstraintMeta& check) {
  if (!Compiles(ctx, check)) return false;
  sqlite3* db = ctx.session.db().handle();
  const std::string condition = Condition(ctx, check, "NEW");
  const bool temporary = Database::IsTemporary(check.table);
  for (const auto& [suffix, statement] : {std::pair{"i", "INSERT"}, std::pair{"u", "UPDATE"}})
    SqliteExec(db, std::string(temporary ? "CREATE TEMP TRIGGER " : "CREATE TRIGGER ") +
                       SqliteQuote(TriggerName(check.name, suffix)) + " AFTER " + statement + " ON " +
                       SqliteQuote(check.table) + " FOR EACH ROW WHEN NOT (" + condition + ") BEGIN SELECT RAISE(ABORT, " +
                       SqliteString(ConflictText(statement, ctx, check)) + "); END");
  return true;
}

void DropCheckTriggers(sqlite3* db, const std::string& checkName) {
  for (const char* suffix : {"i", "u"}) SqliteExec(db, "DROP TRIGGER IF EXISTS " + SqliteQuote(TriggerName(checkName, suffix)));
}

void ValidateCheckRows(StatementContext& ctx, const ConstraintMeta& check) {
  if (!Compiles(ctx, check)) return;
  bool broken = false;
  try {
    SqliteStatement s(ctx.session.db().handle(), "SELECT 1 FROM " + SqliteQuote(check.table) + " WHERE NOT (" +
                                                     Condition(ctx, check, nullptr) + ") LIMIT 1");
    broken = s.Step();
  } catch (const SqliteError& e) {
    throw SqlError{TranslateSqliteError(e)};
  }
  if (broken) ThrowSqlError(547, ConflictText("ALTER TABLE", ctx, check), 0);
}

}  // namespace standin
