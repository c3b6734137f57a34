#include "tsql/batch_executor.h"

#include <variant>

#include "tsql/statement_context.h"
#include "tsql/statement_handlers.h"
#include "tsql/statement_locks.h"
#include "tsql/tsql_parser.h"

namespace standin {

const char kVersionText[] =
    "Microsoft SQL Server 2022 (RTM) - 16.0.4096.0 (X64) compatible stand-in (SQLite storage)";

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// Errors that end only their statement on SQL Server (XACT_ABORT OFF); the
// batch goes on. Conversion failures (245, 241, 8114) are not among them: SQL
// Server aborts the batch for those, as for an object missing at compile time.
bool EndsOnlyTheStatement(int number) {
  switch (number) {
    case 109: case 110: case 213: case 229: case 262: case 271: case 272: case 273: case 515: case 544: case 547:
    case 1088: case 1222: case 4902:
    case 1505: case 1750: case 1776: case 1781: case 1801: case 1902: case 1913: case 2601: case 2627: case 2628:
    case 2705: case 3701: case 3725: case 3726: case 3728: case 4712: case 4901: case 5074:
    case 2714: case 3702: case 3705: case 4405: case 8101: case 8102: case 8152:
    case 220: case 232: case 8115: case 8134:            // arithmetic overflow, divide by zero (ANSI_WARNINGS ON)
    case 4860: case 4861: case 4863: case 4864: case 4866: case 4832:  // BULK INSERT: file, truncation, conversion
    case 13536: case 13537: case 13560:                  // GENERATED ALWAYS columns, temporal history
    case 6522:                                           // an error inside a CLR type (geography, hierarchyid)
    case 201: case 2812: case 8144: case 8145: case 8162: // a procedure call's arguments, a missing procedure
      return true;
    default:
      return false;
  }
}

// RETURN's value as a status: converted to int as SQL Server converts it
// (overflow is error 8115); NULL gives 0, as on SQL Server.
int32_t ReturnStatusValue(const Value& v) {
  if (v.kind == Value::Kind::Null) return 0;
  ConversionError error;
  const auto stored = ConvertToColumn(v, SqlType{TypeKind::Int, 0, 0, 0}, error);
  if (!stored) ThrowSqlError(error.number, error.text);
  return stored->kind == StoredValue::Kind::Integer ? static_cast<int32_t>(stored->integer) : 0;
}

}  // namespace

// Outside a transaction nothing outlives its statement.
void BatchExecutor::ReleaseStatementLocks() {
  if (session_.tranCount == 0) LockTable::Server().ReleaseAll(session_.spid);
  else LockTable::Server().ReleaseStatementLocks(session_.spid);
}

