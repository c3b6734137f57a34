// Asks a SQL Server, in a PRELOGIN of its own, whether it can encrypt. FreeTDS
// reports a required encryption the server cannot give only as "Adaptive
// Server connection failed"; this lets the converter say what happened.
#pragma once

#include <optional>

#include "server_name.h"

namespace talvoro::odbc {

// True when the server answers PRELOGIN with an ENCRYPTION option other than
// "not supported", false when it cannot encrypt, nullopt when the question
// itself failed.
std::optional<bool> ServerOffersEncryption(const ServerName& server, int timeoutSeconds);

}  // namespace talvoro::odbc
