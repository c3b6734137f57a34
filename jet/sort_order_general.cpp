#include "jet/sort_order_general.h"

#include <memory>
#include <mutex>
#include <stdexcept>

#include "jet/sort_order_general_data.h"

namespace jet {
namespace {

enum class Kind : std::uint8_t { Ignored, Simple, International, Unprintable, UnprintableExt, InternationalExt, Significant };

// One code unit's handler. `bytes` holds the inline bytes, then the extra bytes
// (I, Z), the unprintable bytes (U) or the modifier (P).
struct CharCode {
  Kind kind = Kind::Ignored;
  std::uint8_t inlineLength = 0;
  std::uint8_t extraLength = 0;
  std::uint8_t crazyFlag = 0;  // Z only: 0x02 or 0x03
  std::uint8_t bytes[6] = {};
};

constexpr char16_t kFirstSurrogate = 0xD800;
constexpr char16_t kLastSurrogate = 0xDFFF;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  throw std::logic_error("bad hex digit in sort order table");
}

// Parses one hex field into `out`; returns its byte count.
std::uint8_t ParseHex(std::string_view field, std::uint8_t* out, std::size_t room) {
  std::size_t digits = field.size();
  std::size_t count = (digits + 1) / 2;
  if (count > room) throw std::logic_error("sort order table field too long");
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count; ++i) {
    int value = 0;
    if (i == 0 && digits % 2 == 1) {
      value = HexDigit(field[pos++]);
    } else {
      value = HexDigit(field[pos]) * 16 + HexDigit(field[pos + 1]);
      pos += 2;
    }
    out[i] = static_cast<std::uint8_t>(value);
  }
  return static_cast<std::uint8_t>(count);
}

CharCode ParseLine(std::string_view line) {
  CharCode code;
  std::string_view fields[3];
  std::size_t fieldCount = 0;
  std::string_view rest = line.substr(1);
  if (!rest.empty() || line.size() > 1) {
    while (fieldCount < 3) {
      std::size_t comma = rest.find(',');
      fields[fieldCount++] = rest.substr(0, comma);
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
  }
  switch (line[0]) {
    case 'X':
      code.kind = Kind::Ignored;
      break;
    case 'S':
    case 'G':
      code.kind = line[0] == 'S' ? Kind::Simple : Kind::Significant;
      code.inlineLength = ParseHex(fields[0], code.bytes, 4);
      break;
    case 'I':
      code.kind = Kind::International;
      code.inlineLength = ParseHex(fields[0], code.bytes, 4);
      code.extraLength = ParseHex(fields[1], code.bytes + code.inlineLength, 6 - code.inlineLength);
      break;
    case 'U':
      code.kind = Kind::Unprintable;
      code.extraLength = ParseHex(fields[0], code.bytes, 6);
      break;
    case 'P':
      code.kind = Kind::UnprintableExt;
      code.extraLength = ParseHex(fields[0], code.bytes, 1);
      break;
    case 'Z':
      code.kind = Kind::InternationalExt;
      code.inlineLength = ParseHex(fields[0], code.bytes, 4);
      code.extraLength = ParseHex(fields[1], code.bytes + code.inlineLength, 6 - code.inlineLength);
      code.crazyFlag = fields[2] == "1" ? 0x02 : 0x03;
      break;
    default:
      throw std::logic_error("bad kind in sort order table");
  }
  return code;
}

// Every code unit's handler, parsed once from the tables.
const CharCode* Codes() {
  static const std::unique_ptr<CharCode[]> codes = [] {
    auto table = std::make_unique<CharCode[]>(0x10000);
    std::size_t unit = 0;
    for (std::size_t chunk = 0; chunk < sort_order_general::kCodeLineChunkCount; ++chunk) {
      std::string_view text = sort_order_general::kCodeLineChunks[chunk];
      while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (unit == kFirstSurrogate) unit = kLastSurrogate + 1;
        table[unit++] = ParseLine(line);
      }
    }
    if (unit != 0x10000) throw std::logic_error("sort order table incomplete");
    return table;
  }();
  return codes.get();
}

// Surrogates are not in the tables; their codes are computed.
CharCode SurrogateCode(char16_t c) {
  CharCode code;
  code.kind = Kind::International;
  unsigned value;
  if (c < 0xDC00) {
    value = c - 10238u;
  } else {
    unsigned offset = (c - 0xDC00u) % 1024u;
    unsigned minus = offset < 8 ? 9992 : offset < 262 ? 9990 : offset < 516 ? 9988 : offset < 770 ? 9986 : 9984;
    value = c - minus;
  }
  code.inlineLength = 2;
  code.bytes[0] = static_cast<std::uint8_t>(value >> 8);
  code.bytes[1] = static_cast<std::uint8_t>(value);
  code.extraLength = 1;
  code.bytes[2] = 0x3F;
  return code;
}

