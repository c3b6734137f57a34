#include "browser_lookup.h"

#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace talvoro::odbc {
namespace {

constexpr uint8_t kClientUnicastInstance = 0x04;  // CLNT_UCAST_INST
constexpr uint8_t kServerResponse = 0x05;         // SVR_RESP

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == ';') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

std::optional<int> TcpPortInBrowserAnswer(const std::string& answer, const std::string& instance) {
  // Key;value pairs, one instance after another, each ended by ";;".
  const std::vector<std::string> parts = Split(answer);
  bool ours = false;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) {  // the end of one instance's pairs
      ours = false;
      --i;
      continue;
    }
    if (strcasecmp(parts[i].c_str(), "InstanceName") == 0)
      ours = strcasecmp(parts[i + 1].c_str(), instance.c_str()) == 0;
    if (ours && strcasecmp(parts[i].c_str(), "tcp") == 0) {
      const std::string& port = parts[i + 1];
      if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      const int n = std::stoi(port);
      if (n < 1 || n > 65535) return std::nullopt;
      return n;
    }
  }
  return std::nullopt;
}

std::optional<int> BrowserInstancePort(const std::string& host, const std::string& instance,
                                       std::chrono::steady_clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), "1434", &hints, &found) != 0) return std::nullopt;
  std::optional<int> port;
  std::string request(1, static_cast<char>(kClientUnicastInstance));
  request += instance;
  request += '\0';
  for (addrinfo* a = found; a && !port; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (sendto(fd, request.data(), request.size(), 0, a->ai_addr, a->ai_addrlen) ==
        static_cast<ssize_t>(request.size())) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()).count();
      pollfd p{fd, POLLIN, 0};
      char buffer[65536];
      if (left > 0 && poll(&p, 1, static_cast<int>(left)) == 1) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 3 && static_cast<uint8_t>(buffer[0]) == kServerResponse)
          port = TcpPortInBrowserAnswer(std::string(buffer + 3, static_cast<std::size_t>(n - 3)), instance);
      }
    }
    close(fd);
  }
  freeaddrinfo(found);
  return port;
}

}  // namespace talvoro::odbc
