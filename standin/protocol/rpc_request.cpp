#include "protocol/rpc_request.h"

#include <cstdio>
#include <cstring>

#include "types/datetime_text.h"
#include "protocol/tds_io.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

class Reader {
 public:
  Reader(const std::vector<uint8_t>& p, size_t at) : p_(p), at_(at) {}
  bool AtEnd() const { return at_ >= p_.size(); }
  uint8_t Peek() const { Need(1); return p_[at_]; }
  uint8_t U8() { Need(1); return p_[at_++]; }
  uint16_t U16() { Need(2); const uint16_t v = p_[at_] | (p_[at_ + 1] << 8); at_ += 2; return v; }
  uint32_t U32() {
    Need(4);
    uint32_t v;
    std::memcpy(&v, p_.data() + at_, 4);
    at_ += 4;
    return v;
  }
  uint64_t U64() {
    Need(8);
    uint64_t v;
    std::memcpy(&v, p_.data() + at_, 8);
    at_ += 8;
    return v;
  }
  std::vector<uint8_t> Bytes(size_t n) {
    Need(n);
    std::vector<uint8_t> out(p_.begin() + at_, p_.begin() + at_ + n);
    at_ += n;
    return out;
  }
  void Skip(size_t n) { Need(n); at_ += n; }
  std::string Ucs2(size_t chars) {
    Need(2 * chars);
    std::string s = FromUtf16(p_.data() + at_, 2 * chars);
    at_ += 2 * chars;
    return s;
  }

 private:
  void Need(size_t n) const {
    if (at_ + n > p_.size() || at_ + n < at_) throw ProtocolError("RPC request truncated");
  }
  const std::vector<uint8_t>& p_;
  size_t at_;
};

int64_t LittleEndian(const std::vector<uint8_t>& b, bool signedValue) {
  uint64_t v = 0;
  for (size_t i = 0; i < b.size() && i < 8; ++i) v |= static_cast<uint64_t>(b[i]) << (8 * i);
  if (signedValue && b.size() < 8 && !b.empty() && (b.back() & 0x80)) v |= ~0ULL << (8 * b.size());
  return static_cast<int64_t>(v);
}

std::string DecimalText(unsigned __int128 magnitude, int scale, bool negative) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude > 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  return (negative ? "-" : "") + digits;
}

Value DecimalValue(std::string text) {
  Value v;
  v.kind = Value::Kind::Decimal;
  v.text = std::move(text);
  return v;
}

Value DateValue(int64_t days, int64_t seconds, int64_t nanos, bool withDate, bool withTime) {
  DateTimeParts p;
  CivilFromDays(days, p.year, p.month, p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  p.nanos = nanos;
  char b[64];
  if (withDate && withTime)
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%09lld", p.year, p.month, p.day, p.hour, p.minute,
                  p.second, static_cast<long long>(p.nanos));
  else if (withDate)
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", p.year, p.month, p.day);
  else
    std::snprintf(b, sizeof b, "%02d:%02d:%02d.%09lld", p.hour, p.minute, p.second, static_cast<long long>(p.nanos));
  return Value::Str(b);
}

