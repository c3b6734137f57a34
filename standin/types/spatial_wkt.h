// Well-known text of spatial shapes as SQL Server reads and writes it:
// "LINESTRING (1 2, 3 4)", "POLYGON ((...), (...))", "MULTIPOINT ((1 2), (3 4))",
// "GEOMETRYCOLLECTION (POINT (1 2), ...)", "... EMPTY"; a point may carry z and
// m ("1 2 3 4", "1 2 NULL 4").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "types/spatial_value.h"

namespace standin {

// Fills `error` with SQL Server's message ("24114: The label ...") when the
// text is not well-formed or a shape has too few points.
std::optional<SpatialShape> ParseWkt(std::string_view text, std::string& error);

// STAsText (x and y only) or, with `zm`, ToString / AsTextZM.
std::string WriteWkt(const SpatialShape& shape, bool zm);

// A coordinate as SQL Server prints it: 15 significant digits when they give
// the same double back, 17 otherwise ("-122.349", "0.33333333333333331").
std::string WktNumber(double v);

}  // namespace standin
