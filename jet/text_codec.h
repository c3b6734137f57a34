// Text as Jet stores it: UTF-16LE, optionally in the "Unicode compression" form
// (FF FE marker, then runs of one byte per character toggled by 0x00 bytes).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// Strict UTF-8 to UTF-16; false on malformed input (the caller reports the error).
bool Utf8ToUtf16(std::string_view in, std::u16string& out);
std::string Utf16ToUtf8(std::u16string_view in);

// Appends `text` as stored bytes. With `compress`, uses the one-byte form when every
// character is in U+0001..U+00FF and there are more than two characters.
void AppendStoredText(std::u16string_view text, bool compress, std::vector<std::uint8_t>& out);

// True when every byte is in 0x01..0x7F: such UTF-8 is its own UTF-16 code
// units, one per byte, and compresses to itself.
bool IsAsciiWithoutNul(std::string_view text);
void AppendUcs2(std::u16string_view text, std::vector<std::uint8_t>& out);

// Decodes stored text bytes (either form).
std::u16string DecodeStoredText(std::span<const std::uint8_t> bytes);

}  // namespace jet
