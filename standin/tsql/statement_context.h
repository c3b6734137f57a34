// Shared services for the statement handlers of one batch: DONE tokens with the
// right flags, expression evaluation, SQLite error translation, transactions.
#pragma once

#include <string>
#include <vector>

#include "session_state.h"
#include "storage/lock_table.h"
#include "storage/sqlite_handle.h"
#include "protocol/tds_io.h"
#include "protocol/tds_tokens.h"
#include "tsql/tsql_parser.h"
#include "types/value_conversion.h"

namespace standin {

// Thrown by handlers; the batch ends with this message.
struct SqlError {
  ServerMessage message;
};
// The client cancelled (an attention) while the statement waited for a lock.
struct StatementCancelled {};
[[noreturn]] void ThrowSqlError(int number, std::string text, uint8_t state = 1);

// SQL Server's message for a SQLite failure (208 invalid object, 207 invalid column, 102 syntax ...).
ServerMessage TranslateSqliteError(const SqliteError& e);

class StatementContext {
 public:
  StatementContext(SessionState& session, ReplyWriter& w, const ParsedBatch& batch, bool inProcedure)
      : session(session), w(w), batch(batch), inProcedure(inProcedure) {}

  // DONE (or DONEINPROC inside an RPC) closing the current statement.
  void Done(uint16_t status, uint16_t curcmd, uint64_t rows);
  void DoneCount(uint16_t curcmd, uint64_t rows) { Done(session.nocount ? 0 : kDoneCount, curcmd, rows); }

  // The value of an expression (literals directly, anything else through SQLite).
  Value Evaluate(const std::vector<SqlToken>& tokens, TokenRange range);
  // The value of "SELECT expression" already in SQLite's dialect.
  Value EvaluateSql(const std::string& sql);
  // The SQLite text of a token range; throws for undeclared variables.
  std::string Rewrite(const std::vector<SqlToken>& tokens, TokenRange range);
  // A name that must refer to the current database.
  void CheckDatabasePart(const ObjectName& name);

  // Takes the locks (storage/lock_table.h), waiting as SET LOCK_TIMEOUT allows
  // (`noWait`: not at all); throws SqlError 1222 when the time is up, 1205
  // (its transaction rolled back) for a deadlock's victim, StatementCancelled
  // when the client cancels meanwhile.
  void Lock(const std::vector<LockRequest>& requests, bool noWait = false);

  // Runs `body` atomically: its own transaction, or a savepoint inside an open
  // one. Holds the database's writer resource first; inside an explicit
  // transaction the SQLite transaction begins here and lasts to its end.
  template <class Body>
  void Atomically(Body&& body) {
    sqlite3* db = session.db().handle();
    HoldWriter();
    const bool nested = session.sqliteTransaction;
    SqliteExec(db, nested ? "SAVEPOINT standin_statement" : "BEGIN IMMEDIATE");
    try {
      body();
    } catch (...) {
      if (nested) sqlite3_exec(db, "ROLLBACK TO standin_statement; RELEASE standin_statement", nullptr, nullptr, nullptr);
      else sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    SqliteExec(db, nested ? "RELEASE standin_statement" : "COMMIT");
  }

  SessionState& session;
  ReplyWriter& w;
  const ParsedBatch& batch;
  const bool inProcedure;
  bool lastStatement = false;
  bool cancelled = false;
 private:
  void HoldWriter();
};

}  // namespace standin
