#include "types/spatial_wkt.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace standin {
namespace {

constexpr const char* kLabels[] = {"", "POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING",
                                   "MULTIPOLYGON", "GEOMETRYCOLLECTION"};

class WktParser {
 public:
  WktParser(std::string_view text, std::string& error) : s_(text), error_(error) {}

  std::optional<SpatialShape> Parse() {
    SpatialShape shape;
    if (!Tagged(shape)) return std::nullopt;
    Blanks();
    if (at_ != s_.size()) return Fail("24142: Expected end of input at position " + Position() + ". The input has " +
                                      Rest() + ".");
    return shape;
  }

 private:
  std::optional<SpatialShape> Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return std::nullopt;
  }
  bool Failed(std::string message) {
    Fail(std::move(message));
    return false;
  }
  std::string Position() const { return std::to_string(at_); }
  std::string Rest() const {
    const size_t end = s_.find_first_of(" \t\r\n,()", at_ + 1);
    return std::string(s_.substr(at_, end == std::string_view::npos ? std::string_view::npos : end - at_));
  }
  void Blanks() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Accept(char c) {
    Blanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Expect(char c) {
    if (Accept(c)) return true;
    return Failed(std::string("24142: Expected \"") + c + "\" at position " + Position() + ". The input has " +
                  (at_ < s_.size() ? Rest() : std::string("nothing")) + ".");
  }
  std::string Word() {
    Blanks();
    const size_t start = at_;
    while (at_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[at_]))) ++at_;
    return std::string(s_.substr(start, at_ - start));
  }
  // "EMPTY" in place of a body.
  bool Empty() {
    const size_t start = at_;
    if (strcasecmp(Word().c_str(), "EMPTY") == 0) return true;
    at_ = start;
    return false;
  }

  bool Tagged(SpatialShape& shape) {
    Blanks();
    const size_t start = at_;
    const std::string label = Word();
    for (int type = SpatialShape::Point; type <= SpatialShape::GeometryCollection; ++type)
      if (strcasecmp(label.c_str(), kLabels[type]) == 0) {
        shape.type = static_cast<SpatialShape::Type>(type);
        return Empty() || Body(shape);
      }
    at_ = start;
    return Failed("24114: The label " + (label.empty() ? Rest() : label) +
                  " in the input well-known text (WKT) is not valid. Valid labels are POINT, LINESTRING, POLYGON,"
                  " MULTIPOINT, MULTILINESTRING, MULTIPOLYGON, GEOMETRYCOLLECTION, CIRCULARSTRING, COMPOUNDCURVE,"
                  " CURVEPOLYGON and FULLGLOBE (geography Data Type only).");
  }

  bool Body(SpatialShape& shape) {
    switch (shape.type) {
      case SpatialShape::Point: {
        std::vector<SpatialPoint> one(1);
        if (!Expect('(') || !Coordinates(one[0]) || !Expect(')')) return false;
        shape.figures.push_back(std::move(one));
        return true;
      }
      case SpatialShape::LineString: {
        std::vector<SpatialPoint> line;
        if (!Line(line)) return false;
        if (line.size() < 2)
          return Failed("24117: The LineString input is not valid because it does not have enough distinct points."
                        " A LineString must have at least two distinct points.");
        shape.figures.push_back(std::move(line));
        return true;
      }
      case SpatialShape::Polygon:
        if (!Expect('(')) return false;
        do {
          std::vector<SpatialPoint> ring;
          if (!Line(ring) || !CheckRing(ring, shape.figures.size())) return false;
          shape.figures.push_back(std::move(ring));
        } while (Accept(','));
        return Expect(')');
      default:
        return Members(shape);
    }
  }

  // The members of a MULTI... or GEOMETRYCOLLECTION, each EMPTY or a body
  // (MULTIPOINT also takes bare coordinates: "MULTIPOINT (1 2, 3 4)").
  bool Members(SpatialShape& shape) {
    if (!Expect('(')) return false;
    do {
      SpatialShape member;
      if (shape.type == SpatialShape::GeometryCollection) {
        if (!Tagged(member)) return false;
      } else {
        member.type = static_cast<SpatialShape::Type>(shape.type - 3);
        Blanks();
        if (!Empty()) {
          if (member.type == SpatialShape::Point && !(at_ < s_.size() && s_[at_] == '(')) {
            std::vector<SpatialPoint> one(1);
            if (!Coordinates(one[0])) return false;
            member.figures.push_back(std::move(one));
          } else if (!Body(member)) {
            return false;
          }
        }
      }
      shape.members.push_back(std::move(member));
    } while (Accept(','));
    return Expect(')');
  }

  bool Line(std::vector<SpatialPoint>& points) {
    if (!Expect('(')) return false;
    do {
      SpatialPoint p;
      if (!Coordinates(p)) return false;
      points.push_back(p);
    } while (Accept(','));
    return Expect(')');
  }

  bool CheckRing(const std::vector<SpatialPoint>& ring, size_t index) {
    const std::string which = index == 0 ? "the exterior ring" : "the interior ring number " + std::to_string(index);
    if (ring.size() < 4)
      return Failed("24118: The Polygon input is not valid because " + which +
                    " does not have enough points. Each ring of a polygon must contain at least three distinct points.");
    if (ring.front().x != ring.back().x || ring.front().y != ring.back().y)
      return Failed("24119: The Polygon input is not valid because the start and end points of " + which +
                    " are not the same. Each ring of a polygon must have the same start and end points.");
    return true;
  }

  // x y [z [m]], z and m possibly NULL.
  bool Coordinates(SpatialPoint& p) {
    if (!Number(p.x, false) || !Number(p.y, false)) return false;
    Blanks();
    if (at_ < s_.size() && s_[at_] != ',' && s_[at_] != ')') {
      if (!Number(p.z, true)) return false;
      Blanks();
      if (at_ < s_.size() && s_[at_] != ',' && s_[at_] != ')' && !Number(p.m, true)) return false;
    }
    return true;
  }

  bool Number(double& v, bool nullable) {
    Blanks();
    if (nullable && s_.size() - at_ >= 4 && strncasecmp(s_.data() + at_, "NULL", 4) == 0) {
      at_ += 4;
      v = NAN;
      return true;
    }
    const std::string rest(s_.substr(at_, 64));
    char* end = nullptr;
    v = std::strtod(rest.c_str(), &end);
    const size_t used = static_cast<size_t>(end - rest.c_str());
    // strtod also reads "inf", "nan" and hex; well-known text has plain decimals only.
    const bool plain = used > 0 && rest.find_first_not_of("0123456789+-.eE") >= used;
    if (!plain)
      return Failed("24141: A number is expected at position " + Position() + " of the input. The input has " +
                    (at_ < s_.size() ? Rest() : std::string("nothing")) + ".");
    at_ += used;
    return true;
  }

  std::string_view s_;
  std::string& error_;
  size_t at_ = 0;
};

