#include "types/spatial_value.h"

#include <cstring>

#include "types/spatial_wkt.h"

namespace standin {
namespace {

// Serialization properties of version 1.
constexpr uint8_t kHasZ = 0x01, kHasM = 0x02, kValid = 0x04, kSinglePoint = 0x08, kSingleLine = 0x10;
// Figure attributes of version 1.
constexpr uint8_t kInteriorRing = 0, kStroke = 1, kExteriorRing = 2;

void AppendInt(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendDouble(std::vector<uint8_t>& out, double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

struct Figure {
  uint8_t attribute;
  uint32_t pointOffset;
};
struct ShapeRecord {
  int32_t parent, figureOffset;
  uint8_t type;
};

// The shape tree as the three flat lists of the format.
struct Flattened {
  std::vector<SpatialPoint> points;
  std::vector<Figure> figures;
  std::vector<ShapeRecord> shapes;

  void Add(const SpatialShape& shape, int32_t parent) {
    const size_t index = shapes.size();
    shapes.push_back({parent, static_cast<int32_t>(figures.size()), shape.type});
    for (size_t f = 0; f < shape.figures.size(); ++f) {
      const uint8_t attribute =
          shape.type != SpatialShape::Polygon ? kStroke : f == 0 ? kExteriorRing : kInteriorRing;
      figures.push_back({attribute, static_cast<uint32_t>(points.size())});
      points.insert(points.end(), shape.figures[f].begin(), shape.figures[f].end());
    }
    for (const SpatialShape& member : shape.members) Add(member, static_cast<int32_t>(index));
    if (figures.size() == static_cast<size_t>(shapes[index].figureOffset)) shapes[index].figureOffset = -1;  // empty
  }
};

bool Check(bool geography, const SpatialShape& shape, std::string& error) {
  for (const auto& figure : shape.figures)
    for (const SpatialPoint& p : figure) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        error = "24144: This operation cannot be completed because the instance is not valid.";
        return false;
      }
      if (geography && (p.y < -90 || p.y > 90)) {
        error = "24201: Latitude values must be between -90 and 90 degrees.";
        return false;
      }
      if (geography && (p.x < -15069 || p.x > 15069)) {
        error = "24202: Longitude values must be between -15069 and 15069 degrees.";
        return false;
      }
    }
  for (const SpatialShape& member : shape.members)
    if (!Check(geography, member, error)) return false;
  return true;
}

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  bool Int(uint32_t& v) {
    if (at_ + 4 > b_.size()) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b_[at_ + i]) << (8 * i);
    at_ += 4;
    return true;
  }
  bool Double(double& v) {
    if (at_ + 8 > b_.size()) return false;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(b_[at_ + i]) << (8 * i);
    std::memcpy(&v, &bits, sizeof v);
    at_ += 8;
    return true;
  }
  bool Byte(uint8_t& v) {
    if (at_ >= b_.size()) return false;
    v = b_[at_++];
    return true;
  }
  // A count that cannot exceed what is left (each item `size` bytes).
  bool Count(uint32_t& n, size_t size) { return Int(n) && n <= (b_.size() - at_) / size; }

