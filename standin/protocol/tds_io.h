// TDS packet framing over one client socket: reading whole client messages and
// writing a reply message split into packets of the negotiated size.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// TDS packet types used here.
enum PacketType : uint8_t {
  kSqlBatch = 0x01,
  kRpc = 0x03,
  kReply = 0x04,
  kAttention = 0x06,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kSspi = 0x11,
  kPrelogin = 0x12,
};

// The client closed the connection or the socket failed.
struct ConnectionLost : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The client sent something that is not TDS; the connection is dropped.
struct ProtocolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ClientMessage {
  uint8_t type = 0;
  std::vector<uint8_t> payload;
};

class TlsSession;

class TdsSocket {
 public:
  explicit TdsSocket(int fd) : fd_(fd) {}
  int fd() const { return fd_; }

  // From now on every byte passes through `tls` (TDS encryption after the
  // handshake); nullptr goes back to plain bytes (after an encrypted LOGIN7).
  void UseTls(TlsSession* tls) { tls_ = tls; }

  // Reads one message (packets up to end-of-message). Returns false on a clean EOF
  // between messages; throws ConnectionLost / ProtocolError otherwise.
  bool ReadMessage(ClientMessage& out);
  // Looks at pending input without blocking; returns true when an attention
  // packet was waiting (it is consumed). Throws ConnectionLost on EOF.
  bool ConsumePendingAttention();
  void SendAll(const uint8_t* data, size_t size);

 private:
  bool ReadExact(uint8_t* data, size_t size, bool eofAllowed);
  // Reads what the socket has (blocking when `wait`) into the TLS session;
  // false on a clean EOF. Returns true without reading when nothing is there.
  bool FeedTls(bool wait);
  void SendRaw(const uint8_t* data, size_t size);
  int fd_;
  TlsSession* tls_ = nullptr;
};

// Sends `payload` as one message of `type` in packets of at most `packetSize`
// bytes (PRELOGIN packets carrying the server's TLS handshake).
void SendMessage(TdsSocket& socket, uint8_t type, const std::vector<uint8_t>& payload,
                 size_t packetSize = 4096);

// Builds one reply message and sends it packet by packet while it grows, so a
// result set of any size needs only one packet of memory.
class ReplyWriter {
 public:
  ReplyWriter(TdsSocket& socket, uint16_t spid, size_t packetSize);

  void SetPacketSize(size_t size);
  // The TDS version agreed at login; tokens and types take its older forms below 7.4.
  void SetTdsVersion(uint32_t version) { tdsVersion_ = version; }
  uint32_t tdsVersion() const { return tdsVersion_; }
  void U8(uint8_t v) { if (fill_ == buf_.size()) FlushPacket(false); buf_[fill_++] = v; }
  void U16(uint16_t v) { Raw(&v, 2); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void I32(int32_t v) { Raw(&v, 4); }
  void U64(uint64_t v) { Raw(&v, 8); }
  // Inline while the bytes fit the current packet: values are written a few bytes at a time.
  void Raw(const void* data, size_t size) {
    if (size == 0) return;  // an empty vector's data() may be null, which memcpy must not get
    if (size <= buf_.size() - fill_) {
      std::memcpy(buf_.data() + fill_, data, size);
      fill_ += size;
      return;
    }
    RawAcrossPackets(data, size);
  }
  void Bytes(const std::vector<uint8_t>& b) { Raw(b.data(), b.size()); }
  // B_VARCHAR / US_VARCHAR from UTF-8.
  void BVarchar(std::string_view utf8);
  void UsVarchar(std::string_view utf8);

  // Sends the last packet of the message (status end-of-message).
  void EndMessage();
  // True once an attention packet arrived while this message was being sent.
  bool attention() const { return attention_; }
  void ClearAttention() { attention_ = false; }
  // Looks for an attention now (while the session waits, not sending).
  bool PollAttention();
  size_t bytesSent() const { return sent_; }

 private:
  void FlushPacket(bool last);
  void RawAcrossPackets(const void* data, size_t size);

  TdsSocket& socket_;
  uint16_t spid_;
  std::vector<uint8_t> buf_;  // the current packet, header included
  size_t fill_ = 8;
  std::vector<uint8_t> pending_;  // finished packets not yet handed to the socket
  uint8_t packetId_ = 1;
  bool attention_ = false;
  size_t sent_ = 0;
  uint32_t tdsVersion_ = 0x74000004;
};

// TDS versions as LOGIN7 and LOGINACK carry them.
constexpr uint32_t kTds71 = 0x71000001;
constexpr uint32_t kTds72 = 0x72090002;
constexpr uint32_t kTds73 = 0x730B0003;
constexpr uint32_t kTds74 = 0x74000004;
// 7.2 brought ALL_HEADERS, 64-bit DONE counts, 32-bit user types and the (max)
// types; 7.3 the date and time types.
inline bool Tds72Plus(uint32_t version) { return version >= 0x72000000; }
inline bool Tds73Plus(uint32_t version) { return version >= 0x73000000; }

}  // namespace standin