void WritePoint(std::string& out, const SpatialPoint& p, bool zm) {
  out += WktNumber(p.x) + " " + WktNumber(p.y);
  if (!zm || (std::isnan(p.z) && std::isnan(p.m))) return;
  out += " " + (std::isnan(p.z) ? std::string("NULL") : WktNumber(p.z));
  if (!std::isnan(p.m)) out += " " + WktNumber(p.m);
}

void WriteFigure(std::string& out, const std::vector<SpatialPoint>& points, bool zm) {
  out += '(';
  for (size_t i = 0; i < points.size(); ++i) {
    if (i) out += ", ";
    WritePoint(out, points[i], zm);
  }
  out += ')';
}

// The part after the label: "(...)" or "EMPTY".
void WriteBody(std::string& out, const SpatialShape& shape, bool zm) {
  const bool empty = shape.figures.empty() && shape.members.empty();
  if (empty) {
    out += "EMPTY";
    return;
  }
  switch (shape.type) {
    case SpatialShape::Point:
    case SpatialShape::LineString:
      if (shape.figures.empty()) out += "EMPTY";
      else WriteFigure(out, shape.figures[0], zm);
      return;
    case SpatialShape::Polygon:
      out += '(';
      for (size_t i = 0; i < shape.figures.size(); ++i) {
        if (i) out += ", ";
        WriteFigure(out, shape.figures[i], zm);
      }
      out += ')';
      return;
    default:
      out += '(';
      for (size_t i = 0; i < shape.members.size(); ++i) {
        if (i) out += ", ";
        if (shape.type == SpatialShape::GeometryCollection) {
          out += kLabels[shape.members[i].type];
          out += ' ';
        }
        WriteBody(out, shape.members[i], zm);
      }
      out += ')';
  }
}

}  // namespace

std::optional<SpatialShape> ParseWkt(std::string_view text, std::string& error) {
  error.clear();
  return WktParser(text, error).Parse();
}

std::string WriteWkt(const SpatialShape& shape, bool zm) {
  std::string out = kLabels[shape.type];
  out += ' ';
  WriteBody(out, shape, zm);
  return out;
}

std::string WktNumber(double v) {
  if (v == 0) return "0";  // also -0
  char text[40];
  std::snprintf(text, sizeof text, "%.15G", v);
  if (std::strtod(text, nullptr) != v) std::snprintf(text, sizeof text, "%.17G", v);
  return text;
}

}  // namespace standin
