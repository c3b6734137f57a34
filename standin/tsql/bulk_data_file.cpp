#include "tsql/bulk_data_file.h"

#include <iconv.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "types/text_encoding.h"

namespace standin {

std::optional<std::string> DecodeTerminator(std::string_view written, bool rowTerminator) {
  if (written.size() > 2 && written[0] == '0' && (written[1] == 'x' || written[1] == 'X')) {
    std::string bytes;
    const std::string_view hex = written.substr(2);
    if (hex.size() % 2) return std::nullopt;
    for (size_t i = 0; i < hex.size(); i += 2) {
      char pair[3] = {hex[i], hex[i + 1], 0};
      char* end = nullptr;
      const long b = std::strtol(pair, &end, 16);
      if (*end) return std::nullopt;
      bytes += static_cast<char>(b);
    }
    return bytes;
  }
  if (rowTerminator && written == "\\n") return std::string("\r\n");
  std::string out;
  for (size_t i = 0; i < written.size(); ++i) {
    if (written[i] != '\\' || i + 1 == written.size()) {
      out += written[i];
      continue;
    }
    switch (written[++i]) {
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case '0': out += '\0'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += written[i]; break;
    }
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::optional<std::string_view> DecodeDataFile(std::string_view bytes, bool wide, const std::string& codePage,
                                               std::string& decoded) {
  if (wide) {
    size_t skip = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE;
    skip *= 2;
    decoded = FromUtf16(reinterpret_cast<const uint8_t*>(bytes.data()) + skip, (bytes.size() - skip) & ~size_t{1});
    return decoded;
  }
  if (codePage == "65001") {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return bytes;
  }
  bool ascii = true;
  for (char c : bytes) ascii &= static_cast<uint8_t>(c) < 0x80;
  if (ascii) return bytes;
  // ACP, OEM and RAW read as the server's code page, Windows-1252.
  if (codePage.empty() || strcasecmp(codePage.c_str(), "ACP") == 0 || strcasecmp(codePage.c_str(), "OEM") == 0 ||
      strcasecmp(codePage.c_str(), "RAW") == 0 || codePage == "1252") {
    decoded = FromCp1252(bytes);
    return decoded;
  }
  if (codePage.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  iconv_t cd = iconv_open("UTF-8", ("CP" + codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(bytes);  // iconv takes a writable input pointer
  decoded.assign(in.size() * 4, '\0');
  char* from = in.data();
  size_t inLeft = in.size();
  char* to = decoded.data();
  size_t outLeft = decoded.size();
  const size_t rc = iconv(cd, &from, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return std::nullopt;
  decoded.resize(decoded.size() - outLeft);
  return decoded;
}

namespace {

// string_view::find, with memchr for one-character terminators (the usual tab).
size_t Find(std::string_view text, const std::string& terminator, size_t from) {
  if (terminator.size() != 1) return text.find(terminator, from);
  const void* at = std::memchr(text.data() + from, terminator[0], text.size() - from);
  return at ? static_cast<size_t>(static_cast<const char*>(at) - text.data()) : std::string_view::npos;
}

}  // namespace

BulkDataReader::Result BulkDataReader::Next(size_t count, std::vector<std::string_view>& fields) {
  fields.clear();
  if (pos_ >= text_.size()) return Result::End;
  for (size_t k = 0; k < count; ++k) {
    const bool last = k + 1 == count;
    const std::string& terminator = last ? row_ : field_;
    const size_t at = Find(text_, terminator, pos_);
    if (at == std::string_view::npos) {
      // The last row may end with the file instead of its terminator.
      if (!last) return Result::Truncated;
      fields.push_back(text_.substr(pos_));
      pos_ = text_.size();
      return Result::Row;
    }
    fields.push_back(text_.substr(pos_, at - pos_));
    pos_ = at + terminator.size();
  }
  return Result::Row;
}

}  // namespace standin
