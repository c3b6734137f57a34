// A freetds.conf of the converter's own, for what the "SQL Server" driver
// (FreeTDS 1.3) takes only from such a file: the CA file the server's
// certificate is checked against, and the check of its host name. The data
// source then names its section (Servername=) instead of Server=/Port=.
//
// The file lives in a private folder made on first use (removed when the
// process ends); FREETDSCONF points this process, and nothing else, at it. The
// user's own freetds.conf files are left alone; FreeTDS reads ours first and,
// finding the section there, no other.
#pragma once

#include <string>
#include <string_view>

#include "server_name.h"
#include "source_encryption.h"

namespace talvoro::odbc {

inline constexpr char kSourceSection[] = "kestrin1-source";

// The host FreeTDS connects to and checks the certificate's names against: the
// host as typed, 127.0.0.1 for this machine (see kThisMachineAddress).
std::string ConnectHost(const ServerName& name);

// The section's text: host, port or instance, TDS 7.4, the encryption level,
// "ca file" (`caFileValue`: a path, or "system" for the system's trusted
// certificates) and the host-name check.
std::string FreeTdsConfSection(std::string_view section, const ServerName& name,
                               bool requireEncryption, std::string_view caFileValue);

// Writes the section for `name` (copying the CA file into the private folder,
// where FreeTDS can read its path whole) and points FREETDSCONF at the file.
// Returns the section name, or an empty string with `error` set.
std::string InstallSourceSection(const ServerName& name, const SourceEncryption& encryption,
                                 std::string* error);

}  // namespace talvoro::odbc