 private:
  const std::vector<uint8_t>& b_;
  size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<uint8_t>> SerializePoint(bool geography, double first, double second, int32_t srid,
                                                   std::string& error) {
  SpatialValue value;
  value.srid = srid;
  value.shape.figures.push_back({geography ? SpatialPoint{second, first} : SpatialPoint{first, second}});
  return Serialize(geography, value, error);
}

std::optional<std::vector<uint8_t>> Serialize(bool geography, const SpatialValue& value, std::string& error) {
  if (geography && (value.srid < 4120 || value.srid > 4999)) {
    error = "24204: The spatial reference identifier (SRID) is not valid. The specified SRID must match one of the"
            " supported SRIDs displayed in the sys.spatial_reference_systems catalog view.";
    return std::nullopt;
  }
  if (!Check(geography, value.shape, error)) return std::nullopt;
  Flattened flat;
  flat.Add(value.shape, -1);
  bool hasZ = false, hasM = false;
  for (const SpatialPoint& p : flat.points) {
    hasZ |= !std::isnan(p.z);
    hasM |= !std::isnan(p.m);
  }
  const SpatialShape& top = value.shape;
  const bool singlePoint = top.type == SpatialShape::Point && flat.points.size() == 1;
  const bool singleLine = top.type == SpatialShape::LineString && flat.points.size() == 2;
  std::vector<uint8_t> out;
  AppendInt(out, static_cast<uint32_t>(value.srid));
  out.push_back(1);  // version 1: no curves
  out.push_back(static_cast<uint8_t>(kValid | (hasZ ? kHasZ : 0) | (hasM ? kHasM : 0) |
                                     (singlePoint ? kSinglePoint : 0) | (singleLine ? kSingleLine : 0)));
  if (!singlePoint && !singleLine) AppendInt(out, static_cast<uint32_t>(flat.points.size()));
  for (const SpatialPoint& p : flat.points) {
    AppendDouble(out, geography ? p.y : p.x);  // geography stores latitude first
    AppendDouble(out, geography ? p.x : p.y);
  }
  if (hasZ)
    for (const SpatialPoint& p : flat.points) AppendDouble(out, p.z);
  if (hasM)
    for (const SpatialPoint& p : flat.points) AppendDouble(out, p.m);
  if (singlePoint || singleLine) return out;
  AppendInt(out, static_cast<uint32_t>(flat.figures.size()));
  for (const Figure& f : flat.figures) {
    out.push_back(f.attribute);
    AppendInt(out, f.pointOffset);
  }
  AppendInt(out, static_cast<uint32_t>(flat.shapes.size()));
  for (const ShapeRecord& s : flat.shapes) {
    AppendInt(out, static_cast<uint32_t>(s.parent));
    AppendInt(out, static_cast<uint32_t>(s.figureOffset));
    out.push_back(s.type);
  }
  return out;
}

std::optional<SpatialValue> Deserialize(bool geography, const std::vector<uint8_t>& bytes) {
  Reader r(bytes);
  uint32_t srid = 0, count = 0;
  uint8_t version = 0, props = 0;
  if (!r.Int(srid) || !r.Byte(version) || !r.Byte(props) || (version != 1 && version != 2)) return std::nullopt;
  SpatialValue value;
  value.srid = static_cast<int32_t>(srid);
  const bool singlePoint = props & kSinglePoint, singleLine = props & kSingleLine;
  if (singlePoint || singleLine) count = singlePoint ? 1 : 2;
  else if (!r.Count(count, 16)) return std::nullopt;
  std::vector<SpatialPoint> points(count);
  for (SpatialPoint& p : points) {
    double first = 0, second = 0;
    if (!r.Double(first) || !r.Double(second)) return std::nullopt;
    p.x = geography ? second : first;
    p.y = geography ? first : second;
  }
  if (props & kHasZ)
    for (SpatialPoint& p : points)
      if (!r.Double(p.z)) return std::nullopt;
  if (props & kHasM)
    for (SpatialPoint& p : points)
      if (!r.Double(p.m)) return std::nullopt;
  if (singlePoint || singleLine) {
    value.shape.type = singlePoint ? SpatialShape::Point : SpatialShape::LineString;
    value.shape.figures.push_back(points);
    return value;
  }
  uint32_t figureCount = 0, shapeCount = 0;
  if (!r.Count(figureCount, 5)) return std::nullopt;
  std::vector<uint32_t> figureStart(figureCount);
  for (uint32_t& start : figureStart) {
    uint8_t attribute = 0;
    if (!r.Byte(attribute) || !r.Int(start) || start > count) return std::nullopt;
    if (version == 2 && attribute > 1) return std::nullopt;  // arcs: not read here
  }
  if (!r.Count(shapeCount, 9) || shapeCount == 0) return std::nullopt;
  std::vector<ShapeRecord> records(shapeCount);
  for (ShapeRecord& s : records) {
    uint32_t parent = 0, offset = 0;
    if (!r.Int(parent) || !r.Int(offset) || !r.Byte(s.type)) return std::nullopt;
    s.parent = static_cast<int32_t>(parent);
    s.figureOffset = static_cast<int32_t>(offset);
    if (s.type < SpatialShape::Point || s.type > SpatialShape::GeometryCollection) return std::nullopt;
    if (s.figureOffset < -1 || s.figureOffset > static_cast<int32_t>(figureCount)) return std::nullopt;
  }
  // Each shape's figures run to where the next shape with figures starts.
  std::vector<SpatialShape> shapes(shapeCount);
  for (uint32_t i = 0; i < shapeCount; ++i) {
    shapes[i].type = static_cast<SpatialShape::Type>(records[i].type);
    const bool leaf = records[i].type <= SpatialShape::Polygon;
    if (!leaf || records[i].figureOffset < 0) continue;
    uint32_t end = figureCount;
    for (uint32_t j = i + 1; j < shapeCount; ++j)
      if (records[j].figureOffset >= 0) {
        end = static_cast<uint32_t>(records[j].figureOffset);
        break;
      }
    if (end < static_cast<uint32_t>(records[i].figureOffset)) return std::nullopt;
    for (uint32_t f = static_cast<uint32_t>(records[i].figureOffset); f < end; ++f) {
      const uint32_t from = figureStart[f], to = f + 1 < figureCount ? figureStart[f + 1] : count;
      if (to < from) return std::nullopt;
      shapes[i].figures.emplace_back(points.begin() + from, points.begin() + to);
    }
    // A point is one point; a line string one figure.
    if (shapes[i].type == SpatialShape::Point &&
        (shapes[i].figures.size() > 1 || (shapes[i].figures.size() == 1 && shapes[i].figures[0].size() != 1)))
      return std::nullopt;
    if (shapes[i].type == SpatialShape::LineString && shapes[i].figures.size() > 1) return std::nullopt;
  }
  // Members join their parents, last first so that each is complete when moved.
  for (uint32_t i = shapeCount; i-- > 1;) {
    const int32_t parent = records[i].parent;
    if (parent < 0 || parent >= static_cast<int32_t>(i)) return std::nullopt;
    // Only the multi shapes (of their one kind) and collections have members.
    const uint8_t parentType = records[static_cast<size_t>(parent)].type;
    if (parentType <= SpatialShape::Polygon ||
        (parentType != SpatialShape::GeometryCollection && records[i].type != parentType - 3))
      return std::nullopt;
    auto& members = shapes[static_cast<size_t>(parent)].members;
    members.insert(members.begin(), std::move(shapes[i]));
  }
  if (records[0].parent != -1) return std::nullopt;
  value.shape = std::move(shapes[0]);
  return value;
}

std::optional<std::vector<uint8_t>> SerializeWkt(bool geography, std::string_view wkt, int32_t srid,
                                                 std::string& error) {
  auto shape = ParseWkt(wkt, error);
  if (!shape) return std::nullopt;
  SpatialValue value;
  value.srid = srid;
  value.shape = std::move(*shape);
  return Serialize(geography, value, error);
}

bool IsSerializedSpatial(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 6 && (bytes[4] == 1 || bytes[4] == 2);
}

}  // namespace standin
