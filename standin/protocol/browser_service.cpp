#include "browser_service.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <thread>

namespace standin {
namespace {

constexpr uint8_t kClientBroadcastEx = 0x02;
constexpr uint8_t kClientUnicastEx = 0x03;
constexpr uint8_t kClientUnicastInstance = 0x04;
constexpr uint8_t kServerResponse = 0x05;
// An instance name in a request is at most 32 bytes with its terminating NUL.
constexpr std::size_t kMaxInstanceRequest = 32;

std::string InstanceEntry(const BrowserInstance& instance) {
  return "ServerName;" + instance.serverName + ";InstanceName;" + instance.instanceName +
         ";IsClustered;No;Version;" + instance.version + ";tcp;" +
         std::to_string(instance.tcpPort) + ";;";
}

std::vector<uint8_t> ServerResponse(const std::string& data) {
  std::vector<uint8_t> reply(3 + data.size());
  reply[0] = kServerResponse;
  reply[1] = static_cast<uint8_t>(data.size() & 0xFF);  // RESP_SIZE, little-endian
  reply[2] = static_cast<uint8_t>(data.size() >> 8);
  std::copy(data.begin(), data.end(), reply.begin() + 3);
  return reply;
}

}  // namespace

std::optional<std::vector<uint8_t>> BrowserReply(const std::vector<uint8_t>& request,
                                                 const BrowserInstance& instance) {
  if (request.empty()) return std::nullopt;
  switch (request[0]) {
    case kClientBroadcastEx:
    case kClientUnicastEx:
      if (request.size() != 1) return std::nullopt;
      return ServerResponse(InstanceEntry(instance));
    case kClientUnicastInstance: {
      std::string name(request.begin() + 1, request.end());
      if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
      if (name.empty() || name.size() + 1 > kMaxInstanceRequest) return std::nullopt;
      // Instance names compare without regard to case, as SQL Server's do.
      if (name.size() != instance.instanceName.size() ||
          strncasecmp(name.c_str(), instance.instanceName.c_str(), name.size()) != 0) {
        return std::nullopt;
      }
      return ServerResponse(InstanceEntry(instance));
    }
    default:
      return std::nullopt;
  }
}

std::string BrowserServerName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "LOCALHOST";
  std::string name(host);
  name.resize(name.find('.') == std::string::npos ? name.size() : name.find('.'));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

void ServeBrowserRequests(int udpSocket, BrowserInstance instance) {
  std::thread([udpSocket, instance] {
    std::vector<uint8_t> buffer(2048);
    for (;;) {
      sockaddr_storage from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = recvfrom(udpSocket, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0) {
        if (errno == EINTR) continue;
        return;
      }
      const auto reply =
          BrowserReply(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), instance);
      if (reply) {
        sendto(udpSocket, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from),
               fromLength);
      }
    }
  }).detach();
}

}  // namespace standin
