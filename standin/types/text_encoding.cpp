#include "types/text_encoding.h"

namespace standin {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

// Decodes one code point at `i`, advancing it; U+FFFD for malformed input.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; }
  else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; }
  else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; }
  else return 0xFFFD;
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (static_cast<uint8_t>(s[i++]) & 0x3F);
  }
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::string_view utf8, std::vector<uint8_t>& out) {
  // Each UTF-8 byte gives at most two bytes of UTF-16 (a 4-byte sequence gives
  // a surrogate pair): size once, write through a pointer, trim at the end.
  const size_t start = out.size();
  out.resize(start + utf8.size() * 2);
  uint8_t* to = out.data() + start;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    if (b < 0x80) {  // fast path for ASCII
      *to++ = b;
      *to++ = 0;
      ++i;
      continue;
    }
    char32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      const char16_t hi = static_cast<char16_t>(0xD800 + (cp >> 10));
      const char16_t lo = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      *to++ = hi & 0xFF; *to++ = static_cast<uint8_t>(hi >> 8);
      *to++ = lo & 0xFF; *to++ = static_cast<uint8_t>(lo >> 8);
    } else {
      *to++ = cp & 0xFF;
      *to++ = static_cast<uint8_t>(cp >> 8);
    }
  }
  out.resize(static_cast<size_t>(to - out.data()));
}

std::vector<uint8_t> ToUtf16(std::string_view utf8) {
  std::vector<uint8_t> out;
  AppendUtf16(utf8, out);
  return out;
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    if (static_cast<uint8_t>(utf8[i]) < 0x80) { ++i; ++units; continue; }
    units += NextCodePoint(utf8, i) >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::string FromUtf16(const uint8_t* data, size_t bytes) {
  std::string out;
  out.reserve(bytes / 2);
  const size_t n = bytes / 2;
  for (size_t k = 0; k < n; ++k) {
    char32_t u = data[2 * k] | (data[2 * k + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      const char32_t lo = data[2 * k + 2] | (data[2 * k + 3] << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        ++k;
      } else {
        u = 0xFFFD;
      }
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(u, out);
  }
  return out;
}

std::string ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    if (b < 0x80) { out += static_cast<char>(b); ++i; continue; }
    const char32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0xA0 && cp <= 0xFF) { out += static_cast<char>(cp); continue; }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] != 0 && kCp1252High[k] == cp) { mapped = static_cast<char>(0x80 + k); break; }
    }
    out += mapped;
  }
  return out;
}

std::string FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) out += c;
    else if (b < 0xA0) AppendUtf8(kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : 0xFFFD, out);
    else AppendUtf8(b, out);
  }
  return out;
}

}  // namespace standin
