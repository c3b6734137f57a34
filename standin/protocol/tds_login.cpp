#include "protocol/tds_login.h"

#include "protocol/tds_io.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

uint16_t U16At(const std::vector<uint8_t>& p, size_t at) { return p[at] | (p[at + 1] << 8); }
uint32_t U32At(const std::vector<uint8_t>& p, size_t at) {
  return p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (static_cast<uint32_t>(p[at + 3]) << 24);
}

// A UCS-2 field given as (offset, length in characters) at `slot`.
std::string TextField(const std::vector<uint8_t>& p, size_t slot, bool obfuscated = false) {
  const size_t offset = U16At(p, slot);
  const size_t bytes = 2 * static_cast<size_t>(U16At(p, slot + 2));
  if (bytes == 0) return {};
  if (offset + bytes > p.size()) throw ProtocolError("LOGIN7 field outside the packet");
  std::vector<uint8_t> raw(p.begin() + offset, p.begin() + offset + bytes);
  if (obfuscated) {
    // The client swapped the nibbles of each byte and XORed it with 0xA5.
    for (auto& b : raw) {
      const uint8_t x = b ^ 0xA5;
      b = static_cast<uint8_t>((x << 4) | (x >> 4));
    }
  }
  return FromUtf16(raw.data(), raw.size());
}

}  // namespace

std::vector<uint8_t> PreloginReply(uint8_t encryption) {
  return {0x00, 0x00, 0x1A, 0x00, 0x06,  // VERSION
          0x01, 0x00, 0x20, 0x00, 0x01,  // ENCRYPTION
          0x02, 0x00, 0x21, 0x00, 0x01,  // INSTOPT
          0x03, 0x00, 0x22, 0x00, 0x00,  // THREADID (empty)
          0x04, 0x00, 0x22, 0x00, 0x01,  // MARS
          0xFF,
          16,   0,    0x10, 0x00, 0,    0,  // 16.0.4096.0
          encryption,
          0x00,                          // instance name accepted
          0x00};                         // MARS off: keeps FreeTDS on plain framing
}

Login7 ParseLogin7(const std::vector<uint8_t>& p) {
  constexpr size_t kFixed71 = 86;  // 7.2 added the change-password and long-SSPI fields
  if (p.size() < kFixed71) throw ProtocolError("LOGIN7 too short");
  Login7 login;
  login.tdsVersion = U32At(p, 4);
  login.packetSize = U32At(p, 8);
  login.integratedSecurity = (p[25] & 0x80) != 0;
  login.hostName = TextField(p, 36);
  login.userName = TextField(p, 40);
  login.password = TextField(p, 44, true);
  login.appName = TextField(p, 48);
  login.serverName = TextField(p, 52);
  login.language = TextField(p, 64);
  login.database = TextField(p, 68);
  const size_t sspiOffset = U16At(p, 78);
  size_t sspiLength = U16At(p, 80);
  if (sspiLength == 0xFFFF && p.size() >= 94) sspiLength = U32At(p, 90);
  if (sspiLength > 0) {
    if (sspiOffset + sspiLength > p.size()) throw ProtocolError("LOGIN7 SSPI outside the packet");
    login.sspi.assign(p.begin() + sspiOffset, p.begin() + sspiOffset + sspiLength);
  }
  return login;
}

}  // namespace standin
