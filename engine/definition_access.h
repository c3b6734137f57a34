// A login without the VIEW DEFINITION permission (the usual read-only login)
// reads every row it may SELECT, but the server hands it NULL for the text of
// defaults and CHECK constraints: they cannot be carried, and the run says so
// once instead of dropping them silently.
#pragma once

#include <optional>
#include <string>

#include "odbc/source_logon.h"

namespace talvoro::engine {

// The note for the whole run when the login cannot read definitions that the
// database has; nullopt when it can, when there are none, or when the server
// cannot say (the tables then report their own failures).
std::optional<std::string> UnreadableDefinitionsNote(const odbc::SourceLogon& logon);

// The note's text for `defaults` column defaults and `checks` CHECK constraints.
std::string UnreadableDefinitionsText(long long defaults, long long checks);

}  // namespace talvoro::engine
