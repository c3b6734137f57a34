#include "test_certificates.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace talvoro::test {
namespace {

constexpr long kDay = 24L * 3600;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

Key NewKey() {
  Key key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  if (!key) throw std::runtime_error("cannot make a key");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (!extension || X509_add_ext(cert, extension, -1) != 1)
    throw std::runtime_error("cannot add extension " + value);
  X509_EXTENSION_free(extension);
}

Cert NewCert(const std::string& commonName, EVP_PKEY* key, long fromDays, long untilDays) {
  static long serial = 1;
  Cert cert(X509_new(), &X509_free);
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), untilDays * kDay);
  X509_set_pubkey(cert.get(), key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  return cert;
}

void Write(const std::string& path, X509* cert, EVP_PKEY* key) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  if (!file || (cert && PEM_write_X509(file.get(), cert) != 1) ||
      (key && PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)) {
    throw std::runtime_error("cannot write " + path);
  }
}

Key ReadKey(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
  Key key(file ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr, &EVP_PKEY_free);
  if (!key) throw std::runtime_error("cannot read " + path);
  return key;
}

Cert ReadCert(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
  Cert cert(file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, &X509_free);
  if (!cert) throw std::runtime_error("cannot read " + path);
  return cert;
}

bool IsAddress(const std::string& name) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, name.c_str(), buffer) == 1 || inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

TestCertificateAuthority::TestCertificateAuthority(const std::string& folder,
                                                   const std::string& commonName)
    : folder_(folder), commonName_(commonName) {
  files_ = {folder + "/ca.pem", folder + "/ca-key.pem"};
  Key key = NewKey();
  Cert cert = NewCert(commonName, key.get(), -1, 3650);
  X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
  AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash");
  X509_sign(cert.get(), key.get(), EVP_sha256());
  Write(files_.cert, cert.get(), nullptr);
  Write(files_.key, nullptr, key.get());
}

CertificateFiles TestCertificateAuthority::Issue(const std::string& stem,
                                                 const std::vector<std::string>& names,
                                                 long fromDays, long untilDays) const {
  const Key caKey = ReadKey(files_.key);
  const Cert caCert = ReadCert(files_.cert);
  Key key = NewKey();
  Cert cert = NewCert(names.empty() ? stem : names.front(), key.get(), fromDays, untilDays);
  X509_set_issuer_name(cert.get(), X509_get_subject_name(caCert.get()));
  std::string alternatives;
  for (const std::string& name : names)
    alternatives += (alternatives.empty() ? "" : ",") + std::string(IsAddress(name) ? "IP:" : "DNS:") + name;
  if (!alternatives.empty()) AddExtension(cert.get(), caCert.get(), NID_subject_alt_name, alternatives);
  AddExtension(cert.get(), caCert.get(), NID_basic_constraints, "CA:FALSE");
  AddExtension(cert.get(), caCert.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(cert.get(), caCert.get(), NID_authority_key_identifier, "keyid");
  X509_sign(cert.get(), caKey.get(), EVP_sha256());
  const CertificateFiles files{folder_ + "/" + stem + ".pem", folder_ + "/" + stem + "-key.pem"};
  Write(files.cert, cert.get(), nullptr);
  Write(files.key, nullptr, key.get());
  return files;
}

}  // namespace talvoro::test
