// hierarchyid values: the text form ("/1/2.5/") and SQL Server's binary form
// (ORDPATH labels, bit-packed and left-aligned in bytes, as clients receive it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Bytes of a path like "/", "/1/", "/1/-3/7.2/"; nullopt when the text is no path
// or a label lies outside the supported range (-4294971464 .. 4294972495).
std::optional<std::vector<uint8_t>> EncodeHierarchyId(std::string_view text);
// The path written by `bytes`; nullopt when they are no valid hierarchyid.
std::optional<std::string> DecodeHierarchyId(const uint8_t* bytes, size_t size);

}  // namespace standin
