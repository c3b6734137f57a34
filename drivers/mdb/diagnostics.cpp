#include "diagnostics.h"

#include <algorithm>
#include <cstring>

namespace mdb {

SQLRETURN Diagnostics::Add(SQLRETURN code, const std::string& sqlstate, const std::string& message,
                           SQLINTEGER native) {
  records_.push_back(DiagnosticRecord{sqlstate, native, std::string(kMessagePrefix) + message});
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
