// The statements install scripts wrap around their DDL: variables, PRINT,
// RAISERROR, stored modules and alias types.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalog/schema_metadata.h"
#include "storage/sqlite_column_value.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {
namespace {

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string ValueText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Float: {
      char b[40];
      std::snprintf(b, sizeof b, "%g", v.real);
      return b;
    }
    case Value::Kind::String:
    case Value::Kind::Decimal: return v.text;
    case Value::Kind::Binary: {
      static const char* hex = "0123456789ABCDEF";
      std::string s = "0x";
      for (uint8_t b : v.bytes) { s += hex[b >> 4]; s += hex[b & 15]; }
      return s;
    }
    default: return "";
  }
}

int64_t ValueInt(const Value& v) {
  if (v.kind == Value::Kind::Integer) return v.integer;
  if (v.kind == Value::Kind::Float) return static_cast<int64_t>(v.real);
  return std::strtoll(v.text.c_str(), nullptr, 10);
}

// RAISERROR's printf-like substitution (%s, %d, %i, %u, %x, %%; flags and widths ignored).
std::string Substitute(const std::string& format, const std::vector<Value>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') { out += format[i]; continue; }
    if (i + 1 < format.size() && format[i + 1] == '%') { out += '%'; ++i; continue; }
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0123456789.*lhI64", format[j])) ++j;
    if (j >= format.size()) { out += format.substr(i); break; }
    const char conversion = format[j];
    const Value v = next < args.size() ? args[next++] : Value::Null();
    if (v.kind == Value::Kind::Null) out += "(null)";
    else if (conversion == 'x' || conversion == 'X') {
      char b[32];
      std::snprintf(b, sizeof b, conversion == 'x' ? "%llx" : "%llX", static_cast<unsigned long long>(ValueInt(v)));
      out += b;
    } else if (conversion == 'd' || conversion == 'i' || conversion == 'u' || conversion == 'o') {
      out += std::to_string(ValueInt(v));
    } else {
      out += ValueText(v);
    }
    i = j;
  }
  return out;
}

Value& Variable(StatementContext& ctx, const std::string& name) {
  const auto it = ctx.session.variables.find(name);
  if (it == ctx.session.variables.end())
    ThrowSqlError(137, "Must declare the scalar variable \"" + name + "\".", 1);
  return it->second;
}

const char* ModuleWord(const std::string& kind) {
  if (kind == "P") return "procedure";
  if (kind == "TR") return "trigger";
  return "function";
}

bool SameModuleKind(const std::string& wanted, const std::string& stored) {
  if (wanted == "FN") return stored == "FN" || stored == "IF" || stored == "TF";
  return wanted == stored;
}

}  // namespace

bool EvaluateCondition(StatementContext& ctx, TokenRange condition) {
  const std::string sql = "SELECT CASE WHEN (" + ctx.Rewrite(ctx.batch.tokens, condition) + ") THEN 1 ELSE 0 END";
  try {
    SqliteStatement s(ctx.session.db().handle(), sql);
    return s.Step() && s.Int(0) == 1;
  } catch (const SqliteError& e) {
    throw SqlError{TranslateSqliteError(e)};
  }
}

void RunDeclare(StatementContext& ctx, const DeclareStmt& s) {
  for (const auto& v : s.variables) {
    if (ctx.session.variables.count(v.name))
      ThrowSqlError(134, "The variable name '" + v.name +
                             "' has already been declared. Variable names must be unique within a query batch or stored procedure.", 1);
    ctx.session.variables[v.name] = v.initial.empty() ? Value::Null() : ctx.Evaluate(ctx.batch.tokens, v.initial);
  }
  ctx.Done(0, kCmdNone, 0);
}

