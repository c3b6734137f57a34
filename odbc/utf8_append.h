// Appends one code point to a UTF-8 string: shared by the recordset's wide-text
// reads and the conversion's name rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace talvoro::odbc {

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 code units (native byte order, any alignment) to UTF-8; an unpaired
// surrogate becomes U+FFFD.
inline void AppendUtf8FromUtf16(const char* bytes, std::size_t count, std::string& out) {
  auto unitAt = [bytes](std::size_t i) {
    char16_t unit;
    std::memcpy(&unit, bytes + 2 * i, 2);
    return unit;
  };
  for (std::size_t i = 0; i < count; ++i) {
    // A run of ASCII goes over in one step (most text is mostly ASCII).
    std::size_t end = i;
    while (end < count && unitAt(end) < 0x80) ++end;
    if (end > i) {
      const std::size_t at = out.size();
      out.resize(at + (end - i));
      char* to = out.data() + at;
      for (; i < end; ++i) *to++ = static_cast<char>(unitAt(i));
      if (i == count) break;
    }
    std::uint32_t cp = unitAt(i);
    const char16_t next = i + 1 < count ? unitAt(i + 1) : 0;
    if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
}

}  // namespace talvoro::odbc
