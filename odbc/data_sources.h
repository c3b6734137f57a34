// Registration of the two data sources through the ODBC installer:
// "dsns" (driver "SQL Server") for the source database and "dsna" (driver
// "Microsoft Access Driver (*.mdb)") for the destination file, plus the request
// that makes the Access driver create an empty .mdb file.
#pragma once

#include <string>
#include <string_view>

#include "source_encryption.h"

namespace talvoro::odbc {

inline constexpr char kSourceDsn[] = "dsns";
inline constexpr char kDestDsn[] = "dsna";
inline constexpr char kSourceConnectString[] = "DSN=dsns";
inline constexpr char kDestConnectString[] = "DSN=dsna";
inline constexpr char kSqlServerDriver[] = "SQL Server";
inline constexpr char kAccessDriver[] = "Microsoft Access Driver (*.mdb)";
inline constexpr char kLocalServer[] = "(local)";

// Ends every entry of an attribute template, and the template itself once more.
inline constexpr std::string_view kAttributeSeparator{"\xFF\x20", 2};

// Shown (by the caller) when the destination data source cannot be added.
inline constexpr char kDataSourceFailureMessage[] =
    "Failed to add Data Source\nBe sure you are logged on as an Administrator";

// The source template with its values in place:
// "DSN=<name>" "Server=<server>" "Trusted_Connection=yes" "Database=<database>",
// each followed by the separator, then one more separator. An empty server is
// "(local)", this machine's default instance; any other is written as typed
// (server_name.h), the setup library turns it into FreeTDS's keys.
// With `requireEncryption`, "Encryption=require" follows: the connection is
// encrypted whole or not made. Without it the setup library asks FreeTDS for
// encryption whenever the server offers it (at least the logon).
// With a `freeTdsSection` (private_freetds_conf.h), "Servername=<section>"
// stands where "Server=" would: FreeTDS then takes the server and the
// certificate checks from that section.
std::string FormatSourceTemplate(std::string_view name, std::string_view database,
                                 std::string_view server = {}, bool requireEncryption = false,
                                 std::string_view freeTdsSection = {});

// The destination template: "DSN=<name> " "DESCRIPTION=<description> " "DBQ=<path>".
std::string FormatDestTemplate(std::string_view name, std::string_view description,
                               std::string_view path);

// Turns a formatted template into SQLConfigDataSource's attribute list: each
// 0xFF 0x20 pair becomes one NUL; the last byte (the closing separator's blank)
// is dropped, so the list ends in two NULs. Any length.
std::string ExpandAttributeTemplate(std::string_view formatted);

// ODBC_ADD_DSN for "SQL Server" naming `server` (empty: this machine's default
// instance); replaces an existing data source of that name. False when the
// installer refuses, e.g. a server name that is not one (ParseServerName).
// When `encryption` checks the certificate, the server goes into the
// converter's private freetds.conf first; false (with `error`) when it cannot.
bool RegisterSourceDsn(const std::string& database, const std::string& name,
                       const std::string& server = std::string(),
                       const SourceEncryption& encryption = {}, std::string* error = nullptr);

// ODBC_ADD_DSN for the Access driver. When a system data source of that name
// exists it only asks for the removal and returns false. When the installer
// refuses, returns false and, if `failureMessage` is given, stores
// kDataSourceFailureMessage there for the caller to show.
bool RegisterDestDsn(const std::string& path, const std::string& name,
                     const std::string& description, std::string* failureMessage = nullptr);

// ODBC_REMOVE_DSN for the Access driver, with the same attribute list.
bool RemoveDestDsn(const std::string& path, const std::string& name,
                   const std::string& description);

// ODBC_ADD_DSN for the Access driver with only CREATE_DB="<path>": creates an
// empty database file. On failure `error` gets the installer's message.
bool CreateDestinationFile(const std::string& path, std::string* error = nullptr);

// Whether the system odbc.ini defines a data source of that name (letter case
// does not count). Reads the file's section list, which the installer does not cache.
bool SystemDataSourceExists(const std::string& name);

// Whether the user's odbc.ini defines it (same uncached read).
bool UserDataSourceExists(const std::string& name);

// The installer's error messages after a failed installer call, one per line.
std::string LastInstallerError();

}  // namespace talvoro::odbc
