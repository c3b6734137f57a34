// A bare TCP client speaking just enough TDS to send what FreeTDS never would:
// broken packets, integrated logons without Kerberos, clients that vanish.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin_test {

class RawTdsClient {
 public:
  explicit RawTdsClient(int port);
  ~RawTdsClient();
  RawTdsClient(const RawTdsClient&) = delete;
  RawTdsClient& operator=(const RawTdsClient&) = delete;

  void SendBytes(const std::vector<uint8_t>& bytes);
  // One packet (end of message) of the given type.
  void SendPacket(uint8_t type, const std::vector<uint8_t>& payload);
  // Reads one whole reply message; empty when the server closed the connection.
  std::vector<uint8_t> ReadMessage(int timeoutMs = 5000);
  // Reads up to `bytes` raw bytes (whatever arrives first).
  size_t ReadSome(size_t bytes, int timeoutMs = 5000);
  // True when the server closed the connection (EOF within the timeout).
  bool ServerClosed(int timeoutMs = 5000);
  void Close();

  // PRELOGIN then LOGIN7; returns the login reply.
  std::vector<uint8_t> Login(const std::string& user, const std::string& password, const std::string& database,
                             const std::vector<uint8_t>& sspi = {});
  // A SQL batch with ALL_HEADERS.
  void SendBatch(const std::string& sql);

 private:
  int fd_ = -1;
};

std::vector<uint8_t> PreloginPayload();
std::vector<uint8_t> Login7Payload(const std::string& user, const std::string& password, const std::string& database,
                                   const std::vector<uint8_t>& sspi);
// Error numbers of the ERROR tokens in a reply (a simple token walk).
std::vector<int32_t> ErrorNumbers(const std::vector<uint8_t>& reply);
bool HasLoginAck(const std::vector<uint8_t>& reply);

}  // namespace standin_test
