#include "batch_executor.h"

#include <variant>

#include "statement_context.h"
#include "statement_handlers.h"
#include "tsql_parser.h"

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

// Errors that end only their statement on SQL Server; the batch goes on.
bool EndsOnlyTheStatement(int number) {
  switch (number) {
    case 109: case 110: case 213: case 272: case 273: case 515: case 544: case 1801: case 2627:
    case 2714: case 3701: case 3702: case 3705: case 4405: case 8101: case 8102: case 8152:
      return true;
    default:
      return false;
  }
}

}  // namespace

BatchOutcome BatchExecutor::Run(const std::string& sql) {
  const ParsedBatch batch = ParseBatch(sql);
  StatementContext ctx(session_, w_, batch, inProcedure_);
  auto fail = [&](ServerMessage m) {
    WriteMessage(w_, m);
    WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
              kDoneError | (inProcedure_ ? kDoneMore : 0) | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
    return BatchOutcome::Failed;
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
  for (size_t i = 0; i < batch.statements.size(); ++i) {
    ctx.lastStatement = i + 1 == batch.statements.size();
    const Statement& statement = batch.statements[i];
    try {
      if (session_.fmtonly && !std::holds_alternative<QueryStmt>(statement) && !std::holds_alternative<SetStmt>(statement)) {
        ctx.Done(0, kCmdNone, 0);  // FMTONLY describes without running anything
        continue;
      }
      // With IMPLICIT_TRANSACTIONS ON, reading or changing data opens a transaction.
      if (session_.implicitTransactions && session_.tranCount == 0 && !std::holds_alternative<SetStmt>(statement) &&
          !std::holds_alternative<TransactionStmt>(statement) && !std::holds_alternative<UseStmt>(statement) &&
          !std::holds_alternative<ExecStmt>(statement))
        BeginTransaction(session_, w_);
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
                 },
                 statement);
    } catch (const SqlError& e) {
      if (ctx.lastStatement || !EndsOnlyTheStatement(e.message.number)) return fail(e.message);
      WriteMessage(w_, e.message);
      WriteDone(w_, inProcedure_ ? kTokDoneInProc : kTokDone,
                kDoneError | kDoneMore | (session_.tranCount > 0 ? kDoneInTransaction : 0), kCmdNone, 0);
      anyFailed = true;
      continue;
    } catch (const SqliteError& e) {
      return fail(TranslateSqliteError(e));
    } catch (const ConnectionLost&) {
      throw;
    } catch (const ProtocolError&) {
      throw;
    } catch (const std::exception& e) {
      ServerMessage m;
      m.number = 50000;
      m.text = e.what();
      return fail(m);
    }
    if (ctx.cancelled) return BatchOutcome::Cancelled;
  }
  return anyFailed ? BatchOutcome::Failed : BatchOutcome::Completed;
}

}  // namespace standin
