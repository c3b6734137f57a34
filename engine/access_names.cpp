#include "access_names.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "odbc/utf8_append.h"

namespace talvoro::engine {
namespace {

constexpr char32_t kReplacement = U'_';

// UTF-8 to code points; a byte that starts no valid sequence becomes '_'.
std::u32string Decode(std::string_view text) {
  std::u32string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (valid && ((length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
                  cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
      valid = false;
    }
    if (!valid) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += length;
  }
  return out;
}

std::string Encode(const std::u32string& text) {
  std::string out;
  for (char32_t cp : text) {
    odbc::AppendUtf8(out, cp);
  }
  return out;
}

bool Forbidden(char32_t c) {
  return c < 0x20 || c == 0x7F || c == U'.' || c == U'!' || c == U'`' || c == U'[' || c == U']';
}

std::size_t Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// The longest prefix of `text` that fits `units` UTF-16 code units.
std::u32string CutToUnits(const std::u32string& text, std::size_t units) {
  std::size_t used = 0, n = 0;
  while (n < text.size() && used + Units(text[n]) <= units) used += Units(text[n++]);
  return text.substr(0, n);
}

std::u32string Legal(std::string_view name) {
  std::u32string s = Decode(name);
  for (char32_t& c : s) {
    if (Forbidden(c)) c = kReplacement;
  }
  if (!s.empty() && s[0] == U' ') s[0] = kReplacement;
  if (s.empty()) s.push_back(kReplacement);
  return CutToUnits(s, kMaxAccessNameLength);
}

// Letter case folded as widely as the C library knows it: every pair Jet
// treats as equal (Latin, Greek, Cyrillic) and more, so a name never clashes
// with one that only differs in case.
std::u32string Folded(const std::u32string& name) {
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u32string out = name;
  for (char32_t& c : out) {
    if (unicode != static_cast<locale_t>(nullptr)) {
      c = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), unicode));
    } else if (c >= U'A' && c <= U'Z') {
      c += 32;
    }
  }
  return out;
}

}  // namespace

std::string LegalAccessName(std::string_view name) { return Encode(Legal(name)); }

void AccessNameScope::Reserve(std::string_view name) { taken_.push_back(Folded(Decode(name))); }

bool AccessNameScope::Holds(std::string_view name) const {
  const std::u32string folded = Folded(Decode(name));
  return std::find(taken_.begin(), taken_.end(), folded) != taken_.end();
}

std::string AccessNameScope::Claim(std::string_view wanted) {
  const std::u32string base = Legal(wanted);
  std::u32string candidate = base;
  for (int n = 2; std::find(taken_.begin(), taken_.end(), Folded(candidate)) != taken_.end(); ++n) {
    const std::string suffix = "_" + std::to_string(n);
    candidate = CutToUnits(base, kMaxAccessNameLength - suffix.size()) + std::u32string(suffix.begin(), suffix.end());
  }
  taken_.push_back(Folded(candidate));
  return Encode(candidate);
}

}  // namespace talvoro::engine
