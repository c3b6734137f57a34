#include "jet/property_blob.h"

#include <algorithm>

#include "jet/format.h"
#include "jet/text_codec.h"

namespace jet {

using namespace format;

namespace {

constexpr std::uint16_t kNamesChunk = 0x0080;
constexpr std::uint16_t kObjectChunk = 0x0000;
constexpr std::uint16_t kColumnChunk = 0x0001;
constexpr std::uint8_t kBooleanType = 0x01;
constexpr std::uint8_t kMemoType = 0x0C;  // Access stores DefaultValue as a Memo
constexpr std::uint8_t kSetByDdl = 0x01;

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

// Record: u16 length, u8 DDL flag, u8 type, u16 name index, u16 value length, value.
void Record(Bytes& out, std::uint8_t ddl, std::uint8_t type, std::uint16_t nameIndex, const Bytes& value) {
  U16(out, static_cast<std::uint32_t>(8 + value.size()));
  out.push_back(ddl);
  out.push_back(type);
  U16(out, nameIndex);
  U16(out, static_cast<std::uint32_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
}

}  // namespace

Bytes EncodeColumnProperties(const std::vector<ColumnProperties>& columns) {
  bool anyRequired = false, anyDefault = false;
  for (const auto& c : columns) {
    anyRequired = anyRequired || c.required;
    anyDefault = anyDefault || !c.defaultValue.empty();
  }
  if (!anyRequired && !anyDefault) return {};
  Bytes out{'M', 'R', '2', 0};
  Bytes names;
  std::uint16_t requiredIndex = 0, defaultIndex = 0, next = 0;
  if (anyRequired) {
    Name(names, u"Required");
    requiredIndex = next++;
  }
  if (anyDefault) {
    Name(names, u"DefaultValue");
    defaultIndex = next++;
  }
  Chunk(out, kNamesChunk, names);
  Chunk(out, kObjectChunk, ValueBody(u"", {}));
  for (const auto& c : columns) {
    if (!c.required && c.defaultValue.empty()) continue;
    Bytes records;
    if (c.required) Record(records, 0, kBooleanType, requiredIndex, Bytes{0x01});
    if (!c.defaultValue.empty()) {
      std::u16string text;
      Utf8ToUtf16(c.defaultValue, text);
      Bytes value;
      AppendUcs2(text, value);
      Record(records, kSetByDdl, kMemoType, defaultIndex, value);
    }
    std::u16string name;
    Utf8ToUtf16(c.column, name);
    Chunk(out, kColumnChunk, ValueBody(name, records));
  }
  return out;
}

std::vector<ColumnProperties> DecodeColumnProperties(std::span<const std::uint8_t> b) {
  std::vector<ColumnProperties> out;
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
        ColumnProperties props;
        props.column = Utf16ToUtf8(column);
        for (p = recordsAt; p + 8 <= end;) {
          std::size_t recordLength = Get16(&b[p]);
          if (recordLength < 8 || p + recordLength > end) break;
          std::size_t nameIndex = Get16(&b[p + 4]), valueLength = Get16(&b[p + 6]);
          const std::uint8_t* value = &b[p + 8];
          if (p + 8 + valueLength <= end && nameIndex < names.size()) {
            if (names[nameIndex] == u"Required") {
              props.required = valueLength > 0 && value[0] != 0;
            } else if (names[nameIndex] == u"DefaultValue" && (b[p + 3] == kMemoType || b[p + 3] == 0x0A)) {
              std::u16string text;
              for (std::size_t i = 0; i + 1 < valueLength; i += 2) text.push_back(static_cast<char16_t>(Get16(value + i)));
              props.defaultValue = Utf16ToUtf8(text);
            }
          }
          p += recordLength;
        }
        if (props.required || !props.defaultValue.empty()) out.push_back(std::move(props));
      }
    }
    pos = end;
  }
  return out;
}

}  // namespace jet
