#include "login_check.h"

#include <algorithm>

#include "data_sources.h"
#include "encryption_probe.h"
#include "server_certificate.h"
#include "server_messages.h"
#include "server_name.h"
#include "source_logon.h"

namespace talvoro::odbc {
namespace {

// The SQL Server driver's connection attribute for integrated security. FreeTDS
// ignores it (unixODBC swallows the refusal); the empty login name is what
// selects the integrated logon there. It is set for drivers that do honour it.
constexpr SQLINTEGER kIntegratedSecurity = 1203;
// "Cannot open database "X" requested by the login. The login failed."
constexpr SQLINTEGER kCannotOpenDatabase = 4060;

}  // namespace

std::optional<bool> ServerHasDatabase(SQLHDBC dbc, const std::string& databaseName) {
  std::string quoted;
  for (char c : databaseName) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  const std::string sql = "SELECT DB_ID(N'" + quoted + "')";
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return std::nullopt;
  std::optional<bool> exists;
  if (Succeeded(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                              SQL_NTS)) &&
      Succeeded(SQLFetch(stmt))) {
    char id[64] = {};
    SQLLEN indicator = 0;
    if (Succeeded(SQLGetData(stmt, 1, SQL_C_CHAR, id, sizeof id, &indicator)))
      exists = indicator != SQL_NULL_DATA;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return exists;
}

LoginCheckResult TestSourceLogin(AuthChoice choice, const std::string& loginName,
                                 const std::string& password, const std::string& databaseName,
                                 const std::string& server, int timeoutSeconds,
                                 const SourceEncryption& encryption, MessageSurface surface) {
  LoginCheckResult result;
  result.authMode = choice == AuthChoice::Windows ? kAuthWindows : kAuthSql;
  const ParsedServerName parsed = ParseServerName(server);
  if (!parsed.name) {
    result.serverNameInvalid = true;
    result.message = parsed.error;
    return result;
  }
  // The logon names the database, as the run's connections do: a contained
  // database's user exists only there, and the server refuses a database it
  // does not hold (error 4060) at the logon itself.
  std::string setupError;
  if (!RegisterSourceDsn(databaseName, kSourceDsn, server, encryption, &setupError) &&
      encryption.ChecksCertificate()) {
    // Never connect through a data source that would not check the certificate.
    result.certificateRefused = true;
    result.message = setupError;
    return result;
  }

  SQLHENV env = SQL_NULL_HENV;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return result;
  if (!Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return result;
  }
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);

  // A server that does not answer fails the check after this long, not never.
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
  const bool windows = choice == AuthChoice::Windows;
  SQLSetConnectAttr(dbc, kIntegratedSecurity,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(windows ? 1 : 0)),
                    SQL_IS_INTEGER);

  SQLCHAR* dsn = reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSourceDsn));
  SQLRETURN rc;
  if (windows) {
    rc = SQLConnect(dbc, dsn, SQL_NTS, nullptr, 0, nullptr, 0);
  } else {
    rc = SQLConnect(dbc, dsn, SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(loginName.c_str())), SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(password.c_str())), SQL_NTS);
  }
  result.passed = Succeeded(rc);
  if (!result.passed) {
    result.diagnostics = ReadDiagnostics(SQL_HANDLE_DBC, dbc);
    // A refused logon may come with a connection error too: the server's own
    // message tells it apart from a server that never answered.
    result.serverSilent =
        !ServerSentAMessage(result.diagnostics) && ServerNeverAnswered(result.diagnostics);
    const bool databaseRefused =
        !databaseName.empty() && std::any_of(result.diagnostics.begin(), result.diagnostics.end(),
                                             [](const DiagnosticRecord& r) { return r.nativeError == kCannotOpenDatabase; });
    if (databaseRefused) {
      result.databaseMissing = true;
    } else if (result.serverSilent) {
      result.message = ServerNotAnsweringText(server);
    } else if (encryption.required && !ServerSentAMessage(result.diagnostics) &&
               ServerOffersEncryption(*parsed.name, timeoutSeconds) == false) {
      // FreeTDS only says "Adaptive Server connection failed".
      result.encryptionUnavailable = true;
      result.message = EncryptionUnavailableText(server);
    } else if (encryption.ChecksCertificate() && !ServerSentAMessage(result.diagnostics)) {
      // The same words for a refused certificate: the converter looks itself.
      const std::optional<CertificateFindings> findings =
          InspectServerCertificate(*parsed.name, encryption.caFile, timeoutSeconds);
      result.certificateRefused = true;
      result.message = findings ? CertificateRefusedText(server, *findings, encryption.caFile, surface)
                                : EncryptedConnectionFailedText(server, surface);
    } else {
      result.message = kLoginMismatchMessage;
      result.refusal = LoginFailedText(windows ? std::string() : loginName, server);
    }
  } else {
    if (!databaseName.empty() && ServerHasDatabase(dbc, databaseName) == false) {
      result.passed = false;
      result.databaseMissing = true;
    }
    SQLDisconnect(dbc);
  }
  if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return result;
}

std::string LoginFailureDetails(const LoginCheckResult& result) {
  std::string text = result.refusal;
  for (const DiagnosticRecord& record : result.diagnostics) {
    if (!text.empty()) text += '\n';
    text += "[" + record.sqlState + "] " + record.message;
  }
  return text;
}

}  // namespace talvoro::odbc