void RunAssign(StatementContext& ctx, const AssignStmt& s) {
  for (const auto& [name, range] : s.assignments) Variable(ctx, name);
  if (s.rest.empty()) {
    for (const auto& [name, range] : s.assignments) Variable(ctx, name) = ctx.Evaluate(ctx.batch.tokens, range);
    ctx.Done(0, kCmdNone, 0);
    return;
  }
  // SELECT @a = x, @b = y FROM ...: every row assigns; the last one stays.
  std::string sql = "SELECT ";
  for (size_t i = 0; i < s.assignments.size(); ++i)
    sql += (i ? ", (" : "(") + ctx.Rewrite(ctx.batch.tokens, s.assignments[i].second) + ")";
  sql += " " + ctx.Rewrite(ctx.batch.tokens, s.rest);
  uint64_t rows = 0;
  try {
    SqliteStatement q(ctx.session.db().handle(), sql);
    while (q.Step()) {
      for (size_t i = 0; i < s.assignments.size(); ++i)
        Variable(ctx, s.assignments[i].first) = ValueFromSqliteColumn(q.get(), static_cast<int>(i));
      ++rows;
    }
  } catch (const SqliteError& e) {
    throw SqlError{TranslateSqliteError(e)};
  }
  ctx.DoneCount(kCmdSelect, rows);
}

void RunPrint(StatementContext& ctx, const PrintStmt& s) {
  ServerMessage m;
  m.number = 0;
  m.state = 1;
  m.severity = 0;
  m.text = ValueText(ctx.Evaluate(ctx.batch.tokens, s.expression));
  WriteMessage(ctx.w, m);
  ctx.Done(0, kCmdNone, 0);
}

void RunRaiserror(StatementContext& ctx, const RaiserrorStmt& s) {
  if (s.args.size() < 3) ThrowSqlError(102, "Incorrect syntax near ')'.");
  std::vector<Value> values;
  for (const auto& range : s.args) values.push_back(ctx.Evaluate(ctx.batch.tokens, range));
  ServerMessage m;
  m.number = 50000;
  if (values[0].kind == Value::Kind::Integer) {
    m.number = static_cast<int32_t>(values[0].integer);
    m.text = "Error " + std::to_string(m.number) + ", severity " + std::to_string(ValueInt(values[1])) + ", state " +
             std::to_string(ValueInt(values[2])) + " was raised, but no message with that error number was found in sys.messages.";
  } else {
    m.text = Substitute(ValueText(values[0]), std::vector<Value>(values.begin() + 3, values.end()));
  }
  const int64_t severity = ValueInt(values[1]);
  m.severity = static_cast<uint8_t>(severity < 0 ? 0 : severity > 25 ? 25 : severity);
  m.state = static_cast<uint8_t>(ValueInt(values[2]) & 0xFF);
  m.procedure = ctx.session.currentProcedure;
  WriteMessage(ctx.w, m);
  // An error ends only this statement; the batch goes on, as on SQL Server.
  ctx.Done(m.severity > 10 ? kDoneError : 0, kCmdNone, 0);
}

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "#name" (not "##name"): a procedure of the session, kept outside the database.
bool IsSessionProcedure(const std::string& kind, const std::string& name) {
  return kind == "P" && name.size() > 1 && name[0] == '#' && name[1] != '#';
}

}  // namespace

void RunCreateModule(StatementContext& ctx, const CreateModuleStmt& s) {
  if (IsSessionProcedure(s.kind, s.name.name)) {
    auto& procedures = ctx.session.tempProcedures;
    const std::string key = Lower(s.name.name);
    const bool exists = procedures.count(key) > 0;
    if (s.mustExist && !exists) ThrowSqlError(208, "Invalid object name '" + s.name.name + "'.");
    if (exists && !s.replace)
      ThrowSqlError(2714, "There is already an object named '" + s.name.name + "' in the database.", 3);
    procedures[key] = s.text;
    ctx.Done(0, kCmdNone, 0);
    return;
  }
  ctx.CheckDatabasePart(s.name);
  sqlite3* db = ctx.session.db().handle();
  ctx.Atomically([&] {
    bool exists = false;
    for (const auto& m : Modules(db)) exists |= Same(m.name, s.name.name) && SameModuleKind(s.kind, m.kind);
    if (s.mustExist && !exists) ThrowSqlError(208, "Invalid object name '" + s.name.name + "'.");
    if (exists && s.replace) DeleteModule(db, s.name.name);
    else if (SchemaNameTaken(db, s.name.name))
      ThrowSqlError(2714, "There is already an object named '" + s.name.name + "' in the database.", 3);
    if (s.kind == "TR" && s.parent != "DATABASE" && s.parent != "ALL SERVER") {  // DDL triggers: kept, not fired
      const auto table = ctx.session.db().FindObject(s.parent);
      if (!table) ThrowSqlError(8197, "The object '" + s.parent + "' does not exist or is invalid for this operation.", 4);
    }
    SaveModule(db, {s.name.name, s.kind, s.parent, s.text});
  });
  ctx.Done(0, kCmdNone, 0);
}

