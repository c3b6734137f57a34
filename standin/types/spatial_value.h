// geography and geometry values in SQL Server's own serialization (the bytes
// a client receives for a CLR spatial type, version 1): points, line strings,
// polygons with holes, the multi shapes and collections. Well-known text goes
// to and from this model in types/spatial_wkt.h. Curves (version 2) are not
// made here; their bytes are kept as given.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

constexpr int32_t kDefaultGeographySrid = 4326;

// x and y as well-known text writes them: for geography longitude, latitude
// (stored the other way round). z and m are NaN when not given.
struct SpatialPoint {
  double x = 0, y = 0, z = NAN, m = NAN;
};

// One OGC shape: its own figures (a point's one point, a line's points, a
// polygon's rings, exterior first) or, for the multi shapes and collections,
// its members.
struct SpatialShape {
  enum Type : uint8_t {
    Point = 1, LineString, Polygon, MultiPoint, MultiLineString, MultiPolygon, GeometryCollection
  };
  Type type = Point;
  std::vector<std::vector<SpatialPoint>> figures;
  std::vector<SpatialShape> members;
};

struct SpatialValue {
  int32_t srid = 0;
  SpatialShape shape;
};

// A point: geography keeps latitude then longitude, geometry x then y.
// Fills `error` (SQL Server's .NET message) for a latitude out of range.
std::optional<std::vector<uint8_t>> SerializePoint(bool geography, double first, double second, int32_t srid,
                                                   std::string& error);

// The bytes SQL Server stores and sends for `value` (a single point and a
// single two-point line in their short forms). Fills `error` for coordinates
// a geography cannot have or an SRID it does not know.
std::optional<std::vector<uint8_t>> Serialize(bool geography, const SpatialValue& value, std::string& error);

// The shapes of serialized bytes; nullopt when they are not a version 1 or 2
// value of the shapes above (curves, a full globe, damaged bytes).
std::optional<SpatialValue> Deserialize(bool geography, const std::vector<uint8_t>& bytes);

// "POINT (x y)" ... parsed and serialized (STGeomFromText, Parse, a string
// stored in a spatial column). Fills `error` with SQL Server's message.
std::optional<std::vector<uint8_t>> SerializeWkt(bool geography, std::string_view wkt, int32_t srid,
                                                 std::string& error);

// True when `bytes` look like a serialized spatial value (SRID, version 1 or 2).
bool IsSerializedSpatial(const std::vector<uint8_t>& bytes);

}  // namespace standin