constexpr std::uint8_t kEndText = 0x01;
constexpr std::uint8_t kEndExtraText = 0x00;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::size_t kMaxIndexedChars = 255;

void TrimTrailing(Bytes& bytes, std::uint8_t low, std::uint8_t high) {
  while (!bytes.empty() && bytes.back() >= low && bytes.back() <= high) bytes.pop_back();
}

}  // namespace

void AppendGeneralSortKey(std::u16string_view text, bool ascending, Bytes& out) {
  if (text.size() > kMaxIndexedChars) text = text.substr(0, kMaxIndexedChars);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  const CharCode* codes = Codes();
  const std::size_t start = out.size();

  // The extra codes (international marks) are kept per character position; the
  // unprintable codes refer to positions in that list.
  Bytes extra;
  bool haveExtra = false;
  std::size_t extraChars = 0;         // characters the extra list covers
  std::size_t unprintablePrefix = 0;  // a modifier that started the list
  Bytes unprintable;
  Bytes crazy;
  std::size_t charOffset = 0;  // characters that produced inline bytes

  for (char16_t c : text) {
    CharCode surrogate;
    const CharCode* code;
    if (c >= kFirstSurrogate && c <= kLastSurrogate) {
      surrogate = SurrogateCode(c);
      code = &surrogate;
    } else {
      code = &codes[c];
    }
    const std::size_t curOffset = charOffset;
    if (code->inlineLength > 0) {
      out.insert(out.end(), code->bytes, code->bytes + code->inlineLength);
      ++charOffset;
    }
    if (code->kind == Kind::Simple || code->kind == Kind::Significant || code->kind == Kind::Ignored) continue;

    const bool hasExtraBytes = (code->kind == Kind::International || code->kind == Kind::InternationalExt) &&
                               code->extraLength > 0;
    const std::uint8_t modifier = code->kind == Kind::UnprintableExt ? code->bytes[0] : 0;
    if (hasExtraBytes || modifier != 0) {
      haveExtra = true;
      if (extraChars < curOffset) {
        extra.insert(extra.end(), curOffset - extraChars, kExtraPlaceholder);
        extraChars = curOffset;
      }
      if (hasExtraBytes) {
        const std::uint8_t* first = code->bytes + code->inlineLength;
        extra.insert(extra.end(), first, first + code->extraLength);
        ++extraChars;
      } else if (!extra.empty()) {
        extra.back() = static_cast<std::uint8_t>(extra.back() + modifier);
      } else {
        extra.push_back(modifier);
        unprintablePrefix = 1;
      }
    }

    if (code->kind == Kind::Unprintable) {
      std::size_t position = curOffset;
      if (haveExtra) position = extra.size() + (curOffset - extraChars) - unprintablePrefix;
      const unsigned marker = (7 + 4 * position) | 0x8000;
      unprintable.push_back(static_cast<std::uint8_t>(marker >> 8));
      unprintable.push_back(static_cast<std::uint8_t>(marker));
      unprintable.push_back(0x06);
      unprintable.insert(unprintable.end(), code->bytes, code->bytes + code->extraLength);
    }

    if (code->crazyFlag != 0) crazy.push_back(code->crazyFlag);
  }

  out.push_back(kEndText);
  TrimTrailing(extra, 0x00, kExtraPlaceholder);
  const bool hasUnprintable = !unprintable.empty();
  const bool hasCrazy = !crazy.empty();
  out.insert(out.end(), extra.begin(), extra.end());
  if (hasCrazy || hasUnprintable) {
    out.push_back(kEndText);
    out.push_back(kEndText);
    if (hasCrazy) {
      TrimTrailing(crazy, 0x03, 0x03);
      std::uint8_t current = 0x80;
      int used = 0;
      for (std::uint8_t flag : crazy) {
        current = static_cast<std::uint8_t>(current | (flag << ((2 - used) * 2)));
        if (++used == 3) {
          out.push_back(current);
          current = 0x80;
          used = 0;
        }
      }
      if (used > 0) out.push_back(current);
      for (std::uint8_t b : {0xFF, 0x02, 0x80, 0xFF, 0x80}) out.push_back(b);
      if (hasUnprintable) out.push_back(0xFF);
    }
    if (hasUnprintable) {
      out.push_back(kEndText);
      out.insert(out.end(), unprintable.begin(), unprintable.end());
    }
  }

  if (!ascending) {
    out.push_back(kEndExtraText);
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
  }
  out.push_back(kEndExtraText);
}

}  // namespace jet
