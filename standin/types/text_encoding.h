// Conversions between the UTF-8 kept in storage and the encodings on the wire:
// UCS-2/UTF-16LE for N-types and names, Windows-1252 for char/varchar/text
// (the code page of the collation the stand-in announces).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Appends the UTF-16LE form of `utf8` to `out`; invalid bytes become U+FFFD.
void AppendUtf16(std::string_view utf8, std::vector<uint8_t>& out);
std::vector<uint8_t> ToUtf16(std::string_view utf8);
// Number of UTF-16 code units `utf8` needs.
size_t Utf16Length(std::string_view utf8);
// UTF-16LE bytes (odd trailing byte ignored) to UTF-8.
std::string FromUtf16(const uint8_t* data, size_t bytes);

// Windows-1252 bytes of `utf8`; characters outside the code page become '?'.
std::string ToCp1252(std::string_view utf8);
std::string FromCp1252(std::string_view bytes);

// Decodes one UTF-8 code point at `i`, advancing it; U+FFFD for malformed input.
char32_t NextCodePoint(std::string_view s, size_t& i);
// Appends the UTF-8 form of `cp` to `out`.
void AppendUtf8(char32_t cp, std::string& out);

}  // namespace standin
