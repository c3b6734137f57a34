#include "jet/text_codec.h"

#include <cstring>

namespace jet {

bool Utf8ToUtf16(std::string_view in, std::u16string& out) {
  // Plain ASCII (the usual case) is widened in one pass.
  std::size_t i = 0;
  out.resize(in.size());
  while (i < in.size() && static_cast<unsigned char>(in[i]) < 0x80) {
    out[i] = static_cast<char16_t>(in[i]);
    ++i;
  }
  out.resize(i);
  if (i == in.size()) return true;
  while (i < in.size()) {
    auto c = static_cast<unsigned char>(in[i]);
    std::uint32_t cp;
    std::size_t n;
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07, n = 4;
    } else {
      return false;
    }
    if (i + n > in.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      auto cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    // A run of ASCII goes over in one step (most text is mostly ASCII).
    std::size_t end = i;
    while (end < in.size() && in[end] < 0x80) ++end;
    if (end > i) {
      const std::size_t at = out.size();
      out.resize(at + (end - i));
      for (char* to = out.data() + at; i < end; ++i) *to++ = static_cast<char>(in[i]);
      if (i == in.size()) break;
    }
    std::uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate cannot be written as UTF-8
    }
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
  return out;
}

void AppendUcs2(std::u16string_view text, std::vector<std::uint8_t>& out) {
  std::size_t at = out.size();
  out.resize(at + 2 * text.size());
  std::uint8_t* p = out.data() + at;
  for (char16_t c : text) {
    *p++ = static_cast<std::uint8_t>(c);
    *p++ = static_cast<std::uint8_t>(c >> 8);
  }
}

bool IsAsciiWithoutNul(std::string_view text) {
  // Eight bytes at a time: most text is ASCII, and every row's text passes here.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    // A high bit set, or a zero byte (the classic test for one).
    if ((word & kHighs) | ((word - kOnes) & ~word & kHighs)) return false;
  }
  for (; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c >= 0x80) return false;
  }
  return true;
}

void AppendStoredText(std::u16string_view text, bool compress, std::vector<std::uint8_t>& out) {
  bool oneByte = compress && text.size() > 2;
  if (oneByte) {
    for (char16_t c : text)
      if (c == 0 || c > 0xFF) {
        oneByte = false;
        break;
      }
  }
  if (!oneByte) {
    AppendUcs2(text, out);
    return;
  }
  std::size_t at = out.size();
  out.resize(at + 2 + text.size());
  std::uint8_t* p = out.data() + at;
  *p++ = 0xFF;
  *p++ = 0xFE;
  for (char16_t c : text) *p++ = static_cast<std::uint8_t>(c);
}

std::u16string DecodeStoredText(std::span<const std::uint8_t> b) {
  std::u16string out;
  if (b.size() > 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bool compressed = true;
    std::size_t i = 2;
    while (i < b.size()) {
      if (b[i] == 0x00) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        out.push_back(b[i]);
        ++i;
      } else {
        if (i + 1 >= b.size()) break;
        out.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
        i += 2;
      }
    }
    return out;
  }
  out.reserve(b.size() / 2);
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) out.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
  return out;
}

}  // namespace jet
