#include "raw_tds_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace standin_test {
namespace {

void Ucs2(std::vector<uint8_t>& out, const std::string& s) {
  for (char c : s) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
}

}  // namespace

RawTdsClient::RawTdsClient(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("cannot connect to the stand-in");
}

RawTdsClient::~RawTdsClient() { Close(); }

void RawTdsClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void RawTdsClient::SendBytes(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may already have dropped us
    sent += static_cast<size_t>(n);
  }
}

void RawTdsClient::SendPacket(uint8_t type, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> packet = {type, 0x01, 0, 0, 0, 0, 1, 0};
  const size_t length = payload.size() + 8;
  packet[2] = static_cast<uint8_t>(length >> 8);
  packet[3] = static_cast<uint8_t>(length);
  packet.insert(packet.end(), payload.begin(), payload.end());
  SendBytes(packet);
}

std::vector<uint8_t> RawTdsClient::ReadMessage(int timeoutMs) {
  std::vector<uint8_t> message;
  for (;;) {
    uint8_t header[8];
    size_t got = 0;
    auto readExact = [&](uint8_t* dst, size_t n) {
      got = 0;
      while (got < n) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        const ssize_t r = recv(fd_, dst + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
      }
      return true;
    };
    if (!readExact(header, 8)) return {};
    const size_t length = (header[2] << 8) | header[3];
    if (length < 8) return {};
    std::vector<uint8_t> body(length - 8);
    if (!readExact(body.data(), body.size())) return {};
    message.insert(message.end(), body.begin(), body.end());
    if (header[1] & 0x01) return message;
  }
}

size_t RawTdsClient::ReadSome(size_t bytes, int timeoutMs) {
  std::vector<uint8_t> buf(bytes);
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return 0;
  const ssize_t r = recv(fd_, buf.data(), buf.size(), 0);
  return r > 0 ? static_cast<size_t>(r) : 0;
}

bool RawTdsClient::ServerClosed(int timeoutMs) {
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    uint8_t buf[4096];
    const ssize_t r = recv(fd_, buf, sizeof buf, 0);
    if (r <= 0) return true;
  }
}

// ENCRYPTION is NOT_SUP (0x02): this client speaks no TLS, so the server must
// not expect the login encrypted.
std::vector<uint8_t> PreloginPayload() {
  return {0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02, 0x00, 0x21, 0x00, 0x0C,
          0x03, 0x00, 0x2D, 0x00, 0x04, 0x04, 0x00, 0x31, 0x00, 0x01, 0xFF, 0x09, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x02, 'M',  'S',  'S',  'Q',  'L',  'S',  'e',  'r',  'v',  'e',  'r',  0x00,
          0x01, 0x00, 0x00, 0x00, 0x00};
}

std::vector<uint8_t> Login7Payload(const std::string& user, const std::string& password, const std::string& database,
                                   const std::vector<uint8_t>& sspi) {
  std::vector<uint8_t> p(94, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(p.data() + at, &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(p.data() + at, &v, 2); };
  put32(4, 0x74000004);
  put32(8, 4096);
  p[24] = 0xE0;
  p[25] = sspi.empty() ? 0x03 : 0x83;
  std::vector<uint8_t> data;
  auto field = [&](size_t slot, const std::string& text, bool obfuscate) {
    put16(slot, static_cast<uint16_t>(94 + data.size()));
    put16(slot + 2, static_cast<uint16_t>(text.size()));
    std::vector<uint8_t> u;
    Ucs2(u, text);
    if (obfuscate)
      for (auto& b : u) b = static_cast<uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
    data.insert(data.end(), u.begin(), u.end());
  };
  field(36, "testhost", false);
  field(40, user, false);
  field(44, password, true);
  field(48, "raw", false);
  field(52, "127.0.0.1", false);
  field(60, "raw", false);
  field(64, "us_english", false);
  field(68, database, false);
  put16(78, static_cast<uint16_t>(94 + data.size()));
  put16(80, static_cast<uint16_t>(sspi.size()));
  data.insert(data.end(), sspi.begin(), sspi.end());
  p.insert(p.end(), data.begin(), data.end());
  put32(0, static_cast<uint32_t>(p.size()));
  return p;
}

std::vector<uint8_t> RawTdsClient::Login(const std::string& user, const std::string& password,
                                         const std::string& database, const std::vector<uint8_t>& sspi) {
  SendPacket(0x12, PreloginPayload());
  if (ReadMessage().empty()) return {};
  SendPacket(0x10, Login7Payload(user, password, database, sspi));
  return ReadMessage();
}

void RawTdsClient::SendBatch(const std::string& sql) {
  std::vector<uint8_t> payload = {0x16, 0, 0, 0, 0x12, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0};
  Ucs2(payload, sql);
  // Split into 4096-byte packets like a real client.
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(payload.size() - at, 4088);
    std::vector<uint8_t> packet = {0x01, static_cast<uint8_t>(at + n == payload.size() ? 1 : 0), 0, 0, 0, 0, 1, 0};
    packet[2] = static_cast<uint8_t>((n + 8) >> 8);
    packet[3] = static_cast<uint8_t>(n + 8);
    packet.insert(packet.end(), payload.begin() + at, payload.begin() + at + n);
    SendBytes(packet);
    at += n;
  } while (at < payload.size());
}

std::vector<int32_t> ErrorNumbers(const std::vector<uint8_t>& reply) {
  // Walks only the tokens a login/error reply contains.
  std::vector<int32_t> numbers;
  size_t i = 0;
  while (i + 3 <= reply.size()) {
    const uint8_t token = reply[i];
    if (token == 0xFD || token == 0xFE || token == 0xFF) { i += 13; continue; }
    if (token == 0x79) { i += 5; continue; }
    const size_t length = reply[i + 1] | (reply[i + 2] << 8);
    if (token == 0xAA && i + 7 <= reply.size()) {
      int32_t n;
      std::memcpy(&n, reply.data() + i + 3, 4);
      numbers.push_back(n);
    }
    if (token != 0xAA && token != 0xAB && token != 0xAD && token != 0xE3 && token != 0xED) break;
    i += 3 + length;
  }
  return numbers;
}

bool HasLoginAck(const std::vector<uint8_t>& reply) {
  size_t i = 0;
  while (i + 3 <= reply.size()) {
    const uint8_t token = reply[i];
    if (token == 0xAD) return true;
    if (token == 0xFD) return false;
    i += 3 + (reply[i + 1] | (reply[i + 2] << 8));
  }
  return false;
}

}  // namespace standin_test
