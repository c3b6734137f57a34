// Runs a batch of T-SQL against the session's database and writes the reply
// tokens: result sets streamed straight from SQLite, row counts, errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session_state.h"
#include "protocol/tds_io.h"
#include "protocol/tds_tokens.h"

namespace standin {

enum class BatchOutcome { Completed, Failed, Cancelled };

class BatchExecutor {
 public:
  // `inProcedure`: the batch runs inside an RPC (sp_executesql, sp_prepexec), so
  // its statements end with DONEINPROC and the caller closes with DONEPROC.
  BatchExecutor(SessionState& session, ReplyWriter& w, bool inProcedure)
      : session_(session), w_(w), inProcedure_(inProcedure) {}

  // Does not end the reply message. On Cancelled the final DONE (attention
  // acknowledged) has been written.
  BatchOutcome Run(const std::string& sql);

  // RETURN n of a procedure's body; nullopt when it ended without one.
  std::optional<int32_t> returnStatus() const { return returnStatus_; }
  // An error ended the batch early (not only its statement).
  bool aborted() const { return aborted_; }

 private:
  void ReleaseStatementLocks();

  SessionState& session_;
  ReplyWriter& w_;
  bool inProcedure_;
  std::optional<int32_t> returnStatus_;
  bool aborted_ = false;
};

// Thrown when a called procedure's body ended its batch: the error and its
// DONE tokens are written already, and the calling batch ends too.
struct ProcedureAborted {};

// SQL Server's version text for @@VERSION.
extern const char kVersionText[];

}  // namespace standin
