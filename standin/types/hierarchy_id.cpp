#include "types/hierarchy_id.h"

#include <charconv>

namespace standin {
namespace {

// One range of label values: the bits written for it, 'x' a value bit (most
// significant first), 'T' the bit that ends a label (1) or continues it past a
// dot (0), '0'/'1' fixed bits. The value written is label - low.
struct Pattern {
  int64_t low;
  int64_t high;
  const char* bits;
};

constexpr Pattern kPatterns[] = {
    {-4294971464LL, -4169, "000101xxxxxxxxxxxxxxxxxxx0xxxxxx0xxx0x1xxxT"},
    {-4168, -73, "000110xxxxx0xxx0x1xxxT"},
    {-72, -9, "0010xx0x1xxxT"},
    {-8, -1, "00111xxxT"},
    {0, 3, "01xxT"},
    {4, 7, "100xxT"},
    {8, 15, "101xxxT"},
    {16, 79, "110xx0x1xxxT"},
    {80, 1103, "1110xxx0xxx0x1xxxT"},
    {1104, 5199, "11110xxxxx0xxx0x1xxxT"},
    {5200, 4294972495LL, "111110xxxxxxxxxxxxxxxxxxx0xxxxxx0xxx0x1xxxT"},
};

int ValueBits(const char* bits) {
  int n = 0;
  for (const char* p = bits; *p; ++p) n += *p == 'x';
  return n;
}

void AppendLabel(std::vector<bool>& out, int64_t label, bool last) {
  for (const auto& p : kPatterns) {
    if (label < p.low || label > p.high) continue;
    const uint64_t value = static_cast<uint64_t>(label - p.low);
    int bit = ValueBits(p.bits) - 1;
    for (const char* c = p.bits; *c; ++c) {
      if (*c == 'x') out.push_back((value >> bit--) & 1);
      else if (*c == 'T') out.push_back(last);
      else out.push_back(*c == '1');
    }
    return;
  }
}

bool InRange(int64_t v) { return v >= kPatterns[0].low && v <= kPatterns[std::size(kPatterns) - 1].high; }

}  // namespace

std::optional<std::vector<uint8_t>> EncodeHierarchyId(std::string_view text) {
  if (text.empty() || text.front() != '/' || text.back() != '/') return std::nullopt;
  std::vector<bool> bits;
  size_t i = 1;
  while (i < text.size()) {
    const size_t end = text.find('/', i);
    const std::string_view level = text.substr(i, end - i);
    if (level.empty()) return std::nullopt;
    // "1.3.-2": all labels but the last are written one higher and open.
    std::vector<int64_t> labels;
    size_t at = 0;
    while (at <= level.size()) {
      const size_t dot = level.find('.', at);
      const std::string_view part = level.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at);
      int64_t v = 0;
      const auto r = std::from_chars(part.data(), part.data() + part.size(), v);
      if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size()) return std::nullopt;
      labels.push_back(v);
      if (dot == std::string_view::npos) break;
      at = dot + 1;
    }
    for (size_t k = 0; k < labels.size(); ++k) {
      const bool last = k + 1 == labels.size();
      const int64_t v = last ? labels[k] : labels[k] + 1;
      if (!InRange(v)) return std::nullopt;
      AppendLabel(bits, v, last);
    }
    i = end + 1;
  }
  std::vector<uint8_t> out((bits.size() + 7) / 8, 0);
  for (size_t k = 0; k < bits.size(); ++k)
    if (bits[k]) out[k / 8] |= static_cast<uint8_t>(0x80 >> (k % 8));
  return out;
}

std::optional<std::string> DecodeHierarchyId(const uint8_t* bytes, size_t size) {
  const size_t total = size * 8;
  auto bitAt = [&](size_t k) { return (bytes[k / 8] >> (7 - k % 8)) & 1; };
  // Trailing zeros pad the last byte and are not part of the value.
  size_t end = total;
  while (end > 0 && !bitAt(end - 1)) --end;
  std::string out = "/";
  std::string level;
  size_t pos = 0;
  while (pos < end) {
    const Pattern* match = nullptr;
    for (const auto& p : kPatterns) {
      size_t prefix = 0;
      while (p.bits[prefix] == '0' || p.bits[prefix] == '1') ++prefix;
      bool same = pos + prefix <= end;
      for (size_t k = 0; same && k < prefix; ++k) same = bitAt(pos + k) == (p.bits[k] == '1');
      if (same) { match = &p; break; }
    }
    if (!match) return std::nullopt;
    uint64_t value = 0;
    bool last = true;
    for (const char* c = match->bits; *c; ++c, ++pos) {
      if (pos >= end && *c != 'T') return std::nullopt;
      const int bit = pos < end ? bitAt(pos) : 0;
      if (*c == 'x') value = (value << 1) | static_cast<uint64_t>(bit);
      else if (*c == 'T') last = bit == 1;
      else if (bit != (*c == '1')) return std::nullopt;
    }
    const int64_t label = match->low + static_cast<int64_t>(value);
    level += std::to_string(last ? label : label - 1);
    if (last) {
      out += level + "/";
      level.clear();
    } else {
      level += ".";
    }
  }
  if (!level.empty()) return std::nullopt;
  return out;
}

}  // namespace standin
