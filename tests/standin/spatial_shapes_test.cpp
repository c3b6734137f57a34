// geography and geometry shapes beyond points, stored and sent in SQL Server's
// serialization (version 1): the header (SRID, version, properties), then the
// points (geography: latitude first), figures (attribute, first point) and
// shapes (parent, first figure, OGC type); a lone point or two-point line in
// the short form. Each value also comes back as text the way SQL Server
// prints it.
#include <gtest/gtest.h>

#include <string>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

// Little-endian doubles.
constexpr const char* k0 = "0000000000000000";
constexpr const char* k1 = "000000000000f03f";
constexpr const char* k2 = "0000000000000040";
constexpr const char* k3 = "0000000000000840";
constexpr const char* k4 = "0000000000001040";

std::string Cat(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

struct ShapeCase {
  const char* type;  // geography or geometry
  const char* wkt;
  std::string bytes;
  const char* text;  // ToString(); STAsText() is the same without z and m
};

TEST(SpatialShapes, WellKnownTextIsStoredAsSqlServerSerializesIt) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  const ShapeCase cases[] = {
      // A point keeps the short form it always had.
      {"geometry", "POINT (3 4)", Cat({"00000000", "01", "0c", k3, k4}), "POINT (3 4)"},
      {"geometry", "POINT (1 2 3 4)", Cat({"00000000", "01", "0f", k1, k2, k3, k4}), "POINT (1 2 3 4)"},
      {"geometry", "POINT EMPTY", Cat({"00000000", "01", "04", "00000000", "00000000", "01000000", "ffffffff", "ffffffff", "01"}),
       "POINT EMPTY"},
      // One segment: the short form with the L flag; geography swaps to latitude first.
      {"geometry", "LINESTRING(1 2, 3 4)", Cat({"00000000", "01", "14", k1, k2, k3, k4}), "LINESTRING (1 2, 3 4)"},
      {"geography", "LINESTRING(1 2, 3 4)", Cat({"e6100000", "01", "14", k2, k1, k4, k3}), "LINESTRING (1 2, 3 4)"},
      {"geometry", "LINESTRING (0 0, 1 1, 2 2)",
       Cat({"00000000", "01", "04", "03000000", k0, k0, k1, k1, k2, k2, "01000000", "01", "00000000", "01000000",
            "ffffffff", "00000000", "02"}),
       "LINESTRING (0 0, 1 1, 2 2)"},
      // Exterior ring (attribute 2), then the hole (attribute 0).
      {"geometry", "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 3 1, 3 2, 1 1))",
       Cat({"00000000", "01", "04", "08000000", k0, k0, k4, k0, k4, k4, k0, k0, k1, k1, k3, k1, k3, k2, k1, k1,
            "02000000", "02", "00000000", "00", "04000000", "01000000", "ffffffff", "00000000", "03"}),
       "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 3 1, 3 2, 1 1))"},
      {"geometry", "MULTIPOINT (1 2, 3 4)",
       Cat({"00000000", "01", "04", "02000000", k1, k2, k3, k4, "02000000", "01", "00000000", "01", "01000000",
            "03000000", "ffffffff", "00000000", "04", "00000000", "00000000", "01", "00000000", "01000000", "01"}),
       "MULTIPOINT ((1 2), (3 4))"},
      {"geography", "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3))",
       Cat({"e6100000", "01", "04", "04000000", k0, k0, k1, k1, k2, k2, k3, k3, "02000000", "01", "00000000", "01",
            "02000000", "03000000", "ffffffff", "00000000", "05", "00000000", "00000000", "02", "00000000",
            "01000000", "02"}),
       "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3))"},
      // A collection's empty member has no figure (-1).
      {"geometry", "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING EMPTY, POINT (3 4))",
       Cat({"00000000", "01", "04", "02000000", k1, k2, k3, k4, "02000000", "01", "00000000", "01", "01000000",
            "04000000", "ffffffff", "00000000", "07", "00000000", "00000000", "01", "00000000", "ffffffff", "02",
            "00000000", "01000000", "01"}),
       "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING EMPTY, POINT (3 4))"},
  };
  OdbcStatement(c).Run("CREATE TABLE ShapeCases (id int PRIMARY KEY, shape geography NULL, plane geometry NULL)");
  int id = 0;
  for (const ShapeCase& sc : cases) {
    const bool geography = std::string(sc.type) == "geography";
    const std::string column = geography ? "shape" : "plane";
    OdbcStatement(c).Run("INSERT INTO ShapeCases (id, " + column + ") VALUES (" + std::to_string(++id) + ", " +
                         sc.type + "::STGeomFromText('" + sc.wkt + "', " + (geography ? "4326" : "0") + "))");
    OdbcStatement s(c);
    ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("SELECT CONVERT(varbinary(max), " + column + "), " + column + ".ToString(), " +
                                        column + ".STAsText() FROM ShapeCases WHERE id = " + std::to_string(id))))
        << sc.wkt << ": " << s.Diagnostics();
    ASSERT_TRUE(s.Fetch()) << sc.wkt;
    EXPECT_EQ(s.Text(1), sc.bytes) << sc.type << " " << sc.wkt;
    EXPECT_EQ(s.Text(2), sc.text) << sc.type << " " << sc.wkt;
    const std::string flat = id == 2 ? "POINT (1 2)" : sc.text;  // STAsText leaves z and m out
    EXPECT_EQ(s.Text(3), flat) << sc.type << " " << sc.wkt;
  }
}

