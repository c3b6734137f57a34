// Verification of integrated (Kerberos) logons, delegated to the GSSAPI
// acceptor when the stand-in was built with one and started with --keytab.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace standin {

class IntegratedLogin {
 public:
  // `keytab` empty: integrated logons are refused.
  explicit IntegratedLogin(const std::string& keytab);
  ~IntegratedLogin();

  bool enabled() const;

  struct Outcome {
    bool ok = false;
    std::string principal;
    std::vector<uint8_t> reply;  // sent to the client as an SSPI token
    std::string error;
  };
  Outcome Verify(const std::vector<uint8_t>& token) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace standin
