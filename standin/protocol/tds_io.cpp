#include "protocol/tds_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "protocol/tls_session.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

constexpr size_t kHeaderSize = 8;
// Largest client message accepted; LOGIN7 and batches are far smaller, and a
// bound keeps a hostile client from exhausting memory.
constexpr size_t kMaxMessage = 64u << 20;
// Bytes of finished reply packets collected before one send().
constexpr size_t kSendBatch = 64u << 10;

}  // namespace

bool TdsSocket::FeedTls(bool wait) {
  uint8_t buffer[16384];
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, wait ? 0 : MSG_DONTWAIT);
    if (n > 0) {
      tls_->Feed(buffer, static_cast<size_t>(n));
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (!wait && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    throw ConnectionLost(std::strerror(errno));
  }
}

bool TdsSocket::ReadExact(uint8_t* data, size_t size, bool eofAllowed) {
  size_t got = 0;
  if (tls_) {
    try {
      while (got < size) {
        const size_t n = tls_->Read(data + got, size - got);
        if (n > 0) { got += n; continue; }
        if (!FeedTls(true)) {
          if (got == 0 && eofAllowed) return false;
          throw ConnectionLost("client closed the connection");
        }
      }
    } catch (const ConnectionLost&) {
      throw;
    } catch (const std::runtime_error& e) {
      throw ProtocolError(e.what());
    }
    return true;
  }
  while (got < size) {
    const ssize_t n = recv(fd_, data + got, size - got, 0);
    if (n > 0) { got += static_cast<size_t>(n); continue; }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && got == 0 && eofAllowed) return false;
    throw ConnectionLost(n == 0 ? "client closed the connection" : std::strerror(errno));
  }
  return true;
}

bool TdsSocket::ReadMessage(ClientMessage& out) {
  out.payload.clear();
  bool first = true;
  for (;;) {
    uint8_t header[kHeaderSize];
    if (!ReadExact(header, kHeaderSize, first)) return false;
    const uint8_t type = header[0];
    const uint8_t status = header[1];
    const size_t length = (header[2] << 8) | header[3];
    if (length < kHeaderSize) throw ProtocolError("packet length below header size");
    if (first) out.type = type;
    else if (type != out.type) throw ProtocolError("packet type changed inside a message");
    const size_t body = length - kHeaderSize;
    if (out.payload.size() + body > kMaxMessage) throw ProtocolError("message too large");
    const size_t at = out.payload.size();
    out.payload.resize(at + body);
    if (body > 0) ReadExact(out.payload.data() + at, body, false);
    first = false;
    if (status & 0x01) return true;
  }
}

bool TdsSocket::ConsumePendingAttention() {
  bool seen = false;
  while (tls_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) && !FeedTls(false)) {
      throw ConnectionLost("client closed the connection");
    }
    uint8_t header[kHeaderSize];
    size_t n = 0;
    try {
      n = tls_->Peek(header, kHeaderSize);
    } catch (const std::runtime_error& e) {
      throw ProtocolError(e.what());
    }
    // A record holds whole packets from these clients; a part waits for the next look.
    if (n < kHeaderSize) return seen;
    if (header[0] != kAttention) throw ProtocolError("request received while a reply was being sent");
    ClientMessage ignored;
    ReadMessage(ignored);
    seen = true;
  }
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, 0);
    if (r <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return seen;
    uint8_t header[kHeaderSize];
    const ssize_t n = recv(fd_, header, kHeaderSize, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) throw ConnectionLost("client closed the connection");
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return seen;
      throw ConnectionLost(std::strerror(errno));
    }
    if (static_cast<size_t>(n) < kHeaderSize) return seen;  // wait for the whole header
    if (header[0] != kAttention) {
      // A client must not send anything else while a reply is under way.
      throw ProtocolError("request received while a reply was being sent");
    }
    ClientMessage ignored;
    ReadMessage(ignored);
    seen = true;
  }
}

