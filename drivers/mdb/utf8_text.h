// UTF-8 as the driver receives and returns text, and the UTF-16 Jet stores.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mdb {

// Number of UTF-16 code units the text needs (Jet's text lengths count these);
// nullopt when the text is not valid UTF-8.
std::optional<std::size_t> ValidUtf16Length(std::string_view utf8);

// For SQL_C_WCHAR results; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace mdb