// Reads a PLP value (varchar(max) etc.): chunks until a zero-length one.
std::optional<std::vector<uint8_t>> ReadPlp(Reader& r) {
  const uint64_t total = r.U64();
  if (total == ~0ULL) return std::nullopt;
  std::vector<uint8_t> out;
  for (;;) {
    const uint32_t chunk = r.U32();
    if (chunk == 0) break;
    const auto part = r.Bytes(chunk);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// A variable-length value after its maximum length: PLP when the maximum is 0xFFFF
// (the "max" types), otherwise a two-byte length where 0xFFFF means NULL.
std::optional<std::vector<uint8_t>> ReadShortOrPlp(Reader& r, uint16_t max) {
  if (max == 0xFFFF) return ReadPlp(r);
  const uint16_t len = r.U16();
  if (len == 0xFFFF) return std::nullopt;
  return r.Bytes(len);
}

Value ReadValue(Reader& r) {
  const uint8_t type = r.U8();
  switch (type) {
    case 0x30: return Value::Int(r.U8());
    case 0x34: return Value::Int(static_cast<int16_t>(r.U16()));
    case 0x38: return Value::Int(static_cast<int32_t>(r.U32()));
    case 0x7F: return Value::Int(static_cast<int64_t>(r.U64()));
    case 0x32: return Value::Int(r.U8() != 0);
    case 0x1F: return Value::Null();
    case 0x26: case 0x68: case 0x6D: case 0x6E: case 0x6F: case 0x24: {  // INTN, BITN, FLTN, MONEYN, DATETIMN, GUID
      r.U8();  // max length
      const uint8_t len = r.U8();
      if (len == 0) return Value::Null();
      const auto b = r.Bytes(len);
      const bool sizeOk = type == 0x24 ? len == 16 : type == 0x6F || type == 0x6E ? (len == 4 || len == 8) : len <= 8;
      if (!sizeOk) throw ProtocolError("bad length of a fixed-size RPC parameter");
      if (type == 0x26) return Value::Int(len == 1 ? b[0] : LittleEndian(b, true));
      if (type == 0x68) return Value::Int(b[0] != 0);
      if (type == 0x6D) {
        Value v;
        v.kind = Value::Kind::Float;
        if (len == 8) std::memcpy(&v.real, b.data(), 8);
        else if (len == 4) { float f; std::memcpy(&f, b.data(), 4); v.real = f; }
        return v;
      }
      if (type == 0x6E) {
        int64_t scaled = 0;
        if (len == 8) scaled = (static_cast<int64_t>(static_cast<int32_t>(LittleEndian({b.begin(), b.begin() + 4}, false))) << 32) |
                               static_cast<uint32_t>(LittleEndian({b.begin() + 4, b.end()}, false));
        else scaled = static_cast<int32_t>(LittleEndian(b, false));
        const bool negative = scaled < 0;
        return DecimalValue(DecimalText(negative ? -static_cast<unsigned __int128>(scaled) : scaled, 4, negative));
      }
      if (type == 0x6F) {
        if (len == 8) {
          const int32_t days = static_cast<int32_t>(LittleEndian({b.begin(), b.begin() + 4}, false));
          const uint32_t ticks = static_cast<uint32_t>(LittleEndian({b.begin() + 4, b.end()}, false));
          const int64_t ms = (static_cast<int64_t>(ticks % 300) * 10 + 1) / 3;
          return DateValue(days + DaysFromCivil(1900, 1, 1), ticks / 300, ms * 1000000, true, true);
        }
        const uint16_t days = b[0] | (b[1] << 8);
        const uint16_t minutes = b[2] | (b[3] << 8);
        return DateValue(days + DaysFromCivil(1900, 1, 1), minutes * 60, 0, true, true);
      }
      // GUID: Data1..3 little-endian.
      char s[40];
      std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2],
                    b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
      return Value::Str(s);
    }
    case 0x6A: case 0x6C: {  // DECIMALN, NUMERICN
      r.U8();
      r.U8();  // precision
      const int scale = r.U8();
      const uint8_t len = r.U8();
      if (len == 0) return Value::Null();
      const auto b = r.Bytes(len);
      unsigned __int128 m = 0;
      for (size_t i = b.size(); i-- > 1;) m = (m << 8) | b[i];
      return DecimalValue(DecimalText(m, scale, b[0] == 0));
    }
    case 0x28: case 0x29: case 0x2A: {  // DATE, TIME, DATETIME2
      const int scale = type == 0x28 ? 0 : r.U8();
      const uint8_t len = r.U8();
      if (len == 0) return Value::Null();
      const size_t expected = (type == 0x28 ? 0 : scale <= 2 ? 3 : scale <= 4 ? 4 : 5) + (type == 0x29 ? 0 : 3);
      if (scale > 7 || len != expected) throw ProtocolError("bad date/time RPC parameter");
      const auto b = r.Bytes(len);
      const size_t timeLen = type == 0x28 ? 0 : len - (type == 0x2A ? 3 : 0);
      uint64_t units = 0;
      for (size_t i = timeLen; i-- > 0;) units = (units << 8) | b[i];
      int64_t perSecond = 1;
      for (int k = 0; k < scale; ++k) perSecond *= 10;
      int64_t days = 0;
      for (size_t i = len; i-- > timeLen;) days = (days << 8) | b[i];
      const int64_t nanos = static_cast<int64_t>(units % perSecond) * (1000000000 / perSecond);
      return DateValue(days, static_cast<int64_t>(units / perSecond), nanos, type != 0x29, type != 0x28);
    }
    case 0xE7: case 0xEF: case 0xA7: case 0xAF: {  // N/VARCHAR, N/CHAR
      const uint16_t max = r.U16();
      r.Skip(5);  // collation
      const bool wide = type == 0xE7 || type == 0xEF;
      std::optional<std::vector<uint8_t>> data = ReadShortOrPlp(r, max);
      if (!data) return Value::Null();
      return wide ? Value::Str(FromUtf16(data->data(), data->size()), true)
                  : Value::Str(FromCp1252(std::string(data->begin(), data->end())));
    }
    case 0xA5: case 0xAD: {  // VARBINARY, BINARY
      const uint16_t max = r.U16();
      std::optional<std::vector<uint8_t>> data = ReadShortOrPlp(r, max);
      if (!data) return Value::Null();
      Value v;
      v.kind = Value::Kind::Binary;
      v.bytes = std::move(*data);
      return v;
    }
    case 0x63: case 0x23: case 0x22: {  // NTEXT, TEXT, IMAGE (no text pointer in parameters)
      r.U32();
      if (type != 0x22) r.Skip(5);
      const uint32_t len = r.U32();
      if (len == 0xFFFFFFFF) return Value::Null();
      const auto data = r.Bytes(len);
      if (type == 0x63) return Value::Str(FromUtf16(data.data(), data.size()), true);
      if (type == 0x23) return Value::Str(FromCp1252(std::string(data.begin(), data.end())));
      Value v;
      v.kind = Value::Kind::Binary;
      v.bytes = data;
      return v;
    }
    default:
      throw ProtocolError("unsupported RPC parameter type");
  }
}

}  // namespace

