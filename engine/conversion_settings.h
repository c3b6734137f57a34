// What the first page collects and the second page and the run read.
#pragma once

#include <chrono>
#include <string>

#include "odbc/source_encryption.h"
#include "odbc/source_logon.h"

namespace talvoro::engine {

struct ConversionSettings {
  // The SQL Server as the user typed it (odbc/server_name.h); empty, "localhost",
  // "(local)" and "." are this machine's default instance.
  std::string serverName;
  // Encryption of the connection to the source and the certificate check
  // (--encrypt, --trust-server-certificate, --ca-file; the first page's check boxes).
  odbc::SourceEncryption encryption;
  std::string databaseName;  // source database (the .mdf file's name up to its first ".")
  std::string destPath;      // full path of the destination .mdb file
  std::string authMode;      // "wnd" or "sql", set by the login check
  std::string loginName;
  std::string password;      // kept in memory only
  // An existing file the user agreed to replace. It stays untouched until a run
  // with destPath equal to it creates the new file (destination_replacement.h).
  std::string replaceableDestPath;
  // How long one request to the source may wait for the server.
  int sourceTimeoutSeconds = odbc::kDefaultSourceTimeoutSeconds;
  // How often the row copy commits what it inserted (see kCommitInterval).
  std::chrono::milliseconds commitInterval{2000};

  odbc::SourceLogon logon() const { return {authMode, loginName, password, sourceTimeoutSeconds}; }
};

// The process-wide settings, empty at start, and the names the pages use for them.
inline ConversionSettings g_conversionSettings;
inline std::string& g_strDatabaseName = g_conversionSettings.databaseName;
inline std::string& g_strDestPath = g_conversionSettings.destPath;
inline std::string& g_strAuthMode = g_conversionSettings.authMode;
inline std::string& g_strLoginName = g_conversionSettings.loginName;
inline std::string& g_strPassword = g_conversionSettings.password;

}  // namespace talvoro::engine
