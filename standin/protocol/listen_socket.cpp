#include "listen_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace standin {

int OpenBoundSocket(const std::string& address, int port, int type, std::string& error) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  hints.ai_socktype = type;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0) {
    error = "'" + address + "' is not an IPv4 or IPv6 address: " + gai_strerror(rc);
    return -1;
  }
  const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    freeaddrinfo(found);
    return -1;
  }
  // Only TCP: for UDP it would let a second server share the Browser port and
  // take its requests at random.
  if (type == SOCK_STREAM) {
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  }
  const bool bound = bind(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                     (type != SOCK_STREAM || listen(fd, 64) == 0);
  freeaddrinfo(found);
  if (!bound) {
    error = "cannot listen on " + EndpointText(address, port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

std::string EndpointText(const std::string& address, int port) {
  const bool v6 = address.find(':') != std::string::npos;
  return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

}  // namespace standin
