#include <strings.h>

#include "tsql/batch_executor.h"
#include "catalog/catalog_procedures.h"
#include "storage/lock_table.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"
#include "tsql/procedure_call.h"

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<uint8_t> Descriptor(SessionState& s) {
  std::vector<uint8_t> d(8, 0);
  d[0] = static_cast<uint8_t>(s.spid);
  d[1] = static_cast<uint8_t>(s.spid >> 8);
  d[2] = 1;
  return d;
}

}  // namespace

// The SQLite transaction starts with the first change (StatementContext::Atomically).
void BeginTransaction(SessionState& session, ReplyWriter& w) {
  if (session.tranCount == 0) WriteEnvChangeBytes(w, 8, Descriptor(session), {});
  ++session.tranCount;
}

void CommitTransaction(SessionState& session, ReplyWriter& w) {
  if (session.tranCount == 0)
    ThrowSqlError(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  if (--session.tranCount > 0) return;
  if (session.sqliteTransaction) {
    try {
      SqliteExec(session.db().handle(), "COMMIT");
    } catch (const SqliteError& e) {
      ++session.tranCount;
      throw SqlError{TranslateSqliteError(e)};
    }
    session.sqliteTransaction = false;
  }
  LockTable::Server().ReleaseAll(session.spid);
  WriteEnvChangeBytes(w, 9, {}, Descriptor(session));
}

void RollbackTransaction(SessionState& session, ReplyWriter& w) {
  if (session.tranCount == 0)
    ThrowSqlError(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  session.tranCount = 0;
  if (session.sqliteTransaction) sqlite3_exec(session.db().handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  session.sqliteTransaction = false;
  LockTable::Server().ReleaseAll(session.spid);
  WriteEnvChangeBytes(w, 10, {}, Descriptor(session));
}

void RunSet(StatementContext& ctx, const SetStmt& s) {
  if (s.option == "NOCOUNT") ctx.session.nocount = s.on;
  else if (s.option == "FMTONLY") ctx.session.fmtonly = s.on;
  else if (s.option == "IMPLICIT_TRANSACTIONS") ctx.session.implicitTransactions = s.on;
  else if (s.option == "LOCK_TIMEOUT") ctx.session.lockTimeoutMs = s.number < 0 ? -1 : s.number;
  else if (s.option == "IDENTITY_INSERT") {
    ctx.CheckDatabasePart(s.table);
    const auto object = ctx.session.db().FindObject(s.table.name);
    if (!object || object->isView) ThrowSqlError(208, "Invalid object name '" + s.table.name + "'.");
    bool hasIdentity = false;
    for (const auto& c : ctx.session.db().TableColumns(object->name)) hasIdentity |= c.identity;
    if (!hasIdentity)
      ThrowSqlError(8106, "Table '" + object->name + "' does not have the identity property. Cannot perform SET operation.");
    if (s.on) {
      ctx.session.identityInsert.clear();  // only one table at a time, as on SQL Server
      ctx.session.identityInsert.insert(Lower(object->name));
    } else {
      ctx.session.identityInsert.erase(Lower(object->name));
    }
  }
  ctx.Done(0, kCmdNone, 0);
}

void RunTransaction(StatementContext& ctx, const TransactionStmt& s) {
  switch (s.action) {
    case TransactionStmt::Action::Begin: BeginTransaction(ctx.session, ctx.w); break;
    case TransactionStmt::Action::Commit: CommitTransaction(ctx.session, ctx.w); break;
    case TransactionStmt::Action::Rollback: RollbackTransaction(ctx.session, ctx.w); break;
  }
  ctx.Done(0, kCmdNone, 0);
}

namespace {

// Parameter names declared in "@P1 int, @P2 nvarchar(10)", lower case.
std::vector<std::string> DeclaredParameters(const std::string& defs) {
  std::vector<std::string> names;
  int depth = 0;
  bool atName = true;
  for (size_t i = 0; i < defs.size(); ++i) {
    const char c = defs[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) { atName = true; continue; }
    if (atName && c == '@') {
      std::string name;
      while (i < defs.size() && (defs[i] == '@' || std::isalnum(static_cast<unsigned char>(defs[i])) || defs[i] == '_'))
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(defs[i++])));
      names.push_back(name);
      atName = false;
    }
  }
  return names;
}

// Dynamic SQL runs as a batch of its own, with its own variables.
void RunNested(StatementContext& ctx, const std::string& sql, std::map<std::string, Value> variables) {
  std::swap(ctx.session.variables, variables);
  BatchOutcome outcome = BatchOutcome::Completed;
  try {
    outcome = BatchExecutor(ctx.session, ctx.w, true).Run(sql);
  } catch (...) {
    std::swap(ctx.session.variables, variables);
    throw;
  }
  std::swap(ctx.session.variables, variables);
  if (outcome == BatchOutcome::Cancelled) {  // the attention is answered already
    ctx.cancelled = true;
    return;
  }
  WriteDone(ctx.w, kTokDoneProc, ctx.lastStatement && !ctx.inProcedure ? 0 : kDoneMore, kCmdNone, 0);
}

bool IsExtendedPropertyProcedure(const std::string& name) {
  for (const char* p : {"sp_addextendedproperty", "sp_updateextendedproperty", "sp_dropextendedproperty"})
    if (strcasecmp(p, name.c_str()) == 0) return true;
  return false;
}

// EXEC of a stored procedure of the database: the results of its body, then
// its status; OUTPUT arguments and EXEC @rc = ... land in the caller's variables.
void RunUserProcedure(StatementContext& ctx, const ExecStmt& s, const ProcedureDefinition& procedure) {
  auto callerVariable = [&](const std::string& name) -> Value& {
    const auto it = ctx.session.variables.find(Lower(name));
    if (it == ctx.session.variables.end()) ThrowSqlError(137, "Must declare the scalar variable \"" + name + "\".", 2);
    return it->second;
  };
  if (!s.returnVariable.empty()) callerVariable(s.returnVariable);
  std::vector<ProcedureArgument> arguments;
  for (size_t i = 0; i < s.args.size(); ++i) {
    const auto& [name, range] = s.args[i];
    const SqlToken& first = ctx.batch.tokens[range.begin];
    ProcedureArgument a;
    a.name = name;
    a.output = i < s.outputArgs.size() && s.outputArgs[i];
    if (a.output && first.kind != SqlToken::Kind::Variable)
      ThrowSqlError(179, "Cannot use the OUTPUT option when passing a constant to a stored procedure.");
    if (range.end - range.begin == 1 && first.IsName() && !first.IsWord("NULL") && !first.IsWord("DEFAULT"))
      a.value = Value::Str(first.text);  // a bare word passes as a string
    else
      a.value = ctx.Evaluate(ctx.batch.tokens, range);
    arguments.push_back(std::move(a));
  }
  const ProcedureRun run = CallProcedure(ctx.session, ctx.w, procedure, arguments);
  if (run.outcome == BatchOutcome::Cancelled) {  // the attention is answered already
    ctx.cancelled = true;
    return;
  }
  if (run.aborted) {
    WriteDone(ctx.w, kTokDoneProc, kDoneError | kDoneMore, kCmdNone, 0);
    throw ProcedureAborted{};
  }
  for (const auto& out : run.outputs) callerVariable(ctx.batch.tokens[s.args[out.argument].second.begin].text) = out.value;
  if (!s.returnVariable.empty()) callerVariable(s.returnVariable) = Value::Int(run.status);
  WriteReturnStatus(ctx.w, run.status);
  WriteDone(ctx.w, kTokDoneProc, ctx.lastStatement && !ctx.inProcedure ? 0 : kDoneMore, kCmdNone, 0);
}

}  // namespace

void RunExec(StatementContext& ctx, const ExecStmt& s) {
  if (!s.dynamic.empty()) {
    const Value text = ctx.Evaluate(ctx.batch.tokens, s.dynamic);
    RunNested(ctx, text.text, {});
    return;
  }
  if (s.database.empty() || (ctx.session.hasDatabase() && strcasecmp(s.database.c_str(), ctx.session.db().name().c_str()) == 0)) {
    if (const auto procedure = FindProcedure(ctx.session, s.procedure)) {
      RunUserProcedure(ctx, s, *procedure);
      return;
    }
  }
  ProcedureArgs args;
  for (const auto& [name, range] : s.args) {
    Value v;
    const SqlToken& first = ctx.batch.tokens[range.begin];
    if (range.end - range.begin == 1 && first.IsName() && !first.IsWord("NULL")) v = Value::Str(first.text);
    else v = ctx.Evaluate(ctx.batch.tokens, range);
    args.emplace_back(Lower(name), v);
  }
  if (strcasecmp(s.procedure.c_str(), "sp_executesql") == 0) {
    // sp_executesql @stmt [, @params, values...]
    std::map<std::string, Value> variables;
    const std::string statement = !args.empty() ? args[0].second.text : std::string();
    const auto declared = args.size() > 1 ? DeclaredParameters(args[1].second.text) : std::vector<std::string>();
    for (size_t i = 2, k = 0; i < args.size(); ++i, ++k) {
      const std::string key = !args[i].first.empty() ? args[i].first : k < declared.size() ? declared[k] : "";
      if (!key.empty()) variables[key] = args[i].second;
    }
    RunNested(ctx, statement, variables);
    return;
  }
  // The system procedures below all return 0 (EXEC @rc = ... receives it).
  Value* status = nullptr;
  if (!s.returnVariable.empty()) {
    const auto it = ctx.session.variables.find(s.returnVariable);
    if (it == ctx.session.variables.end())
      ThrowSqlError(137, "Must declare the scalar variable \"" + s.returnVariable + "\".", 2);
    status = &it->second;
  }
  // Descriptions kept by SQL Server for its tools; nothing here reads them.
  if (IsExtendedPropertyProcedure(s.procedure) ||
      (s.database.empty() && (RunScriptProcedure(ctx, s.procedure, args) ||
                              RunSecurityProcedure(ctx, s.procedure, args)))) {
    if (status) *status = Value::Int(0);
    WriteReturnStatus(ctx.w, 0);
    WriteDone(ctx.w, kTokDoneProc, ctx.lastStatement && !ctx.inProcedure ? 0 : kDoneMore, kCmdNone, 0);
    return;
  }
  ServerMessage error;
  const CatalogOutcome outcome = RunCatalogProcedure(s.procedure, args, ctx.session, s.database, ctx.w, error);
  if (outcome == CatalogOutcome::NotCatalog)
    ThrowSqlError(2812, "Could not find stored procedure '" + s.procedure + "'.", 62);
  if (outcome == CatalogOutcome::Error) throw SqlError{error};
  if (status) *status = Value::Int(0);
  WriteReturnStatus(ctx.w, 0);
  WriteDone(ctx.w, kTokDoneProc, ctx.lastStatement && !ctx.inProcedure ? 0 : kDoneMore, kCmdNone, 0);
}

}  // namespace standin
