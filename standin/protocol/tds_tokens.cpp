#include "protocol/tds_tokens.h"

#include "types/text_encoding.h"

namespace standin {
namespace {

// Small builder for tokens whose length precedes their body.
struct Body {
  std::vector<uint8_t> b;
  void U8(uint8_t v) { b.push_back(v); }
  void U16(uint16_t v) { b.push_back(v & 0xFF); b.push_back(v >> 8); }
  void I32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  void Text(std::string_view s, size_t maxUnits, int lengthBytes) {
    std::vector<uint8_t> u = ToUtf16(s);
    if (u.size() > 2 * maxUnits) u.resize(2 * maxUnits);
    if (lengthBytes == 1) U8(static_cast<uint8_t>(u.size() / 2));
    else U16(static_cast<uint16_t>(u.size() / 2));
    b.insert(b.end(), u.begin(), u.end());
  }
};

void WriteWithLength(ReplyWriter& w, uint8_t token, const Body& body) {
  w.U8(token);
  w.U16(static_cast<uint16_t>(body.b.size()));
  w.Bytes(body.b);
}

}  // namespace

void WriteMessage(ReplyWriter& w, const ServerMessage& m) {
  const bool wideLine = Tds72Plus(w.tdsVersion());
  Body body;
  body.I32(m.number);
  body.U8(m.state);
  body.U8(m.severity);
  body.Text(m.text, 4000, 2);
  body.Text(kServerName, 128, 1);
  body.Text(m.procedure, 128, 1);
  if (wideLine) body.I32(m.line);
  else body.U16(static_cast<uint16_t>(m.line));
  WriteWithLength(w, m.severity > 10 ? kTokError : kTokInfo, body);
}

void WriteDone(ReplyWriter& w, uint8_t token, uint16_t status, uint16_t curcmd, uint64_t rows) {
  w.U8(token);
  w.U16(status);
  w.U16(curcmd);
  if (Tds72Plus(w.tdsVersion())) w.U64(rows);
  else w.U32(static_cast<uint32_t>(rows));
}

void WriteEnvChange(ReplyWriter& w, uint8_t type, std::string_view newValue, std::string_view oldValue) {
  Body body;
  body.U8(type);
  body.Text(newValue, 255, 1);
  body.Text(oldValue, 255, 1);
  WriteWithLength(w, kTokEnvChange, body);
}

void WriteEnvChangeBytes(ReplyWriter& w, uint8_t type, const std::vector<uint8_t>& newValue,
                         const std::vector<uint8_t>& oldValue) {
  Body body;
  body.U8(type);
  body.U8(static_cast<uint8_t>(newValue.size()));
  body.b.insert(body.b.end(), newValue.begin(), newValue.end());
  body.U8(static_cast<uint8_t>(oldValue.size()));
  body.b.insert(body.b.end(), oldValue.begin(), oldValue.end());
  WriteWithLength(w, kTokEnvChange, body);
}

void WriteLoginAck(ReplyWriter& w, uint32_t tdsVersion) {
  Body body;
  body.U8(1);  // interface: SQL
  for (int i = 3; i >= 0; --i) body.U8(static_cast<uint8_t>(tdsVersion >> (8 * i)));  // big-endian
  body.Text("Microsoft SQL Server", 255, 1);
  body.U8(16); body.U8(0); body.U8(0x10); body.U8(0x00);  // reports 16.00.4096
  WriteWithLength(w, kTokLoginAck, body);
}

void WriteReturnStatus(ReplyWriter& w, int32_t status) {
  w.U8(kTokReturnStatus);
  w.I32(status);
}

void WriteReturnValueInt(ReplyWriter& w, uint16_t ordinal, std::string_view name, int32_t value) {
  w.U8(kTokReturnValue);
  w.U16(ordinal);
  w.BVarchar(name);
  w.U8(1);      // output parameter
  if (Tds72Plus(w.tdsVersion())) w.U32(0);  // user type
  else w.U16(0);
  w.U16(0x0009);
  w.U8(0x26);   // INTN(4)
  w.U8(4);
  w.U8(4);
  w.I32(value);
}

void WriteSspi(ReplyWriter& w, const std::vector<uint8_t>& token) {
  w.U8(kTokSspi);
  w.U16(static_cast<uint16_t>(token.size()));
  w.Bytes(token);
}

}  // namespace standin
