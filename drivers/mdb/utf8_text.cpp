#include "utf8_text.h"

#include <cstdint>
#include <cstring>

namespace mdb {
namespace {

// Decodes one code point at `i`; returns false (and advances by one byte) on bad input.
bool Decode(std::string_view s, std::size_t& i, char32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int extra;
  if (c < 0x80) {
    cp = c;
    ++i;
    return true;
  } else if ((c & 0xE0) == 0xC0) {
    cp = c & 0x1F;
    extra = 1;
  } else if ((c & 0xF0) == 0xE0) {
    cp = c & 0x0F;
    extra = 2;
  } else if ((c & 0xF8) == 0xF0) {
    cp = c & 0x07;
    extra = 3;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char next = static_cast<unsigned char>(s[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return true;
}

}  // namespace

std::optional<std::size_t> ValidUtf16Length(std::string_view utf8) {
  std::size_t i = 0, units = 0;
  char32_t cp;
  while (i < utf8.size()) {
    // Most text is ASCII, one unit per byte: eight bytes at a time.
    std::uint64_t word;
    if (i + 8 <= utf8.size() && (std::memcpy(&word, utf8.data() + i, 8), (word & 0x8080808080808080ull) == 0)) {
      i += 8;
      units += 8;
      continue;
    }
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++i;
      ++units;
      continue;
    }
    if (!Decode(utf8, i, cp)) return std::nullopt;
    units += cp >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  char32_t cp;
  while (i < utf8.size()) {
    if (!Decode(utf8, i, cp)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace mdb
