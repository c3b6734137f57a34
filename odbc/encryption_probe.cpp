#include "encryption_probe.h"

#include "prelogin_connection.h"

namespace talvoro::odbc {

std::optional<bool> ServerOffersEncryption(const ServerName& server, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  std::optional<PreloginConnection> connection = PreloginConnection::Open(server, deadline);
  if (!connection) return std::nullopt;
  // OFF: what a client sends that would take encryption of the login only.
  const std::optional<PreloginEncryption> answer =
      connection->ExchangePrelogin(PreloginEncryption::Off);
  if (!answer) return std::nullopt;
  return *answer != PreloginEncryption::NotSupported;
}

}  // namespace talvoro::odbc
