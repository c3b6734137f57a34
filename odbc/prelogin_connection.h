// A TCP connection to a SQL Server that speaks only the TDS pre-login: the
// converter's own questions to a server before (or after) FreeTDS's logon, such
// as whether it can encrypt and which certificate it shows. Every wait is
// bounded by one deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "server_name.h"

namespace talvoro::odbc {

inline constexpr uint8_t kPreloginPacket = 0x12;

// The ENCRYPTION option of PRELOGIN.
enum class PreloginEncryption : uint8_t { Off = 0x00, On = 0x01, NotSupported = 0x02, Required = 0x03 };

class PreloginConnection {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // Connects to the server's TCP address (a named instance's port asked of the
  // SQL Server Browser); nullopt when nothing answers in time.
  static std::optional<PreloginConnection> Open(const ServerName& server, Deadline deadline);

  PreloginConnection(PreloginConnection&& other) noexcept;
  PreloginConnection& operator=(PreloginConnection&&) = delete;
  PreloginConnection(const PreloginConnection&) = delete;
  ~PreloginConnection();

  // Sends `payload` as one or more packets of `type`, the last marked end of message.
  bool Send(uint8_t type, const std::vector<uint8_t>& payload);
  // The payload of the next packet (nullopt on close, error or time-out);
  // `endOfMessage` tells whether it was the message's last.
  std::optional<std::vector<uint8_t>> ReadPacket(bool* endOfMessage = nullptr);
  // Sends PRELOGIN with VERSION and the given ENCRYPTION, returns the server's
  // ENCRYPTION answer.
  std::optional<PreloginEncryption> ExchangePrelogin(PreloginEncryption ours);

 private:
  PreloginConnection(int fd, Deadline deadline) : fd_(fd), deadline_(deadline) {}
  bool ReadExactly(uint8_t* into, std::size_t count);

  int fd_;
  Deadline deadline_;
  uint8_t nextPacketId_ = 1;
};

}  // namespace talvoro::odbc
