#include "jet/property_blob.h"

#include "jet/format.h"
#include "jet/text_codec.h"

namespace jet {

using namespace format;

namespace {

constexpr std::uint16_t kNamesChunk = 0x0080;
constexpr std::uint16_t kObjectChunk = 0x0000;
constexpr std::uint16_t kColumnChunk = 0x0001;
constexpr std::uint8_t kBooleanType = 0x01;

void U16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void U32(Bytes& b, std::uint32_t v) {
  U16(b, v);
  U16(b, v >> 16);
}
void Name(Bytes& b, const std::u16string& s) {
  U16(b, static_cast<std::uint32_t>(s.size() * 2));
  AppendUcs2(s, b);
}

// A chunk: u32 length (header included), u16 type, body.
void Chunk(Bytes& out, std::uint16_t type, const Bytes& body) {
  U32(out, static_cast<std::uint32_t>(body.size() + 6));
  U16(out, type);
  out.insert(out.end(), body.begin(), body.end());
}

// A value chunk's body: u32 name-block length, the (sub-)object name, then records.
Bytes ValueBody(const std::u16string& objectName, const Bytes& records) {
  Bytes b;
  U32(b, static_cast<std::uint32_t>(6 + objectName.size() * 2));
  Name(b, objectName);
  b.insert(b.end(), records.begin(), records.end());
  return b;
}

}  // namespace

Bytes EncodeRequiredColumns(const std::vector<std::string>& required) {
  if (required.empty()) return {};
  Bytes out{'M', 'R', '2', 0};
  Bytes names;
  Name(names, u"Required");
  Chunk(out, kNamesChunk, names);
  Chunk(out, kObjectChunk, ValueBody(u"", {}));
  for (const auto& column : required) {
    std::u16string name;
    Utf8ToUtf16(column, name);
    // Record: u16 length, u8 DDL flag, u8 type, u16 name index, u16 value length, value.
    Bytes record;
    U16(record, 9);
    record.push_back(0);
    record.push_back(kBooleanType);
    U16(record, 0);
    U16(record, 1);
    record.push_back(0x01);
    Chunk(out, kColumnChunk, ValueBody(name, record));
  }
  return out;
}

std::vector<std::string> DecodeRequiredColumns(std::span<const std::uint8_t> b) {
  std::vector<std::string> out;
  if (b.size() < 4 || b[0] != 'M' || b[1] != 'R' || b[2] != '2') return out;
  std::vector<std::u16string> names;
  auto readName = [&](std::size_t pos, std::size_t end, std::u16string& s) -> std::size_t {
    if (pos + 2 > end) return end + 1;
    std::size_t len = Get16(&b[pos]);
    if (pos + 2 + len > end) return end + 1;
    s.clear();
    for (std::size_t i = 0; i + 1 < len; i += 2) s.push_back(static_cast<char16_t>(Get16(&b[pos + 2 + i])));
    return pos + 2 + len;
  };
  std::size_t pos = 4;
  while (pos + 6 <= b.size()) {
    std::size_t length = Get32(&b[pos]);
    std::uint16_t type = Get16(&b[pos + 4]);
    if (length < 6 || pos + length > b.size()) break;
    std::size_t end = pos + length, p = pos + 6;
    if (type == kNamesChunk) {
      std::u16string s;
      while (p < end && (p = readName(p, end, s)) <= end) names.push_back(s);
    } else if (type == kColumnChunk && p + 4 <= end) {
      std::size_t recordsAt = p + Get32(&b[p]);
      std::u16string column;
      if (readName(p + 4, end, column) <= end) {
        for (p = recordsAt; p + 8 <= end;) {
          std::size_t recordLength = Get16(&b[p]);
          if (recordLength < 8 || p + recordLength > end) break;
          std::size_t nameIndex = Get16(&b[p + 4]), valueLength = Get16(&b[p + 6]);
          bool set = valueLength > 0 && p + 8 + valueLength <= end && b[p + 8] != 0;
          if (set && nameIndex < names.size() && names[nameIndex] == u"Required") out.push_back(Utf16ToUtf8(column));
          p += recordLength;
        }
      }
    }
    pos = end;
  }
  return out;
}

}  // namespace jet
