// geography and geometry values in SQL Server's own serialization (the bytes
// a client receives for a CLR spatial type): points only, which is what
// install scripts write (geography::Point, STGeomFromText('POINT(...)')).
// Other shapes are taken as bytes (a 0x... literal of a serialized value).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

constexpr int32_t kDefaultGeographySrid = 4326;

// A point: geography keeps latitude then longitude, geometry x then y.
// Fills `error` (SQL Server's .NET message) for a latitude out of range.
std::optional<std::vector<uint8_t>> SerializePoint(bool geography, double first, double second, int32_t srid,
                                                   std::string& error);

// "POINT (x y)" / "POINT(longitude latitude)" well-known text.
std::optional<std::vector<uint8_t>> SerializeWktPoint(bool geography, std::string_view wkt, int32_t srid,
                                                      std::string& error);

// True when `bytes` look like a serialized spatial value (SRID, version 1 or 2).
bool IsSerializedSpatial(const std::vector<uint8_t>& bytes);

}  // namespace standin
