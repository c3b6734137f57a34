#include "protocol/tls_session.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace standin {
namespace {

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  char text[256] = {};
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

SSL_CTX* NewServerContext() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) throw std::runtime_error("TLS: " + OpenSslError());
  // SQL Server 2022 speaks TLS 1.2 inside TDS 7.x; TLS 1.3 is for TDS 8 (strict).
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
  return ctx;
}

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A self-signed RSA certificate valid for ten years, written as PEM files (the
// key readable by the owner only).
void MakeSelfSigned(const std::string& certFile, const std::string& keyFile,
                    const std::string& hostName) {
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = X509_new();
  if (!key || !cert) throw std::runtime_error("TLS: cannot make a key: " + OpenSslError());
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), static_cast<long>(time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 10L * 365 * 24 * 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(hostName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  const std::string altNames = "DNS:" + hostName + ",DNS:localhost,IP:127.0.0.1,IP:::1";
  if (!AddExtension(cert, NID_subject_alt_name, altNames.c_str()) ||
      !AddExtension(cert, NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(cert, NID_ext_key_usage, "serverAuth") ||
      X509_sign(cert, key, EVP_sha256()) == 0) {
    throw std::runtime_error("TLS: cannot make a certificate: " + OpenSslError());
  }
  const mode_t previous = umask(077);
  FILE* keyOut = std::fopen(keyFile.c_str(), "w");
  umask(previous);
  FILE* certOut = std::fopen(certFile.c_str(), "w");
  const bool written = keyOut && certOut && PEM_write_PrivateKey(keyOut, key, nullptr, nullptr, 0, nullptr, nullptr) &&
                       PEM_write_X509(certOut, cert);
  if (keyOut) std::fclose(keyOut);
  if (certOut) std::fclose(certOut);
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!written) throw std::runtime_error("TLS: cannot write " + certFile + " and " + keyFile);
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::FromFiles(const std::string& certFile,
                                                  const std::string& keyFile) {
  SSL_CTX* ctx = NewServerContext();
  if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("cannot use the certificate " + certFile + ": " + OpenSslError());
  }
  if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1) {
    SSL_CTX_free(ctx);
    throw std::runtime_error("cannot use the key " + keyFile + " with " + certFile + ": " +
                             OpenSslError());
  }
  return std::unique_ptr<TlsContext>(new TlsContext(ctx, certFile));
}

std::unique_ptr<TlsContext> TlsContext::SelfSigned(const std::string& dataDir,
                                                   const std::string& hostName) {
  const std::string certFile = dataDir + "/standin-tls-cert.pem";
  const std::string keyFile = dataDir + "/standin-tls-key.pem";
  std::error_code ec;
  if (!std::filesystem::exists(certFile, ec) || !std::filesystem::exists(keyFile, ec)) {
    MakeSelfSigned(certFile, keyFile, hostName);
  }
  return FromFiles(certFile, keyFile);
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

TlsSession::TlsSession(const TlsContext& context) : ssl_(SSL_new(context.get())) {
  if (!ssl_) throw std::runtime_error("TLS: " + OpenSslError());
  in_ = BIO_new(BIO_s_mem());
  out_ = BIO_new(BIO_s_mem());
  SSL_set_bio(ssl_, in_, out_);
  SSL_set_accept_state(ssl_);
}

TlsSession::~TlsSession() { SSL_free(ssl_); }

std::vector<uint8_t> TlsSession::Handshake(const std::vector<uint8_t>& fromClient) {
  Feed(fromClient.data(), fromClient.size());
  const int rc = SSL_do_handshake(ssl_);
  if (rc != 1) {
    const int error = SSL_get_error(ssl_, rc);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      throw std::runtime_error("TLS handshake failed: " + OpenSslError());
    }
  }
  return TakeOutput();
}

bool TlsSession::HandshakeDone() const { return SSL_is_init_finished(ssl_) == 1; }

void TlsSession::Feed(const uint8_t* data, size_t size) {
  if (size > 0) BIO_write(in_, data, static_cast<int>(size));
}

size_t TlsSession::Read(uint8_t* data, size_t size) {
  size_t got = 0;
  if (SSL_read_ex(ssl_, data, size, &got) == 1) return got;
  const int error = SSL_get_error(ssl_, 0);
  // A client's close_notify: nothing more comes, and the socket's EOF says so.
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_ZERO_RETURN) return 0;
  throw std::runtime_error("TLS record refused: " + OpenSslError());
}

size_t TlsSession::Peek(uint8_t* data, size_t size) {
  size_t got = 0;
  if (SSL_peek_ex(ssl_, data, size, &got) == 1) return got;
  const int error = SSL_get_error(ssl_, 0);
  if (error == SSL_ERROR_WANT_READ) return 0;
  throw std::runtime_error("TLS record refused: " + OpenSslError());
}

void TlsSession::Write(const uint8_t* data, size_t size) {
  size_t written = 0;
  if (size > 0 && SSL_write_ex(ssl_, data, size, &written) != 1) {
    throw std::runtime_error("TLS: cannot encrypt: " + OpenSslError());
  }
}

std::vector<uint8_t> TlsSession::TakeOutput() {
  std::vector<uint8_t> bytes(static_cast<size_t>(BIO_ctrl_pending(out_)));
  if (!bytes.empty()) BIO_read(out_, bytes.data(), static_cast<int>(bytes.size()));
  return bytes;
}

}  // namespace standin
