// PRELOGIN answer and LOGIN7 decoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// Reply payload for a PRELOGIN request: the ENCRYPTION option given (see
// encryption_choice.h), no MARS.
std::vector<uint8_t> PreloginReply(uint8_t encryption);

struct Login7 {
  uint32_t tdsVersion = 0;
  uint32_t packetSize = 4096;
  bool integratedSecurity = false;
  std::string hostName;
  std::string userName;
  std::string password;
  std::string appName;
  std::string serverName;
  std::string language;
  std::string database;
  std::vector<uint8_t> sspi;
};

// Throws ProtocolError when an offset or length points outside the payload.
Login7 ParseLogin7(const std::vector<uint8_t>& payload);

}  // namespace standin
