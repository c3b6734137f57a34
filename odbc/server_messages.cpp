#include "server_messages.h"

#include "server_name.h"

namespace talvoro::odbc {

bool ServerNeverAnswered(const std::vector<DiagnosticRecord>& records) {
  for (const DiagnosticRecord& r : records) {
    if (r.sqlState == "HYT00" || r.sqlState == "HYT01" || r.sqlState == "08S01") return true;
    // FreeTDS's numbers: time-out, read error, write error, cannot connect,
    // unknown host, end of file from the server.
    switch (r.nativeError) {
      case 20003: case 20004: case 20006: case 20009: case 20013: case 20017:
        return true;
      default:
        break;
    }
  }
  return false;
}

bool ServerDidNotAnswer(const std::vector<DiagnosticRecord>& records) {
  if (ServerNeverAnswered(records)) return true;
  for (const DiagnosticRecord& r : records) {
    if (r.sqlState == "08001") return true;
  }
  return false;
}

bool ServerSentAMessage(const std::vector<DiagnosticRecord>& records) {
  for (const DiagnosticRecord& r : records) {
    if (r.nativeError > 0 && r.nativeError < 20000) return true;
  }
  return false;
}

std::string ServerNotAnsweringText(std::string_view server) {
  return "the server " + ServerDisplayName(server) + " does not answer";
}

std::string EncryptionUnavailableText(std::string_view server) {
  return "the server " + ServerDisplayName(server) +
         " cannot encrypt the connection, and encryption is required (--encrypt): turn on "
         "encryption at the server (give it a certificate), or convert without --encrypt";
}

std::string LoginFailedText(std::string_view loginName, std::string_view server) {
  const std::string who = loginName.empty() ? std::string("Windows authentication")
                                            : "user '" + std::string(loginName) + "'";
  return "Login failed for " + who + " on " + ServerDisplayName(server);
}

}  // namespace talvoro::odbc
