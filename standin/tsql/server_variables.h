// @@ variables: the server and session values clients ask for, often right
// after connecting (@@MAX_PRECISION, @@VERSION, @@SPID ...).
#pragma once

#include <optional>
#include <string>

#include "session_state.h"

namespace standin {

// The SQLite literal for a @@ variable (lower-case name), or nullopt when SQL
// Server has no such variable.
std::optional<std::string> ServerVariable(const std::string& name, const SessionState& session);

}  // namespace standin
