#include "diagnostics.h"

#include <algorithm>
#include <cstring>

namespace mdb {

namespace {

constexpr std::size_t kMaxQuotedCharacters = 64;
constexpr std::size_t kMaxMessageBytes = 4096;

// Byte length of the first `characters` UTF-8 characters of `text`.
std::size_t PrefixBytes(std::string_view text, std::size_t characters) {
  std::size_t i = 0;
  for (std::size_t n = 0; i < text.size() && n < characters; ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

}  // namespace

std::string ShortenQuoted(std::string_view message) {
  std::string out;
  std::size_t i = 0;
  while (i < message.size() && out.size() < kMaxMessageBytes) {
    std::size_t open = message.find('\'', i);
    if (open == std::string_view::npos) {
      out.append(message.substr(i));
      break;
    }
    std::size_t close = message.find('\'', open + 1);
    std::size_t end = close == std::string_view::npos ? message.size() : close;
    std::string_view quoted = message.substr(open + 1, end - open - 1);
    out.append(message.substr(i, open + 1 - i));
    std::size_t keep = PrefixBytes(quoted, kMaxQuotedCharacters);
    out.append(quoted.substr(0, keep));
    if (keep < quoted.size()) out.append("...");
    if (close == std::string_view::npos) break;
    out += '\'';
    i = close + 1;
  }
  if (out.size() > kMaxMessageBytes) out.resize(PrefixBytes(out, kMaxMessageBytes / 4));
  return out;
}

SQLRETURN Diagnostics::Add(SQLRETURN code, const std::string& sqlstate, const std::string& message,
                           SQLINTEGER native) {
  records_.push_back(DiagnosticRecord{sqlstate, native, std::string(kMessagePrefix) + ShortenQuoted(message),
                                      SQL_NO_ROW_NUMBER});
  if (code == SQL_ERROR || returnCode_ == SQL_SUCCESS) returnCode_ = code;
  return code;
}

bool CopyOutString(const std::string& text, SQLCHAR* buffer, SQLLEN bufferLength, SQLLEN* length) {
  if (length) *length = static_cast<SQLLEN>(text.size());
  // Without a buffer the caller only asks for the length: no truncation.
  if (!buffer || bufferLength <= 0) return buffer == nullptr;
  std::size_t room = static_cast<std::size_t>(bufferLength) - 1;
  std::size_t n = std::min(room, text.size());
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return n == text.size();
}

bool CopyOutString(const std::string& text, SQLPOINTER buffer, SQLSMALLINT bufferLength,
                   SQLSMALLINT* length) {
  SQLLEN full = 0;
  bool whole = CopyOutString(text, static_cast<SQLCHAR*>(buffer), bufferLength, &full);
  if (length) *length = static_cast<SQLSMALLINT>(std::min<SQLLEN>(full, 32767));
  return whole;
}

bool CopyOutString(const std::string& text, SQLPOINTER buffer, SQLINTEGER bufferLength,
                   SQLINTEGER* length) {
  SQLLEN full = 0;
  bool whole = CopyOutString(text, static_cast<SQLCHAR*>(buffer), bufferLength, &full);
  if (length) *length = static_cast<SQLINTEGER>(full);
  return whole;
}

}  // namespace mdb
