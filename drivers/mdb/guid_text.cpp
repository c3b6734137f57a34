#include "guid_text.h"

namespace mdb {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Text order of the 16 bytes -> file order.
constexpr int kFileIndex[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

}  // namespace

std::optional<jet::Guid> ParseGuid(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  jet::Guid guid;
  int byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = HexValue(text[i]), low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    guid.bytes[kFileIndex[byte++]] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return guid;
}

std::string FormatGuid(const jet::Guid& guid) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "{";
  for (int byte = 0; byte < 16; ++byte) {
    if (byte == 4 || byte == 6 || byte == 8 || byte == 10) text += '-';
    std::uint8_t b = guid.bytes[kFileIndex[byte]];
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  text += '}';
  return text;
}

}  // namespace mdb
