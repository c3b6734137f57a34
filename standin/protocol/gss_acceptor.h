// Verifies the Kerberos (GSSAPI, krb5 mechanism) token that FreeTDS puts in the
// SSPI field of LOGIN7 when the login name is empty ("Windows authentication").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class GssAcceptor {
 public:
  // `keytab` holds the key of the service principal MSSQLSvc/<host>:<port>.
  // The file is only read when a token arrives, so a bad path shows up as an
  // error in Accept() rather than here.
  explicit GssAcceptor(const std::string& keytab);

  struct Result {
    bool ok = false;
    std::string principal;       // the client, e.g. "alice@TEST.LOCAL" (when ok)
    std::vector<uint8_t> reply;  // token for the client (SSPI token 0xED); may be empty
    std::string error;           // GSSAPI's own major/minor messages (when !ok)
  };

  // One complete context establishment: FreeTDS sends a single krb5 AP-REQ
  // and expects at most one reply token (the AP-REP for mutual authentication).
  // A token that would need a further round trip is refused.
  // Thread-safe: each call uses its own GSSAPI context and credential.
  Result Accept(const std::vector<uint8_t>& token) const;

  const std::string& keytab() const { return keytab_; }

 private:
  std::string keytab_;
};
