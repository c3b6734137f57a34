#include "prelogin_connection.h"

#include "browser_lookup.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace talvoro::odbc {
namespace {

constexpr uint8_t kEncryptionOption = 0x01;
constexpr uint8_t kEndOfMessage = 0x01;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMaxPacketSize = 4096;  // what a client may send before the logon sets another

bool WaitFor(int fd, short events, PreloginConnection::Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now()).count();
  if (left <= 0) return false;
  pollfd p{fd, events, 0};
  return poll(&p, 1, static_cast<int>(left)) == 1;
}

int Connect(const std::string& host, int port, PreloginConnection::Deadline deadline) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int connected = -1;
  for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
        (errno == EINPROGRESS && WaitFor(fd, POLLOUT, deadline))) {
      int error = 0;
      socklen_t length = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error == 0) {
        connected = fd;
        break;
      }
    }
    close(fd);
  }
  freeaddrinfo(found);
  return connected;
}

std::optional<uint8_t> EncryptionAnswer(const std::vector<uint8_t>& payload) {
  for (std::size_t at = 0; at + 5 <= payload.size() && payload[at] != 0xFF; at += 5) {
    if (payload[at] != kEncryptionOption) continue;
    const std::size_t offset = (payload[at + 1] << 8) | payload[at + 2];
    if (offset < payload.size()) return payload[offset];
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PreloginConnection> PreloginConnection::Open(const ServerName& server,
                                                           Deadline deadline) {
  const FreeTdsServer address = ToFreeTdsServer(server);
  const std::string host = server.thisMachine ? std::string(kThisMachineAddress) : server.host;
  // A named instance without a port: its port comes from the Browser service.
  const std::optional<int> port = address.port.empty()
                                      ? BrowserInstancePort(host, server.instance, deadline)
                                      : std::optional<int>(std::stoi(address.port));
  if (!port) return std::nullopt;
  const int fd = Connect(host, *port, deadline);
  if (fd < 0) return std::nullopt;
  return PreloginConnection(fd, deadline);
}

PreloginConnection::PreloginConnection(PreloginConnection&& other) noexcept
    : fd_(other.fd_), deadline_(other.deadline_), nextPacketId_(other.nextPacketId_) {
  other.fd_ = -1;
}

PreloginConnection::~PreloginConnection() {
  if (fd_ >= 0) close(fd_);
}

bool PreloginConnection::Send(uint8_t type, const std::vector<uint8_t>& payload) {
  std::size_t at = 0;
  do {
    const std::size_t chunk = std::min(payload.size() - at, kMaxPacketSize - kHeaderSize);
    const bool last = at + chunk == payload.size();
    std::vector<uint8_t> packet(kHeaderSize + chunk);
    packet[0] = type;
    packet[1] = last ? kEndOfMessage : 0x00;
    packet[2] = static_cast<uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<uint8_t>(packet.size());
    packet[6] = nextPacketId_++;
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(at), chunk, packet.begin() + kHeaderSize);
    for (std::size_t sent = 0; sent < packet.size();) {
      if (!WaitFor(fd_, POLLOUT, deadline_)) return false;
      const ssize_t n = send(fd_, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    at += chunk;
  } while (at < payload.size());
  return true;
}

bool PreloginConnection::ReadExactly(uint8_t* into, std::size_t count) {
  for (std::size_t got = 0; got < count;) {
    if (!WaitFor(fd_, POLLIN, deadline_)) return false;
    const ssize_t n = recv(fd_, into + got, count - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::vector<uint8_t>> PreloginConnection::ReadPacket(bool* endOfMessage) {
  uint8_t header[kHeaderSize];
  if (!ReadExactly(header, kHeaderSize)) return std::nullopt;
  const std::size_t length = (header[2] << 8) | header[3];
  if (length < kHeaderSize) return std::nullopt;
  std::vector<uint8_t> payload(length - kHeaderSize);
  if (!ReadExactly(payload.data(), payload.size())) return std::nullopt;
  if (endOfMessage) *endOfMessage = (header[1] & kEndOfMessage) != 0;
  return payload;
}

std::optional<PreloginEncryption> PreloginConnection::ExchangePrelogin(PreloginEncryption ours) {
  const std::vector<uint8_t> payload = {
      0x00, 0x00, 0x0B, 0x00, 0x06,        // VERSION at 11, 6 bytes
      kEncryptionOption, 0x00, 0x11, 0x00, 0x01,  // ENCRYPTION at 17, 1 byte
      0xFF,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // client version 0.0.0.0
      static_cast<uint8_t>(ours)};
  if (!Send(kPreloginPacket, payload)) return std::nullopt;
  std::vector<uint8_t> reply;
  for (bool last = false; !last;) {
    std::optional<std::vector<uint8_t>> packet = ReadPacket(&last);
    if (!packet) return std::nullopt;
    reply.insert(reply.end(), packet->begin(), packet->end());
    if (reply.size() > 65536) return std::nullopt;
  }
  const std::optional<uint8_t> answer = EncryptionAnswer(reply);
  if (!answer) return std::nullopt;
  return static_cast<PreloginEncryption>(*answer);
}

}  // namespace talvoro::odbc