void RunDropModule(StatementContext& ctx, const DropModuleStmt& s) {
  sqlite3* db = ctx.session.db().handle();
  ctx.Atomically([&] {
    for (const auto& name : s.names) {
      if (IsSessionProcedure(s.kind, name.name)) {
        if (ctx.session.tempProcedures.erase(Lower(name.name)) == 0 && !s.ifExists)
          ThrowSqlError(3701, "Cannot drop the procedure '" + name.name +
                                  "', because it does not exist or you do not have permission.", 11);
        continue;
      }
      ctx.CheckDatabasePart(name);
      bool found = false;
      for (const auto& m : Modules(db))
        if (Same(m.name, name.name) && SameModuleKind(s.kind, m.kind)) found = true;
      if (!found) {
        if (s.ifExists) continue;
        ThrowSqlError(3701, std::string("Cannot drop the ") + ModuleWord(s.kind) + " '" + name.name +
                                "', because it does not exist or you do not have permission.", 11);
      }
      DeleteModule(db, name.name);
    }
  });
  ctx.Done(0, kCmdNone, 0);
}

void CreateAliasType(StatementContext& ctx, const std::string& name, const std::string& base, bool nullable) {
  sqlite3* db = ctx.session.db().handle();
  std::string ignored;
  if (FindAliasType(db, name) || MakeType(name, 0, 0, 0, false, ignored))
    ThrowSqlError(219, "The type '" + name + "' already exists, or you do not have permission to create it.");
  std::string error;
  const auto type = ParseTypeDeclaration(base, error);
  if (!type) ThrowSqlError(243, "Type " + base + " is not a defined system type.");
  ctx.Atomically([&] { SaveAliasType(db, {name, TypeDeclaration(*type), nullable}); });
}

void DropAliasType(StatementContext& ctx, const std::string& name, bool ifExists) {
  sqlite3* db = ctx.session.db().handle();
  const auto alias = FindAliasType(db, name);
  if (!alias) {
    if (ifExists) return;
    ThrowSqlError(218, "Could not find the type '" + name + "'. Either it does not exist or you do not have the necessary permission.");
  }
  SqliteStatement users(db, "SELECT object_name FROM standin_column_types WHERE user_type = ? COLLATE NOCASE LIMIT 1");
  users.Bind(1, alias->name);
  if (users.Step())
    ThrowSqlError(3732, "Cannot drop type '" + alias->name + "' because it is being referenced by object '" + users.Text(0) +
                            "'. There may be other objects that reference this type.");
  ctx.Atomically([&] {
    SqliteStatement drop(db, "DELETE FROM standin_types WHERE name = ?");
    drop.Bind(1, alias->name);
    drop.Step();
  });
}

void RunCreateType(StatementContext& ctx, const CreateTypeStmt& s) {
  RequireSchema(ctx, s.name);
  CreateAliasType(ctx, s.name, s.base, s.nullable);
  ctx.Done(0, kCmdNone, 0);
}

void RunDropType(StatementContext& ctx, const DropTypeStmt& s) {
  DropAliasType(ctx, s.name, s.ifExists);
  ctx.Done(0, kCmdNone, 0);
}

bool RunScriptProcedure(StatementContext& ctx, const std::string& procedure, const ProcedureArgs& args) {
  auto arg = [&](size_t position, const char* name) -> std::optional<Value> {
    for (size_t i = 0; i < args.size(); ++i)
      if (args[i].first == name || (args[i].first.empty() && i == position)) return args[i].second;
    return std::nullopt;
  };
  auto text = [&](size_t position, const char* name) {
    const auto v = arg(position, name);
    return v && v->kind != Value::Kind::Null ? ValueText(*v) : std::string();
  };
  if (Same(procedure, "sp_addtype")) {
    const std::string name = text(0, "@typename"), base = text(1, "@phystype");
    std::string nullType = text(2, "@nulltype");
    for (auto& c : nullType) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    CreateAliasType(ctx, name, base, nullType != "NOT NULL" && nullType != "NONULL");
    return true;
  }
  if (Same(procedure, "sp_droptype")) {
    DropAliasType(ctx, text(0, "@typename"), false);
    return true;
  }
  return false;
}

}  // namespace standin
