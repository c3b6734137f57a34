#include "tsql/statement_context.h"

#include "tsql/typed_rewrites.h"
#include "tsql/statement_handlers.h"

#include <map>

#include "catalog/schema_names.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tsql/batch_executor.h"
#include "catalog/catalog_views.h"
#include "catalog/procedure_catalog.h"
#include "types/conversion_syntax.h"
#include "types/explicit_conversion.h"
#include "tsql/server_variables.h"
#include "storage/sqlite_rewriter.h"
#include "storage/hidden_columns.h"

namespace standin {
namespace {

std::string After(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(at + marker.size());
}

std::string SqliteLiteral(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Float: {
      char b[40];
      std::snprintf(b, sizeof b, "%.17g", v.real);
      return b;
    }
    case Value::Kind::Decimal: return v.text;
    case Value::Kind::String: return SqliteString(v.text);
    case Value::Kind::Binary: {
      static const char* hex = "0123456789ABCDEF";
      std::string s = "X'";
      for (uint8_t b : v.bytes) { s += hex[b >> 4]; s += hex[b & 15]; }
      return s + "'";
    }
    default: return "NULL";
  }
}

Value NumberValue(const std::string& text, bool negative) {
  if (text.find_first_of("eE") != std::string::npos) {
    Value v;
    v.kind = Value::Kind::Float;
    v.real = std::strtod(text.c_str(), nullptr) * (negative ? -1 : 1);
    return v;
  }
  if (text.find('.') == std::string::npos && text.size() <= 18) {
    const long long n = std::strtoll(text.c_str(), nullptr, 10);
    return Value::Int(negative ? -n : n);
  }
  Value v;
  v.kind = Value::Kind::Decimal;
  v.text = (negative ? "-" : "") + text;
  return v;
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
  std::vector<uint8_t> out;
  std::string h = hex.size() % 2 ? "0" + hex : hex;
  for (size_t i = 0; i + 1 < h.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::strtoul(h.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

}  // namespace

void ThrowSqlError(int number, std::string text, uint8_t state) {
  ServerMessage m;
  m.number = number;
  m.state = state;
  m.severity = 16;
  m.text = WrittenNames(std::move(text));
  throw SqlError{m};
}

ServerMessage TranslateSqliteError(const SqliteError& e) {
  const std::string text = e.what();
  ServerMessage m;
  m.severity = 16;
  if (const auto conversion = DecodeConversionError(text)) {
    m.number = conversion->number;
    m.text = conversion->text;
  } else if (text.rfind("no such table: ", 0) == 0) {
    std::string name = After(text, "no such table: ");
    if (name.rfind("main.", 0) == 0) name = name.substr(5);
    m.number = 208;
    m.text = "Invalid object name '" + name + "'.";
  } else if (text.rfind("no such column: ", 0) == 0) {
    m.number = 207;
    m.text = "Invalid column name '" + After(text, "no such column: ") + "'.";
  } else if (text.find("syntax error") != std::string::npos) {
    std::string near = After(text, "near \"");
    near = near.substr(0, near.find("\": syntax error"));
    m.number = 102;
    m.text = "Incorrect syntax near '" + near + "'.";
  } else if (text == "incomplete input") {
    m.number = 102;
    m.text = "Incorrect syntax near the end of the statement.";
  } else if (text.rfind("no such function: ", 0) == 0) {
    m.number = 195;
    m.text = "'" + After(text, "no such function: ") + "' is not a recognized built-in function name.";
  } else if (text.rfind("no such collation sequence: ", 0) == 0) {
    m.number = 448;
    m.text = "Invalid collation '" + After(text, "no such collation sequence: ") + "'.";
  } else if (text.rfind("The ", 0) == 0 && text.find(" statement conflicted with the ") != std::string::npos) {
    m.number = 547;  // raised by the triggers enforcing foreign keys
    m.state = 0;
    m.text = text;
  } else if ((e.code & 0xFF) == SQLITE_BUSY || (e.code & 0xFF) == SQLITE_LOCKED) {
    m.number = 1222;
    m.text = "Lock request time out period exceeded.";
  } else {
    m.number = 50000;
    m.text = text;
  }
  m.text = WrittenNames(std::move(m.text));
  return m;
}

void StatementContext::Done(uint16_t status, uint16_t curcmd, uint64_t rows) {
  if (!lastStatement || inProcedure) status |= kDoneMore;
  if (session.tranCount > 0) status |= kDoneInTransaction;
  WriteDone(w, inProcedure ? kTokDoneInProc : kTokDone, status, curcmd, rows);
}

std::string StatementContext::Rewrite(const std::vector<SqlToken>& tokens, TokenRange range) {
  const VariableResolver vars = [this](const std::string& raw) -> std::optional<std::string> {
    std::string name = raw;
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.rfind("@@", 0) == 0) return ServerVariable(name, session);
    const auto it = session.variables.find(name);
    if (it == session.variables.end()) return std::nullopt;
    return SqliteLiteral(it->second);
  };
  std::map<std::string, bool> known;
  const SchemaObjectTest inSchema = [this, &known](const std::string& schema, const std::string& name) {
    const std::string stored = StoredName(schema, name);
    const auto it = known.find(stored);
    if (it != known.end()) return it->second;
    SqliteStatement s(session.db().handle(),
                      "SELECT 1 FROM main.standin_objects WHERE name = ?1"
                      " UNION ALL SELECT 1 FROM main.standin_modules WHERE name = ?1 COLLATE NOCASE LIMIT 1");
    s.Bind(1, stored);
    return known[stored] = s.Step();
  };
  // SELECT * over a table with HIDDEN columns lists the others (only looked up when a star follows SELECT).
  std::vector<SqlToken> expanded;
  for (size_t i = range.begin; i + 1 < range.end && expanded.empty(); ++i) {
    if (!tokens[i].IsSymbol("*") || !tokens[i + 1].IsWord("FROM")) continue;
    expanded = ExpandHiddenStars(tokens, range, [this](const std::string& table) -> std::optional<std::vector<std::string>> {
      SqliteStatement hides(session.db().handle(), "SELECT 1 FROM main.standin_column_kinds WHERE object_name = ? AND hidden");
      hides.Bind(1, table);
      if (!hides.Step()) return std::nullopt;
      std::vector<std::string> names;
      for (const auto& c : session.db().TableColumns(table))
        if (!c.hidden) names.push_back(c.name);
      return names;
    });
    break;
  }
  // DATALENGTH of a literal, variable or column learns its type's byte unit.
  if (std::vector<SqlToken> measured = AddTypedRewrites(expanded.empty() ? tokens : expanded,
                                                          expanded.empty() ? range : TokenRange{0, expanded.size()},
                                                          session.db(), session.variables);
      !measured.empty())
    expanded = std::move(measured);
  RewriteResult r = expanded.empty() ? RewriteForSqlite(tokens, range, vars, inSchema)
                                     : RewriteForSqlite(expanded, TokenRange{0, expanded.size()}, vars, inSchema);
  if (!r.ok) ThrowSqlError(137, "Must declare the scalar variable \"" + r.undeclaredVariable + "\".", 2);
  if (NeedsDatabaseList(r.sql)) RefreshDatabaseList(session.db().handle(), session.directory.ListNames());
  if (NeedsParameterList(r.sql)) RefreshParameterList(session);
  return r.sql;
}

Value StatementContext::Evaluate(const std::vector<SqlToken>& t, TokenRange r) {
  // Parentheses around a literal change nothing: "((0))".
  while (r.end - r.begin >= 3 && t[r.begin].IsSymbol("(") && t[r.end - 1].IsSymbol(")")) {
    int depth = 0;
    bool wraps = true;
    for (size_t i = r.begin; i < r.end; ++i) {
      if (t[i].IsSymbol("(")) ++depth;
      if (t[i].IsSymbol(")") && --depth == 0 && i + 1 < r.end) { wraps = false; break; }
    }
    if (!wraps) break;
    ++r.begin;
    --r.end;
  }
  const size_t n = r.end - r.begin;
  if (n == 1) {
    const SqlToken& tok = t[r.begin];
    switch (tok.kind) {
      case SqlToken::Kind::String: return Value::Str(tok.text, tok.national);
      case SqlToken::Kind::Number: return NumberValue(tok.text, false);
      case SqlToken::Kind::Binary: {
        Value v;
        v.kind = Value::Kind::Binary;
        v.bytes = HexBytes(tok.text);
        return v;
      }
      case SqlToken::Kind::Word:
        if (tok.IsWord("NULL")) return Value::Null();
        if (tok.IsWord("DEFAULT")) { Value v; v.kind = Value::Kind::Default; return v; }
        break;
      case SqlToken::Kind::Variable: {
        std::string name = tok.text;
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto it = session.variables.find(name);
        if (it != session.variables.end()) return it->second;
        break;
      }
      default: break;
    }
  }
  if (n == 2 && (t[r.begin].IsSymbol("-") || t[r.begin].IsSymbol("+")) && t[r.begin + 1].kind == SqlToken::Kind::Number)
    return NumberValue(t[r.begin + 1].text, t[r.begin].IsSymbol("-"));
  const std::string sql = "SELECT " + Rewrite(t, r);
  const auto declared = ConversionTypeOf(t, r);
  Value v = EvaluateSql(sql);
  if (declared && v.kind != Value::Kind::Null) {
    v.declaredType = declared;
    v.national = IsNCharKind(declared->kind);
  }
  return v;
}

Value StatementContext::EvaluateSql(const std::string& sql) {
  try {
    SqliteStatement s(session.db().handle(), sql);
    if (!s.Step()) return Value::Null();
    sqlite3_stmt* st = s.get();
    switch (sqlite3_column_type(st, 0)) {
      case SQLITE_INTEGER: return Value::Int(sqlite3_column_int64(st, 0));
      case SQLITE_FLOAT: {
        Value v;
        v.kind = Value::Kind::Float;
        v.real = sqlite3_column_double(st, 0);
        return v;
      }
      case SQLITE_TEXT: return Value::Str(s.Text(0));
      case SQLITE_BLOB: {
        Value v;
        v.kind = Value::Kind::Binary;
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, 0));
        v.bytes.assign(p, p + sqlite3_column_bytes(st, 0));
        return v;
      }
      default: return Value::Null();
    }
  } catch (const SqliteError& e) {
    throw SqlError{TranslateSqliteError(e)};
  }
}

