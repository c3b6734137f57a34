#include "types/spatial_value.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

void AppendDouble(std::vector<uint8_t>& out, double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

}  // namespace

std::optional<std::vector<uint8_t>> SerializePoint(bool geography, double first, double second, int32_t srid,
                                                   std::string& error) {
  if (geography && (first < -90 || first > 90)) {
    error = "24201: Latitude values must be between -90 and 90 degrees.";
    return std::nullopt;
  }
  if (!std::isfinite(first) || !std::isfinite(second)) {
    error = "24144: This operation cannot be completed because the instance is not valid.";
    return std::nullopt;
  }
  std::vector<uint8_t> out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(srid) >> (8 * i)));
  out.push_back(1);     // serialization version
  out.push_back(0x0C);  // valid (0x04), a single point (0x08)
  AppendDouble(out, first);
  AppendDouble(out, second);
  return out;
}

std::optional<std::vector<uint8_t>> SerializeWktPoint(bool geography, std::string_view wkt, int32_t srid,
                                                      std::string& error) {
  auto skipBlanks = [&] {
    while (!wkt.empty() && std::isspace(static_cast<unsigned char>(wkt.front()))) wkt.remove_prefix(1);
  };
  skipBlanks();
  if (wkt.size() < 5 || strncasecmp(wkt.data(), "POINT", 5) != 0) {
    error = "24114: The label " + std::string(wkt.substr(0, wkt.find_first_of(" (")) ) +
            " in the input well-known text (WKT) is not valid here: only POINT is accepted.";
    return std::nullopt;
  }
  wkt.remove_prefix(5);
  skipBlanks();
  const std::string rest(wkt);
  double x = 0, y = 0;
  char close = 0;
  int used = 0;
  if (std::sscanf(rest.c_str(), " ( %lf %lf %c%n", &x, &y, &close, &used) < 3 || close != ')') {
    error = "24141: A number is expected at position 6 of the input. The input has " + rest + ".";
    return std::nullopt;
  }
  // Well-known text names a geography point by longitude, then latitude.
  return geography ? SerializePoint(true, y, x, srid, error) : SerializePoint(false, x, y, srid, error);
}

bool IsSerializedSpatial(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 6 && (bytes[4] == 1 || bytes[4] == 2);
}

}  // namespace standin
