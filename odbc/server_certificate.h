// The converter's own look at a server's certificate, to say why FreeTDS
// refused it (FreeTDS itself says only "Adaptive Server connection failed"):
// a TLS handshake inside the TDS pre-login, as FreeTDS makes it, then the same
// checks FreeTDS makes, against the same CA file or the system's certificates.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "server_name.h"

namespace talvoro::odbc {

enum class CertificateProblem {
  None,
  SelfSigned,       // signed by itself, and not among the trusted certificates
  UntrustedIssuer,  // signed by an authority that is not trusted
  Expired,
  NotYetValid,
  NameMismatch,     // trusted, but made out to other names than the host's
  Other,            // see `detail`
};

struct CertificateFindings {
  std::string subject;                // "CN=db01.example.com, O=Example"
  std::string issuer;
  std::string validFrom, validUntil;  // "2026-12-11"
  std::vector<std::string> names;     // DNS names and addresses it is made out to
  std::string host;                   // the name it was checked against
  CertificateProblem problem = CertificateProblem::None;
  std::string detail;                 // OpenSSL's words for Other
};

// Shakes hands with the server and checks its certificate against `caFile`
// (empty: the system's trusted certificates) and the host of `server`. nullopt
// when no certificate could be had (no answer, no encryption).
std::optional<CertificateFindings> InspectServerCertificate(const ServerName& server,
                                                            const std::string& caFile,
                                                            int timeoutSeconds);

}  // namespace talvoro::odbc
