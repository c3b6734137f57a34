#include "pages/page_decoration.h"

#include <gtest/gtest.h>

#include "pages/dialog_units.h"

namespace talvoro::pages {
namespace {

TEST(Gradient, PageOf540RowsHas135BandsFallingInBlue) {
  const std::vector<Rgb> rows = GradientRowColours(540, GradientRule::Page);
  ASSERT_EQ(rows.size(), 540u);
  for (int k = 0; k < 135; ++k)
    for (int row = 4 * k; row < 4 * k + 4; ++row)
      ASSERT_EQ(rows[row], (Rgb{240, 240, static_cast<std::uint8_t>(239 - k)})) << row;
}

TEST(Gradient, TallPagesAreFlatAndMessagesFallPerRow) {
  for (int height : {608, 700})
    for (const Rgb& c : GradientRowColours(height, GradientRule::Page))
      ASSERT_EQ(c, (Rgb{240, 240, 240}));
  const std::vector<Rgb> message = GradientRowColours(130, GradientRule::Message);
  ASSERT_EQ(message.size(), 130u);
  EXPECT_EQ(message.front(), (Rgb{240, 240, 239}));
  EXPECT_EQ(message.back(), (Rgb{240, 240, 110}));
  // Under 304 rows the steps grow; the channels wrap in their low 8 bits.
  const std::vector<Rgb> small = GradientRowColours(200, GradientRule::Page);
  EXPECT_EQ(small[0], (Rgb{239, 240, 237}));  // q = 50: steps 1, 0, 3
  EXPECT_EQ(small[199], (Rgb{190, 240, 90}));
  EXPECT_TRUE(GradientRowColours(0, GradientRule::Page).empty());
  EXPECT_EQ(GradientRowColours(3, GradientRule::Page).size(), 3u);
}

TEST(Decoration, StripsAndLinesOfThePages) {
  ASSERT_EQ(ConnectionPageStrips().size(), 8u);
  ASSERT_EQ(ConvertPageStrips().size(), 5u);
  EXPECT_EQ(ConnectionPageStrips()[0].text, "Talvoro SQL Server to MS Access Database Converter");
  EXPECT_EQ(ConvertPageStrips()[3].text, "Table Wise");
  EXPECT_EQ(ConvertPageStrips()[3].y, 325);
  // "Table Wise" sits beside the radio button at vertical unit 201.
  EXPECT_NEAR(ConvertPageStrips()[3].y, DluToPixelsY(201), 2);
  EXPECT_EQ(ConnectionPageLines().size(), 10u);
  EXPECT_EQ(ConvertPageLines().size(), 10u);
  EXPECT_EQ(DoneMessageStrip().copiedWidth, 270);
  EXPECT_EQ(SelectTableMessageStrip().copiedWidth, SelectTableMessageStrip().stripWidth);
}

TEST(DialogUnits, ConvertAtOneAndAHalfByOnePointSixTwoFive) {
  EXPECT_EQ(DluRect(147, 199, 229, 14), (PixelRect{221, 323, 344, 23}));
  EXPECT_EQ(DluRect(71, 201, 8, 8), (PixelRect{107, 327, 12, 13}));
  EXPECT_EQ(DluToPixelsX(119), 179);
  EXPECT_EQ(DluToPixelsY(52), 85);
}

}  // namespace
}  // namespace talvoro::pages