void TdsSocket::SendAll(const uint8_t* data, size_t size) {
  if (tls_) {
    try {
      tls_->Write(data, size);
    } catch (const std::runtime_error& e) {
      throw ConnectionLost(e.what());
    }
    const std::vector<uint8_t> records = tls_->TakeOutput();
    SendRaw(records.data(), records.size());
    return;
  }
  SendRaw(data, size);
}

void TdsSocket::SendRaw(const uint8_t* data, size_t size) {
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) { sent += static_cast<size_t>(n); continue; }
    if (n < 0 && errno == EINTR) continue;
    throw ConnectionLost(n == 0 ? "send returned 0" : std::strerror(errno));
  }
}

void SendMessage(TdsSocket& socket, uint8_t type, const std::vector<uint8_t>& payload,
                 size_t packetSize) {
  const size_t room = packetSize - kHeaderSize;
  size_t at = 0;
  uint8_t id = 1;
  do {
    const size_t n = std::min(room, payload.size() - at);
    const size_t length = kHeaderSize + n;
    std::vector<uint8_t> packet(length);
    packet[0] = type;
    packet[1] = at + n == payload.size() ? 0x01 : 0x00;  // end of message
    packet[2] = static_cast<uint8_t>(length >> 8);
    packet[3] = static_cast<uint8_t>(length);
    packet[6] = id++;
    std::memcpy(packet.data() + kHeaderSize, payload.data() + at, n);
    socket.SendAll(packet.data(), packet.size());
    at += n;
  } while (at < payload.size());
}

ReplyWriter::ReplyWriter(TdsSocket& socket, uint16_t spid, size_t packetSize)
    : socket_(socket), spid_(spid) {
  SetPacketSize(packetSize);
}

void ReplyWriter::SetPacketSize(size_t size) {
  if (size < 512) size = 512;
  if (size > 32767) size = 32767;
  // Only between messages; the current packet is empty then.
  buf_.assign(size, 0);
  fill_ = kHeaderSize;
}

void ReplyWriter::RawAcrossPackets(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (fill_ == buf_.size()) FlushPacket(false);
    const size_t n = std::min(size, buf_.size() - fill_);
    std::memcpy(buf_.data() + fill_, p, n);
    fill_ += n;
    p += n;
    size -= n;
  }
}

void ReplyWriter::BVarchar(std::string_view utf8) {
  std::vector<uint8_t> u = ToUtf16(utf8);
  if (u.size() > 510) u.resize(510);
  U8(static_cast<uint8_t>(u.size() / 2));
  Bytes(u);
}

void ReplyWriter::UsVarchar(std::string_view utf8) {
  std::vector<uint8_t> u = ToUtf16(utf8);
  if (u.size() > 131070) u.resize(131070);
  U16(static_cast<uint16_t>(u.size() / 2));
  Bytes(u);
}

void ReplyWriter::FlushPacket(bool last) {
  uint8_t* packet = buf_.data();
  const size_t length = fill_;
  packet[0] = kReply;
  packet[1] = last ? 0x01 : 0x00;
  packet[2] = static_cast<uint8_t>(length >> 8);
  packet[3] = static_cast<uint8_t>(length);
  packet[4] = static_cast<uint8_t>(spid_ >> 8);
  packet[5] = static_cast<uint8_t>(spid_);
  packet[6] = packetId_++;
  packet[7] = 0;
  fill_ = kHeaderSize;
  // Packets go out in groups: fewer system calls and wake-ups on long results.
  pending_.insert(pending_.end(), packet, packet + length);
  if (!last && pending_.size() < kSendBatch) return;
  socket_.SendAll(pending_.data(), pending_.size());
  sent_ += pending_.size();
  pending_.clear();
  // Between packets of a long reply, notice a client that cancels.
  if (!last && socket_.ConsumePendingAttention()) attention_ = true;
}

bool ReplyWriter::PollAttention() {
  if (!attention_ && socket_.ConsumePendingAttention()) attention_ = true;
  return attention_;
}

void ReplyWriter::EndMessage() {
  FlushPacket(true);
  packetId_ = 1;
}

}  // namespace standin
