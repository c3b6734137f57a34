// A stored procedure's signature and body, read back from its CREATE text:
// parameters with their declared types, defaults and OUTPUT marks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

struct ProcedureParameter {
  std::string name;      // as declared, "@Name"
  std::string typeText;  // "nvarchar(50)", "int", an alias type's name
  TokenRange defaultValue;  // a literal in ProcedureDefinition::tokens; empty: none
  bool output = false;
};

struct ProcedureDefinition {
  std::string name;  // stored name (schema-qualified outside dbo)
  std::vector<ProcedureParameter> parameters;
  std::string body;  // the statements after AS, run as a batch of their own
  std::vector<SqlToken> tokens;  // of the CREATE text; defaults point into it
};

// nullopt when the text is no CREATE/ALTER PROCEDURE this reader understands.
std::optional<ProcedureDefinition> ParseProcedureDefinition(const std::string& text);

}  // namespace standin
