// TDS encryption as SQL Server does it: TLS whose handshake travels inside
// PRELOGIN (0x12) packets, after which TLS records carry the TDS packets
// themselves: only the LOGIN7 message ("login-only encryption", the default)
// or the whole connection (the client asks, or the server forces it).
// OpenSSL runs on memory buffers so that the same session serves both stages.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace standin {

// The server's certificate and key.
class TlsContext {
 public:
  // Loads PEM files; throws std::runtime_error naming the file on failure.
  static std::unique_ptr<TlsContext> FromFiles(const std::string& certFile,
                                               const std::string& keyFile);
  // Loads DIR/standin-tls-cert.pem and DIR/standin-tls-key.pem, making a
  // self-signed certificate (CN and subjectAltName: `hostName`, localhost,
  // 127.0.0.1, ::1) there first when they do not exist.
  static std::unique_ptr<TlsContext> SelfSigned(const std::string& dataDir,
                                                const std::string& hostName);
  ~TlsContext();
  SSL_CTX* get() const { return ctx_; }
  const std::string& certFile() const { return certFile_; }

 private:
  explicit TlsContext(SSL_CTX* ctx, std::string certFile) : ctx_(ctx), certFile_(std::move(certFile)) {}
  SSL_CTX* ctx_;
  std::string certFile_;
};

// One connection's TLS state, fed with the bytes read from the client and
// drained of the bytes to send.
class TlsSession {
 public:
  explicit TlsSession(const TlsContext& context);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Handshake: takes what the client sent (a PRELOGIN payload) and returns
  // what to answer (possibly nothing yet). Throws on a failed handshake.
  std::vector<uint8_t> Handshake(const std::vector<uint8_t>& fromClient);
  bool HandshakeDone() const;

  // After the handshake: encrypted bytes in, plain bytes out, and back.
  void Feed(const uint8_t* data, size_t size);
  // Up to `size` plain bytes already decryptable; 0 when more input is needed.
  // Throws on a broken record.
  size_t Read(uint8_t* data, size_t size);
  // Like Read, but leaves the bytes to be read again.
  size_t Peek(uint8_t* data, size_t size);
  // Encrypts; the records are then in TakeOutput().
  void Write(const uint8_t* data, size_t size);
  std::vector<uint8_t> TakeOutput();

 private:
  SSL* ssl_;
  BIO* in_;   // owned by ssl_
  BIO* out_;  // owned by ssl_
};

}  // namespace standin
