// Internal to jet/: the code tables of the "General" (legacy) sort order, as text.
// One line per UTF-16 code unit: U+0000..U+FFFF without the surrogates
// U+D800..U+DFFF. Each chunk holds whole lines separated by '\n' (no newline at the
// chunk's end). Line format: see sort_order_general.h.
#pragma once

#include <cstddef>
#include <string_view>

namespace jet::sort_order_general {

extern const std::size_t kCodeLineCount;
extern const std::string_view kCodeLineChunks[];
extern const std::size_t kCodeLineChunkCount;

}  // namespace jet::sort_order_general
