// Runs the stored procedures of a database (and a session's #procedures):
// binds the caller's arguments to the declared parameters with SQL Server's
// errors, runs the body with a variable scope of its own, and hands back the
// return status and the OUTPUT parameters' values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/tds_io.h"
#include "session_state.h"
#include "tsql/batch_executor.h"
#include "tsql/procedure_definition.h"
#include "types/sql_type.h"

namespace standin {

struct ProcedureArgument {
  std::string name;  // "@name" (any case) or empty: by position
  Value value;       // Value::Kind::Default: DEFAULT written
  bool output = false;
};

// An OUTPUT parameter that received an OUTPUT argument, with its final value.
struct ProcedureOutput {
  size_t argument = 0;  // index into the call's arguments
  std::string name;     // the parameter's declared name
  SqlType type;
  Value value;
};

struct ProcedureRun {
  BatchOutcome outcome = BatchOutcome::Completed;
  bool aborted = false;  // the body's error ended the calling batch too
  int32_t status = 0;
  std::vector<ProcedureOutput> outputs;  // in argument order
};

// The user procedure `name` (stored name, or "#name") of the session's
// current database; nullopt when there is none.
std::optional<ProcedureDefinition> FindProcedure(SessionState& session, const std::string& name);

// Checks EXECUTE permission and the arguments, then runs the body, its
// results going to `w` (DONEINPROC per statement). Throws SqlError for 201,
// 119, 8144, 8145, 8162, 217, 229 and conversion errors before the body runs.
ProcedureRun CallProcedure(SessionState& session, ReplyWriter& w, const ProcedureDefinition& procedure,
                           const std::vector<ProcedureArgument>& arguments);

// sp_executesql, sp_prepexec, sp_execute: the final values of the parameters an
// RPC marked OUTPUT, typed as `definitions` declares them ("@P1 int, @P2 int
// OUTPUT"). `marked` holds (ordinal in the RPC, lower-case declared name).
std::vector<ProcedureOutput> StatementOutputs(SessionState& session, const std::string& definitions,
                                              const std::vector<std::pair<size_t, std::string>>& marked);

// The RETURNVALUE token of an output, numbered `ordinal` in the RPC's parameters.
void WriteProcedureOutput(ReplyWriter& w, const ProcedureOutput& output);

}  // namespace standin
