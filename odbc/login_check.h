// The logon test of the first page: registers "dsns" without a database and
// connects to it once with the chosen authentication.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "server_messages.h"
#include "source_encryption.h"
#include "source_logon.h"

namespace talvoro::odbc {

enum class AuthChoice { Windows, SqlServer };

inline constexpr char kLoginMismatchMessage[] = "LOGIN Name or Password Mismatch ";

struct LoginCheckResult {
  bool passed = false;
  // "wnd" or "sql", set whatever the outcome: the caller stores it as the
  // settings' authentication mode.
  std::string authMode;
  // kLoginMismatchMessage when the server or driver refused the logon; empty when
  // it passed or when the ODBC environment could not be set up (nothing to show).
  std::string message;
  // The driver's own reasons for a refusal.
  std::vector<DiagnosticRecord> diagnostics;
  // The logon passed but the server holds no database of the name asked about
  // (passed is then false and message is empty: the caller names the database).
  bool databaseMissing = false;
  // The server name is not one (message says why); nothing was registered or tried.
  bool serverNameInvalid = false;
  // The server did not answer (or its name did not resolve): message is then
  // "the server <name> does not answer", not a logon mismatch.
  bool serverSilent = false;
  // Encryption was required and the server cannot encrypt (message says so).
  bool encryptionUnavailable = false;
  // The server's certificate was refused, or the encrypted connection failed
  // (message says which certificate, why, and the ways forward); or the CA file
  // or the private freetds.conf could not be used (message says so).
  bool certificateRefused = false;
  // For a refused logon, "Login failed for user '<login>' on <server>", the
  // line shown above the driver's own reasons.
  std::string refusal;
};

// With Windows authentication the login name and password are not passed (an
// empty login name is what selects the Kerberos logon); with SQL Server
// authentication both are passed whole. With a `databaseName`, the same
// connection then asks the server whether that database exists (DB_ID); a server
// that cannot answer is given the benefit of the doubt. `server` as the user
// typed it (empty: this machine's default instance). A server that does not
// answer fails the check after `timeoutSeconds`. `encryption` as the data
// source will have it; a refused certificate is told for `surface`.
LoginCheckResult TestSourceLogin(AuthChoice choice, const std::string& loginName,
                                 const std::string& password,
                                 const std::string& databaseName = std::string(),
                                 const std::string& server = std::string(),
                                 int timeoutSeconds = kDefaultSourceTimeoutSeconds,
                                 const SourceEncryption& encryption = {},
                                 MessageSurface surface = MessageSurface::CommandLine);

// The details under a failed check's message: the refusal line, then the
// driver's diagnostics, one "[SQLSTATE] message" a line.
std::string LoginFailureDetails(const LoginCheckResult& result);

// Whether the connected server holds `databaseName`: true or false, nullopt when
// the question itself failed.
std::optional<bool> ServerHasDatabase(SQLHDBC dbc, const std::string& databaseName);

}  // namespace talvoro::odbc
