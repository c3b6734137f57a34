#include "jet/property_blob.h"

#include <algorithm>
#include <optional>

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

Bytes EncodeProperties(const TableProperties& table, const std::vector<ColumnProperties>& columns) {
  const bool anyColumn = std::any_of(columns.begin(), columns.end(), [](const ColumnProperties& c) { return c.any(); });
  if (!anyColumn && !table.any()) return {};
  // The names list holds each property name once, in order of first use.
  std::vector<std::u16string> names;
  auto index = [&](const std::u16string& name) {
    auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) it = names.insert(names.end(), name);
    return static_cast<std::uint16_t>(it - names.begin());
  };
  auto text = [&](Bytes& records, const char16_t* name, const std::string& value) {
    if (value.empty()) return;
    std::u16string utf16;
    Utf8ToUtf16(value, utf16);
    Bytes bytes;
    AppendUcs2(utf16, bytes);
    Record(records, kSetByDdl, kMemoType, index(name), bytes);
  };
  Bytes tableRecords;
  text(tableRecords, u"ValidationRule", table.validationRule);
  text(tableRecords, u"ValidationText", table.validationText);
  std::vector<std::pair<std::u16string, Bytes>> columnChunks;
  for (const auto& c : columns) {
    if (!c.any()) continue;
    Bytes records;
    if (c.required) Record(records, 0, kBooleanType, index(u"Required"), Bytes{0x01});
    text(records, u"DefaultValue", c.defaultValue);
    text(records, u"ValidationRule", c.validationRule);
    text(records, u"ValidationText", c.validationText);
    std::u16string name;
    Utf8ToUtf16(c.column, name);
    columnChunks.emplace_back(std::move(name), std::move(records));
  }
  Bytes out{'M', 'R', '2', 0};
  Bytes nameBytes;
  for (const auto& n : names) Name(nameBytes, n);
  Chunk(out, kNamesChunk, nameBytes);
  Chunk(out, kObjectChunk, ValueBody(u"", tableRecords));
  for (const auto& [name, records] : columnChunks) Chunk(out, kColumnChunk, ValueBody(name, records));
  return out;
}

Bytes EncodeColumnProperties(const std::vector<ColumnProperties>& columns) { return EncodeProperties({}, columns); }

namespace {

// Calls `each(chunkType, objectName, propertyName, dataType, value, length)` for
// every property record of a blob; stops at the first malformed part.
template <typename Each>
void ForEachProperty(std::span<const std::uint8_t> b, Each each) {
  if (b.size() < 4 || b[0] != 'M' || b[1] != 'R' || b[2] != '2') return;
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
    } else if ((type == kColumnChunk || type == kObjectChunk) && p + 4 <= end) {
      std::size_t recordsAt = p + Get32(&b[p]);
      std::u16string object;
      if (readName(p + 4, end, object) <= end) {
        for (p = recordsAt; p + 8 <= end;) {
          std::size_t recordLength = Get16(&b[p]);
          if (recordLength < 8 || p + recordLength > end) break;
          std::size_t nameIndex = Get16(&b[p + 4]), valueLength = Get16(&b[p + 6]);
          if (p + 8 + valueLength <= end && nameIndex < names.size())
            each(type, object, names[nameIndex], b[p + 3], &b[p + 8], valueLength);
          p += recordLength;
        }
      }
    }
    pos = end;
  }
}

// A text property's value (Text or Memo); nullopt for another type.
std::optional<std::string> TextValue(std::uint8_t type, const std::uint8_t* value, std::size_t length) {
  if (type != kMemoType && type != 0x0A) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < length; i += 2) text.push_back(static_cast<char16_t>(Get16(value + i)));
  return Utf16ToUtf8(text);
}

}  // namespace

TableProperties DecodeTableProperties(std::span<const std::uint8_t> blob) {
  TableProperties table;
  ForEachProperty(blob, [&](std::uint16_t chunk, const std::u16string&, const std::u16string& name, std::uint8_t type,
                            const std::uint8_t* value, std::size_t length) {
    if (chunk != kObjectChunk) return;
    auto text = TextValue(type, value, length);
    if (!text) return;
    if (name == u"ValidationRule") table.validationRule = *text;
    if (name == u"ValidationText") table.validationText = *text;
  });
  return table;
}

std::vector<ColumnProperties> DecodeColumnProperties(std::span<const std::uint8_t> blob) {
  std::vector<ColumnProperties> out;
  ForEachProperty(blob, [&](std::uint16_t chunk, const std::u16string& object, const std::u16string& name,
                            std::uint8_t type, const std::uint8_t* value, std::size_t length) {
    if (chunk != kColumnChunk) return;
    const std::string column = Utf16ToUtf8(object);
    if (out.empty() || out.back().column != column) out.push_back({.column = column});
    ColumnProperties& props = out.back();
    if (name == u"Required") {
      props.required = length > 0 && value[0] != 0;
    } else if (auto text = TextValue(type, value, length)) {
      if (name == u"DefaultValue") props.defaultValue = *text;
      if (name == u"ValidationRule") props.validationRule = *text;
      if (name == u"ValidationText") props.validationText = *text;
    }
  });
  std::erase_if(out, [](const ColumnProperties& c) { return !c.any(); });
  return out;
}

}  // namespace jet
