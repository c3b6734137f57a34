// UTF-8 as the driver receives and returns text, and the UTF-16 Jet stores.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mdb {

bool IsValidUtf8(std::string_view text);

// Number of UTF-16 code units the text needs (Jet's text lengths count these).
std::size_t Utf16Length(std::string_view utf8);

// For SQL_C_WCHAR results; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace mdb