// Numbers print with 15 digits unless that loses the double; Parse and a
// string stored in the column read the same text; wrong text is refused.
TEST(SpatialShapes, TextRoundTripsAndBadTextIsRefused) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  auto scalar = [&](const std::string& sql) {
    OdbcStatement s(c);
    if (!SQL_SUCCEEDED(s.Execute(sql)) || !s.Fetch()) return "error: " + s.Diagnostics();
    return s.Text(1).value_or("NULL");
  };
  EXPECT_EQ(scalar("SELECT geography::Parse('POLYGON((-122.358 47.653, -122.348 47.649, -122.348 47.658,"
                   " -122.358 47.653))').STAsText()"),
            "POLYGON ((-122.358 47.653, -122.348 47.649, -122.348 47.658, -122.358 47.653))");
  EXPECT_EQ(scalar("SELECT geometry::Point(1.0 / 3, 0.1, 0).STAsText()"), "POINT (0.33333333333333331 0.1)");
  EXPECT_EQ(scalar("SELECT geometry::STGeomFromText('MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((2 2, 3 2, 3 3, 2 2)))', 0)"
                   ".STAsText()"),
            "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)), ((2 2, 3 2, 3 3, 2 2)))");
  OdbcStatement(c).Run("CREATE TABLE ShapeTexts (id int PRIMARY KEY, route geography NOT NULL)");
  OdbcStatement(c).Run("INSERT INTO ShapeTexts VALUES (1, 'LINESTRING(-122.36 47.656, -122.343 47.656, -122.34 47.7)')");
  EXPECT_EQ(scalar("SELECT t.route.STAsText() FROM dbo.ShapeTexts t"),
            "LINESTRING (-122.36 47.656, -122.343 47.656, -122.34 47.7)");

  struct Bad {
    const char* wkt;
    const char* number;  // the .NET error inside 6522
  };
  for (const Bad& b : {Bad{"LINESTRING(1 2)", "24117"}, Bad{"POLYGON((0 0, 1 1, 0 0))", "24118"},
                       Bad{"POLYGON((0 0, 1 0, 1 1, 0 1))", "24119"}, Bad{"TRIANGLE(0 0, 1 1)", "24114"},
                       Bad{"POINT(1 x)", "24141"}, Bad{"LINESTRING(0 0, 0 91)", "24201"}}) {
    OdbcStatement s(c);
    ASSERT_EQ(s.Execute(std::string("SELECT geography::STGeomFromText('") + b.wkt + "', 4326)"), SQL_ERROR) << b.wkt;
    const auto records = s.DiagnosticRecords();
    ASSERT_FALSE(records.empty()) << b.wkt;
    EXPECT_EQ(records[0].native, 6522) << b.wkt;
    EXPECT_NE(records[0].text.find(std::string(b.number) + ": "), std::string::npos) << b.wkt << ": " << records[0].text;
  }
}

}  // namespace
}  // namespace standin_test
