#include "ca_file.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

namespace talvoro::odbc {

std::string CaFileProblem(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return "the CA file " + path + " cannot be read";
  int certificates = 0;
  while (X509* cert = PEM_read_X509(file.get(), nullptr, nullptr, nullptr)) {
    X509_free(cert);
    ++certificates;
  }
  ERR_clear_error();  // the end of the file reads as an error
  if (certificates == 0) {
    return "the CA file " + path +
           " holds no certificate (PEM text beginning \"-----BEGIN CERTIFICATE-----\")";
  }
  return std::string();
}

}  // namespace talvoro::odbc
