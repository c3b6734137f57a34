#include "engine/access_names.h"

#include <algorithm>

namespace talvoro::engine {
namespace {

constexpr std::size_t kMaxNameLength = 64;  // UTF-16 code units, as Access counts

std::u32string Decode(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
      out.push_back(U'_');  // not UTF-8: one replacement per byte
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (next & 0x3F);
    }
    if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(U'_');
      ++i;
      continue;
    }
    out.push_back(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::string Encode(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool Forbidden(char32_t c) {
  return c < 0x20 || c == 0x7F || c == U'.' || c == U'!' || c == U'`' || c == U'[' || c == U']';
}

std::size_t Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// Cuts to at most `limit` UTF-16 units without splitting a character.
void CutTo(std::u32string& s, std::size_t limit) {
  std::size_t units = 0, keep = 0;
  for (; keep < s.size() && units + Units(s[keep]) <= limit; ++keep) units += Units(s[keep]);
  s.resize(keep);
}

// Letter case as Access ignores it (the letters of the Latin-1, Greek and Cyrillic blocks).
char32_t Fold(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::u32string Folded(const std::u32string& s) {
  std::u32string out = s;
  for (auto& c : out) c = Fold(c);
  return out;
}

std::u32string Legal(std::string_view name) {
  const std::u32string decoded = Decode(name);
  std::u32string s(std::find_if(decoded.begin(), decoded.end(), [](char32_t c) { return c != U' '; }), decoded.end());
  for (auto& c : s)
    if (Forbidden(c)) c = U'_';
  CutTo(s, kMaxNameLength);
  if (s.empty()) s.push_back(U'_');
  return s;
}

}  // namespace

std::string LegalAccessName(std::string_view name) { return Encode(Legal(name)); }

bool AccessNameSet::Contains(std::string_view name) const {
  std::u32string folded = Folded(Decode(name));
  return std::find(folded_.begin(), folded_.end(), folded) != folded_.end();
}

std::string AccessNameSet::Claim(std::string_view name) {
  const std::u32string base = Legal(name);
  std::u32string candidate = base;
  for (int n = 2; std::find(folded_.begin(), folded_.end(), Folded(candidate)) != folded_.end(); ++n) {
    std::u32string suffix;
    for (char c : "_" + std::to_string(n)) suffix.push_back(static_cast<char32_t>(c));
    candidate = base;
    CutTo(candidate, kMaxNameLength - suffix.size());
    candidate += suffix;
  }
  folded_.push_back(Folded(candidate));
  return Encode(candidate);
}

}  // namespace talvoro::engine
