#include "encryption_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace talvoro::odbc {
namespace {

constexpr uint8_t kPrelogin = 0x12;
constexpr uint8_t kEncryptionToken = 0x01;
constexpr uint8_t kEncryptNotSupported = 0x02;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now()).count();
  if (left <= 0) return false;
  pollfd p{fd, events, 0};
  return poll(&p, 1, static_cast<int>(left)) == 1;
}

int Connect(const std::string& host, int port, std::chrono::steady_clock::time_point deadline) {
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

// VERSION and ENCRYPTION (OFF: what a client sends that would take encryption
// of the login only), then the terminator.
std::vector<uint8_t> PreloginPacket() {
  const std::vector<uint8_t> payload = {
      0x00, 0x00, 0x0B, 0x00, 0x06,  // VERSION at 11, 6 bytes
      0x01, 0x00, 0x11, 0x00, 0x01,  // ENCRYPTION at 17, 1 byte
      0xFF,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // client version 0.0.0.0
      0x00};                                // ENCRYPT_OFF
  const std::size_t length = 8 + payload.size();
  std::vector<uint8_t> packet(length);
  packet[0] = kPrelogin;
  packet[1] = 0x01;  // end of message
  packet[3] = static_cast<uint8_t>(length);
  packet[6] = 1;  // packet id
  std::copy(payload.begin(), payload.end(), packet.begin() + 8);
  return packet;
}

std::optional<uint8_t> EncryptionAnswer(const std::vector<uint8_t>& payload) {
  for (std::size_t at = 0; at + 5 <= payload.size() && payload[at] != 0xFF; at += 5) {
    if (payload[at] != kEncryptionToken) continue;
    const std::size_t offset = (payload[at + 1] << 8) | payload[at + 2];
    if (offset < payload.size()) return payload[offset];
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<bool> ServerOffersEncryption(const ServerName& server, int timeoutSeconds) {
  if (!server.instance.empty() && server.port == 0) return std::nullopt;
  const FreeTdsServer address = ToFreeTdsServer(server);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  Socket socket(Connect(address.server, std::stoi(address.port), deadline));
  if (socket.fd() < 0) return std::nullopt;

  const std::vector<uint8_t> packet = PreloginPacket();
  if (send(socket.fd(), packet.data(), packet.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(packet.size())) {
    return std::nullopt;
  }
  std::vector<uint8_t> reply;
  uint8_t buffer[4096];
  // One reply packet: its length is in the header.
  while (reply.size() < 8 || reply.size() < static_cast<std::size_t>((reply[2] << 8) | reply[3])) {
    if (!WaitFor(socket.fd(), POLLIN, deadline)) return std::nullopt;
    const ssize_t n = recv(socket.fd(), buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    reply.insert(reply.end(), buffer, buffer + n);
    if (reply.size() > 65536) return std::nullopt;
  }
  const std::vector<uint8_t> payload(reply.begin() + 8,
                                     reply.begin() + ((reply[2] << 8) | reply[3]));
  const std::optional<uint8_t> answer = EncryptionAnswer(payload);
  if (!answer) return std::nullopt;
  return *answer != kEncryptNotSupported;
}

}  // namespace talvoro::odbc