BatchOutcome BatchExecutor::Run(const std::string& sql) {
  const ParsedBatch batch = ParseBatch(sql);
  StatementContext ctx(session_, w_, batch, inProcedure_);
  // A message from a procedure's body names the procedure, as SQL Server's do.
  auto named = [&](ServerMessage m) {
    if (m.procedure.empty()) m.procedure = session_.currentProcedure;
    return m;
  };
  auto fail = [&](ServerMessage m) {
    aborted_ = !EndsOnlyTheStatement(m.number);  // the last statement's own error ends nothing more
    WriteMessage(w_, named(m));
    WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
              kDoneError | (inProcedure_ ? kDoneMore : 0) | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
    return BatchOutcome::Failed;
  };
  // A statement-ending error: the message and its statement's DONE, and the batch goes on.
  auto endStatement = [&](const ServerMessage& m) {
    WriteMessage(w_, named(m));
    WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
              kDoneError | kDoneMore | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
  };
  if (!batch.ok) {
    ServerMessage m;
    m.number = batch.errorNumber;
    m.state = 1;
    m.severity = 15;
    m.text = batch.error;
    return fail(m);
  }
  if (batch.statements.empty()) {
    ctx.lastStatement = true;
    ctx.Done(0, kCmdNone, 0);
    return BatchOutcome::Completed;
  }
  bool anyFailed = false;
  // With IF, WHILE or RETURN the last statement run is not known in advance:
  // the batch then ends with a DONE of its own.
  bool flow = false;
  for (const auto& st : batch.statements)
    flow |= std::holds_alternative<IfStmt>(st) || std::holds_alternative<GotoStmt>(st) || std::holds_alternative<ReturnStmt>(st);
  constexpr uint64_t kMaxJumps = 10000000;  // a WHILE that never ends must not hold the session forever
  uint64_t jumps = 0;
  for (size_t i = 0; i < batch.statements.size();) {
    ctx.lastStatement = !flow && i + 1 == batch.statements.size();
    const Statement& statement = batch.statements[i];
    size_t next = i + 1;
    try {
      if (const auto* s = std::get_if<IfStmt>(&statement)) {
        if (!EvaluateCondition(ctx, s->condition)) next = s->falseTarget;
      } else if (const auto* g = std::get_if<GotoStmt>(&statement)) {
        next = g->target;
        if (++jumps > kMaxJumps) ThrowSqlError(50000, "The batch was stopped: its loop ran too long.");
      } else if (const auto* r = std::get_if<ReturnStmt>(&statement)) {
        if (!r->value.empty()) returnStatus_ = ReturnStatusValue(ctx.Evaluate(batch.tokens, r->value));
        break;
      } else if (session_.fmtonly && !std::holds_alternative<QueryStmt>(statement) && !std::holds_alternative<SetStmt>(statement)) {
        ctx.Done(0, kCmdNone, 0);  // FMTONLY describes without running anything
      } else {
        // With IMPLICIT_TRANSACTIONS ON, reading or changing data opens a transaction
        // (script statements that only touch variables or print do not).
        if (session_.implicitTransactions && session_.tranCount == 0 && !std::holds_alternative<SetStmt>(statement) &&
            !std::holds_alternative<TransactionStmt>(statement) && !std::holds_alternative<UseStmt>(statement) &&
            !std::holds_alternative<ExecStmt>(statement) && !std::holds_alternative<DeclareStmt>(statement) &&
            !std::holds_alternative<PrintStmt>(statement) && !std::holds_alternative<RaiserrorStmt>(statement) &&
            !std::holds_alternative<NoOpStmt>(statement))
          BeginTransaction(session_, w_);
        const StatementAccess access = AccessOf(statement, batch, session_);
        CheckPermissions(ctx, statement, access);
        ctx.Lock(access.locks, access.noWait);
        std::visit(Overloaded{
                       [&](const CreateDatabaseStmt& s) { RunCreateDatabase(ctx, s); },
                       [&](const DropDatabaseStmt& s) { RunDropDatabase(ctx, s); },
                       [&](const UseStmt& s) { RunUse(ctx, s); },
                       [&](const CreateTableStmt& s) { RunCreateTable(ctx, s); },
                       [&](const CreateViewStmt& s) { RunCreateView(ctx, s); },
                       [&](const InsertStmt& s) { RunInsert(ctx, s); },
                       [&](const UpdateStmt& s) { RunUpdate(ctx, s); },
                       [&](const DropObjectStmt& s) { RunDropObject(ctx, s); },
                       [&](const QueryStmt& s) { RunQuery(ctx, s); },
                       [&](const SetStmt& s) { RunSet(ctx, s); },
                       [&](const TransactionStmt& s) { RunTransaction(ctx, s); },
                       [&](const ExecStmt& s) { RunExec(ctx, s); },
                       [&](const CreateIndexStmt& s) { RunCreateIndex(ctx, s); },
                       [&](const DropIndexStmt& s) { RunDropIndex(ctx, s); },
                       [&](const AlterTableStmt& s) { RunAlterTable(ctx, s); },
                       [&](const DeclareStmt& s) { RunDeclare(ctx, s); },
                       [&](const AssignStmt& s) { RunAssign(ctx, s); },
                       [&](const PrintStmt& s) { RunPrint(ctx, s); },
                       [&](const RaiserrorStmt& s) { RunRaiserror(ctx, s); },
                       [&](const NoOpStmt&) { ctx.Done(0, kCmdNone, 0); },
                       [&](const CreateModuleStmt& s) { RunCreateModule(ctx, s); },
                       [&](const DropModuleStmt& s) { RunDropModule(ctx, s); },
                       [&](const CreateTypeStmt& s) { RunCreateType(ctx, s); },
                       [&](const DropTypeStmt& s) { RunDropType(ctx, s); },
                       [&](const CreateSchemaStmt& s) { RunCreateSchema(ctx, s); },
                       [&](const DropSchemaStmt& s) { RunDropSchema(ctx, s); },
                       [&](const SecurityStmt& s) { RunSecurity(ctx, s); },
                       [&](const BulkInsertStmt& s) { RunBulkInsert(ctx, s); },
                       [&](const CreateXmlSchemaCollectionStmt& s) { RunCreateXmlSchemaCollection(ctx, s); },
                       [&](const auto&) {},  // control flow, handled above
                   },
                   statement);
      }
    } catch (const StatementCancelled&) {
      ReleaseStatementLocks();
      WriteDone(w_, kTokDone, kDoneAttention, kCmdNone, 0);
      return BatchOutcome::Cancelled;
    } catch (const SqliteError& e) {
      ReleaseStatementLocks();
      const ServerMessage m = TranslateSqliteError(e);
      if (ctx.lastStatement || !EndsOnlyTheStatement(m.number)) return fail(m);
      endStatement(m);
      anyFailed = true;
      i = next;
      continue;
    } catch (const SqlError& e) {
      ReleaseStatementLocks();
      if (ctx.lastStatement || !EndsOnlyTheStatement(e.message.number)) return fail(e.message);
      endStatement(e.message);
      anyFailed = true;
      i = next;
      continue;
    } catch (const ProcedureAborted&) {
      ReleaseStatementLocks();
      aborted_ = true;
      WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
                kDoneError | (inProcedure_ ? kDoneMore : 0) | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
      return BatchOutcome::Failed;
    } catch (const ConnectionLost&) {
      throw;
    } catch (const ProtocolError&) {
      throw;
    } catch (const std::exception& e) {
      ReleaseStatementLocks();
      ServerMessage m;
      m.number = 50000;
      m.text = e.what();
      return fail(m);
    }
    ReleaseStatementLocks();
    if (ctx.cancelled) return BatchOutcome::Cancelled;
    i = next;
  }
  if (flow) {
    WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
              (inProcedure_ ? kDoneMore : 0) | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
  }
  return anyFailed ? BatchOutcome::Failed : BatchOutcome::Completed;
}

}  // namespace standin
