// Certificates for TLS tests, made with OpenSSL in a test's own folder: a small
// certificate authority and server certificates it signs, with the names and
// validity a test needs (an expired one, one for another host).
#pragma once

#include <string>
#include <vector>

namespace talvoro::test {

struct CertificateFiles {
  std::string cert;  // PEM
  std::string key;   // PEM, unencrypted
};

class TestCertificateAuthority {
 public:
  // Writes the authority's certificate and key into `folder` (ca.pem, ca-key.pem).
  TestCertificateAuthority(const std::string& folder, const std::string& commonName);

  const std::string& certFile() const { return files_.cert; }

  // A server certificate signed by this authority, made out to `names` (DNS
  // names or IP addresses; the first is also the common name), valid from
  // `fromDays` to `untilDays` days after now; written as <stem>.pem, <stem>-key.pem.
  CertificateFiles Issue(const std::string& stem, const std::vector<std::string>& names,
                         long fromDays = -1, long untilDays = 365) const;

 private:
  std::string folder_;
  std::string commonName_;
  CertificateFiles files_;
};

}  // namespace talvoro::test