void StatementContext::CheckDatabasePart(const ObjectName& name) {
  if (!name.database.empty() && strcasecmp(name.database.c_str(), session.db().name().c_str()) != 0)
    ThrowSqlError(208, "Invalid object name '" + name.database + ".dbo." + name.name + "'.");
}

}  // namespace standin

namespace standin {

void StatementContext::Lock(const std::vector<LockRequest>& requests, bool noWait) {
  if (requests.empty()) return;
  const LockWait wait = LockTable::Server().Acquire(session.spid, requests, noWait ? 0 : session.lockTimeoutMs,
                                                    session.cancelRequested);
  if (wait == LockWait::Cancelled) throw StatementCancelled{};
  if (wait == LockWait::TimedOut) ThrowSqlError(1222, "Lock request time out period exceeded.", 51);
  if (wait == LockWait::Deadlocked) {
    // The victim's transaction is rolled back, which frees the other session.
    if (session.tranCount > 0) RollbackTransaction(session, w);
    ServerMessage m;
    m.number = 1205;
    m.state = 51;
    m.severity = 13;
    m.text = "Transaction (Process ID " + std::to_string(session.spid) +
             ") was deadlocked on lock resources with another process and has been chosen as the deadlock victim. "
             "Rerun the transaction.";
    throw SqlError{m};
  }
}

void StatementContext::HoldWriter() {
  const bool inTransaction = session.tranCount > 0;
  Lock({{LockTable::WriterResource(session.db().name()), LockMode::Exclusive,
         inTransaction ? LockDuration::Transaction : LockDuration::Statement}});
  if (inTransaction && !session.sqliteTransaction) {
    SqliteExec(session.db().handle(), "BEGIN IMMEDIATE");
    session.sqliteTransaction = true;
  }
}

}  // namespace standin