size_t AllHeadersLength(const std::vector<uint8_t>& p, uint32_t tdsVersion) {
  if (!Tds72Plus(tdsVersion)) return 0;
  if (p.size() < 4) throw ProtocolError("request without ALL_HEADERS");
  const uint32_t total = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
  if (total < 4 || total > p.size()) throw ProtocolError("bad ALL_HEADERS length");
  return total;
}

std::vector<RpcCall> ParseRpcCalls(const std::vector<uint8_t>& payload, size_t offset) {
  std::vector<RpcCall> calls;
  Reader r(payload, offset);
  while (!r.AtEnd()) {
    RpcCall call;
    const uint16_t nameLength = r.U16();
    if (nameLength == 0xFFFF) call.procId = r.U16();
    else call.procedure = r.Ucs2(nameLength);
    r.U16();  // option flags
    while (!r.AtEnd()) {
      const uint8_t next = r.Peek();
      if (next == 0xFF || next == 0x80 || next == 0xFE) {  // batch separator: another call follows
        r.U8();
        break;
      }
      RpcParameter param;
      param.name = r.Ucs2(r.U8());
      const uint8_t status = r.U8();
      param.output = (status & 0x01) != 0;
      param.byDefault = (status & 0x02) != 0;
      param.value = ReadValue(r);
      call.params.push_back(std::move(param));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace standin
