#include "server_certificate.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

#include "prelogin_connection.h"
#include "private_freetds_conf.h"

namespace talvoro::odbc {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using SslContext = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>>;
using Ssl = std::unique_ptr<SSL, Deleter<SSL, SSL_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

std::string NameText(const X509_NAME* name) {
  Bio out(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long length = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

std::string DateText(const ASN1_TIME* time) {
  tm parts{};
  if (ASN1_TIME_to_tm(time, &parts) != 1) return "?";
  char text[16];
  strftime(text, sizeof text, "%Y-%m-%d", &parts);
  return text;
}

std::vector<std::string> NamesOf(X509* cert) {
  std::vector<std::string> names;
  auto* alternatives = static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
  for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives); ++i) {
    const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alternatives, i);
    if (entry->type == GEN_DNS) {
      const ASN1_STRING* dns = entry->d.dNSName;
      names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                         static_cast<std::size_t>(ASN1_STRING_length(dns)));
    } else if (entry->type == GEN_IPADD) {
      const ASN1_OCTET_STRING* ip = entry->d.iPAddress;
      char text[INET6_ADDRSTRLEN] = {};
      const int family = ASN1_STRING_length(ip) == 16 ? AF_INET6 : AF_INET;
      if (inet_ntop(family, ASN1_STRING_get0_data(ip), text, sizeof text)) names.emplace_back(text);
    }
  }
  GENERAL_NAMES_free(alternatives);
  if (names.empty()) {  // an old certificate: its common name is its name
    const X509_NAME* subject = X509_get_subject_name(cert);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (at >= 0) {
      const ASN1_STRING* cn = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at));
      names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(cn)),
                         static_cast<std::size_t>(ASN1_STRING_length(cn)));
    }
  }
  return names;
}

bool IsAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

bool MatchesHost(X509* cert, const std::string& host) {
  if (IsAddress(host)) return X509_check_ip_asc(cert, host.c_str(), 0) == 1;
  return X509_check_host(cert, host.c_str(), host.size(), 0, nullptr) == 1;
}

CertificateProblem ProblemOf(int error) {
  switch (error) {
    case X509_V_OK:
      return CertificateProblem::None;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return CertificateProblem::SelfSigned;
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return CertificateProblem::UntrustedIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return CertificateProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return CertificateProblem::NotYetValid;
    default:
      return CertificateProblem::Other;
  }
}

// The chain check first, then the name, in the order FreeTDS checks them.
void Check(X509* leaf, STACK_OF(X509)* chain, const std::string& caFile,
           CertificateFindings& findings) {
  Store store(X509_STORE_new());
  const bool loaded = caFile.empty() ? X509_STORE_set_default_paths(store.get()) == 1
                                     : X509_STORE_load_file(store.get(), caFile.c_str()) == 1;
  StoreContext context(X509_STORE_CTX_new());
  if (!loaded || !X509_STORE_CTX_init(context.get(), store.get(), leaf, chain)) {
    findings.problem = CertificateProblem::Other;
    findings.detail = "the trusted certificates cannot be loaded";
    ERR_clear_error();
    return;
  }
  X509_verify_cert(context.get());
  const int error = X509_STORE_CTX_get_error(context.get());
  findings.problem = ProblemOf(error);
  if (findings.problem == CertificateProblem::Other)
    findings.detail = X509_verify_cert_error_string(error);
  if (findings.problem == CertificateProblem::None && !MatchesHost(leaf, findings.host))
    findings.problem = CertificateProblem::NameMismatch;
  ERR_clear_error();
}

// The TLS handshake inside PRELOGIN packets, both ways, until it completes.
bool ShakeHands(PreloginConnection& connection, SSL* ssl, BIO* fromServer, BIO* toServer) {
  for (;;) {
    const int result = SSL_do_handshake(ssl);
    if (BIO_ctrl_pending(toServer) > 0) {
      std::vector<uint8_t> bytes(BIO_ctrl_pending(toServer));
      BIO_read(toServer, bytes.data(), static_cast<int>(bytes.size()));
      if (!connection.Send(kPreloginPacket, bytes)) return false;
    }
    if (result == 1) return true;
    if (SSL_get_error(ssl, result) != SSL_ERROR_WANT_READ) return false;
    std::optional<std::vector<uint8_t>> packet = connection.ReadPacket();
    if (!packet) return false;
    BIO_write(fromServer, packet->data(), static_cast<int>(packet->size()));
  }
}

}  // namespace

std::optional<CertificateFindings> InspectServerCertificate(const ServerName& server,
                                                            const std::string& caFile,
                                                            int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  std::optional<PreloginConnection> connection = PreloginConnection::Open(server, deadline);
  if (!connection) return std::nullopt;
  const std::optional<PreloginEncryption> answer =
      connection->ExchangePrelogin(PreloginEncryption::On);
  if (!answer || *answer == PreloginEncryption::NotSupported) return std::nullopt;

  SslContext context(SSL_CTX_new(TLS_client_method()));
  if (!context) return std::nullopt;
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);  // judged below, not here
  Ssl ssl(SSL_new(context.get()));
  BIO* fromServer = BIO_new(BIO_s_mem());
  BIO* toServer = BIO_new(BIO_s_mem());
  SSL_set_bio(ssl.get(), fromServer, toServer);  // owned by ssl from here
  SSL_set_connect_state(ssl.get());
  const std::string host = ConnectHost(server);
  if (!IsAddress(host)) SSL_set_tlsext_host_name(ssl.get(), host.c_str());
  const bool shaken = ShakeHands(*connection, ssl.get(), fromServer, toServer);
  X509* leaf = SSL_get0_peer_certificate(ssl.get());
  if (!leaf) {
    ERR_clear_error();
    return std::nullopt;
  }
  (void)shaken;  // a handshake that failed after the certificate came still tells about it

  CertificateFindings findings;
  findings.subject = NameText(X509_get_subject_name(leaf));
  findings.issuer = NameText(X509_get_issuer_name(leaf));
  findings.validFrom = DateText(X509_get0_notBefore(leaf));
  findings.validUntil = DateText(X509_get0_notAfter(leaf));
  findings.names = NamesOf(leaf);
  findings.host = host;
  Check(leaf, SSL_get_peer_cert_chain(ssl.get()), caFile, findings);
  return findings;
}

}  // namespace talvoro::odbc
