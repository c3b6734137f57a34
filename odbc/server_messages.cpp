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

namespace talvoro::odbc {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string NameList(const std::vector<std::string>& names) {
  if (names.empty()) return "no name";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string Why(const CertificateFindings& f, const std::string& caFile) {
  const std::string trusted =
      caFile.empty() ? "this machine's trusted certificates (/etc/ssl/certs)" : "the CA file " + caFile;
  switch (f.problem) {
    case CertificateProblem::SelfSigned:
      return "it is self-signed, and not among " + trusted;
    case CertificateProblem::UntrustedIssuer:
      return "its issuer " + Quoted(f.issuer) + " is not among " + trusted;
    case CertificateProblem::Expired:
      return "it expired on " + f.validUntil;
    case CertificateProblem::NotYetValid:
      return "it is valid only from " + f.validFrom;
    case CertificateProblem::NameMismatch:
      return "it is made out to " + NameList(f.names) + ", not to " + f.host;
    case CertificateProblem::Other:
      return f.detail;
    case CertificateProblem::None:
      break;
  }
  return "this machine accepts it, but the driver did not";
}

std::string TrustWay(MessageSurface surface) {
  return surface == MessageSurface::CommandLine
             ? "if you trust this server's certificate as it is, convert with "
               "--trust-server-certificate"
             : "if you trust this server's certificate as it is, tick \"Trust server certificate\"";
}

std::string AuthorityWay(MessageSurface surface) {
  return surface == MessageSurface::CommandLine
             ? "give the certificate of the authority that signed it with --ca-file FILE (PEM)"
             : "add the certificate of the authority that signed it to this machine's trusted "
               "certificates (update-ca-certificates)";
}

}  // namespace

std::string CertificateRefusedText(std::string_view server, const CertificateFindings& findings,
                                   const std::string& caFile, MessageSurface surface) {
  std::string text = "the certificate of the server " + ServerDisplayName(server) +
                     " is refused: " + Why(findings, caFile) + ".\n";
  text += "Certificate: " + Quoted(findings.subject) + ", issued by " + Quoted(findings.issuer) +
          ", valid from " + findings.validFrom + " to " + findings.validUntil + ", for " +
          NameList(findings.names) + ".\n";
  std::string first;
  switch (findings.problem) {
    case CertificateProblem::NameMismatch:
      first = "connect by a name the certificate holds (" + NameList(findings.names) + ")";
      break;
    case CertificateProblem::Expired:
    case CertificateProblem::NotYetValid:
      first = "have the server's certificate renewed";
      break;
    default:
      first = AuthorityWay(surface);
      break;
  }
  return text + "Either " + first + ", or, " + TrustWay(surface) + ".";
}

std::string EncryptedConnectionFailedText(std::string_view server, MessageSurface surface) {
  return "the encrypted connection to the server " + ServerDisplayName(server) +
         " failed, and its certificate could not be read to say why.\nEither " +
         AuthorityWay(surface) + ", or, " + TrustWay(surface) + ".";
}

}  // namespace talvoro::odbc
