// A small ODBC client for the driver tests: one environment and connection through
// the real driver manager, statements with their diagnostics, SELECT results as
// text, and SQLConfigDataSource with its installer error.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvoro::test {

inline constexpr const char* kAccessDriver = "Microsoft Access Driver (*.mdb)";

struct OdbcOutcome {
  SQLRETURN rc = SQL_ERROR;
  std::string sqlstate;  // of the first diagnostic record
  std::string message;   // every record, one per line
  SQLLEN rowCount = -1;
  bool ok() const { return SQL_SUCCEEDED(rc); }
};

// Diagnostic records of a handle, "STATE message" per line.
OdbcOutcome Diagnose(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

using TextRow = std::vector<std::optional<std::string>>;

struct QueryResult {
  OdbcOutcome outcome;
  std::vector<std::string> columnNames;
  std::vector<SQLSMALLINT> columnTypes;
  std::vector<TextRow> rows;  // SQLGetData as SQL_C_CHAR; nullopt is NULL
};

class OdbcSession {
 public:
  // SQLDriverConnect with SQL_DRIVER_COMPLETE and no window; nullptr and the reason on failure.
  static std::unique_ptr<OdbcSession> Connect(const std::string& connectionString,
                                              OdbcOutcome* failure = nullptr,
                                              SQLINTEGER odbcVersion = SQL_OV_ODBC3);
  ~OdbcSession();
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;

  OdbcOutcome Execute(const std::string& sql);
  QueryResult Query(const std::string& sql);

  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }
  const std::string& completedConnectionString() const { return completed_; }

 private:
  OdbcSession() = default;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string completed_;
};

struct InstallerOutcome {
  bool ok = false;
  unsigned code = 0;       // first SQLInstallerError code
  std::string message;
};

// SQLConfigDataSource(NULL, request, driver, attributes joined with NULs).
InstallerOutcome ConfigDataSource(unsigned short request, const std::vector<std::string>& attributes,
                                  const std::string& driver = kAccessDriver);

// The text of a file (for ini checks and "file unchanged" checks).
std::string ReadFileText(const std::string& path);

}  // namespace talvoro::test
