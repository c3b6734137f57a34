#include "page_decoration.h"

#include <array>

namespace talvoro::pages {

std::vector<Rgb> GradientRowColours(int outerHeight, GradientRule rule) {
  std::vector<Rgb> rows;
  if (outerHeight <= 0) return rows;
  rows.reserve(static_cast<std::size_t>(outerHeight));
  const int divisor = rule == GradientRule::Page ? outerHeight / 4 : outerHeight;
  const int band = rule == GradientRule::Page ? 4 : 1;
  // A window under 4 rows high has no quarter to divide by; it stays flat.
  const int dr = divisor > 0 ? 85 / divisor : 0;
  const int dg = divisor > 0 ? -35 / divisor : 0;
  const int db = divisor > 0 ? 151 / divisor : 0;
  int r = 240, g = 240, b = 240;
  for (int y = 0; y < outerHeight; y += band) {
    r -= dr;
    g -= dg;
    b -= db;
    const Rgb colour{static_cast<std::uint8_t>(r & 0xFF), static_cast<std::uint8_t>(g & 0xFF),
                     static_cast<std::uint8_t>(b & 0xFF)};
    for (int row = y; row < y + band && row < outerHeight; ++row) rows.push_back(colour);
  }
  return rows;
}

namespace {

constexpr Rgb kBlack{0, 0, 0};

constexpr TextStrip Title() {
  return {"Talvoro SQL Server to MS Access Database Converter", StripFont::Title, 33, true,
          620, 33, Rgb{0, 128, 64}, Rgb{240, 240, 218}, 40, 70, 620};
}

constexpr TextStrip Caption(std::string_view text, int width, std::uint8_t blue, int x, int y) {
  return {text, StripFont::Caption, 13, false, width, 13, kBlack, Rgb{240, 240, blue}, x, y, width};
}

constexpr std::array kConnectionStrips{
    Title(),
    Caption("Login Name", 67, 162, 270, 265),
    Caption("Server Name", 76, 181, 270, 170),
    Caption("Password", 54, 153, 270, 290),
    Caption("MSSQL Server Database (Source)", 195, 201, 68, 128),
    Caption("MS Access Database (Destination)", 195, 142, 100, 380),
    Caption("SQL Server Authentication", 150, 171, 370, 230),
    Caption("Window Authentication", 128, 179, 370, 210),
};

constexpr std::array kConvertStrips{
    Title(),
    Caption("MSSQL Server Database (Source)", 195, 201, 68, 148),
    Caption("MS Access Database (Destination)", 195, 201, 416, 148),
    Caption("Table Wise", 62, 156, 125, 325),
    Caption("Whole Database", 93, 151, 125, 345),
};

constexpr std::array kConnectionLines{
    FrameLine{49, 354, 620, 354}, FrameLine{49, 354, 49, 135},   FrameLine{620, 354, 620, 135},
    FrameLine{265, 135, 620, 135}, FrameLine{49, 135, 67, 135},  FrameLine{49, 450, 620, 450},
    FrameLine{620, 450, 620, 390}, FrameLine{49, 450, 49, 390},  FrameLine{300, 390, 620, 390},
    FrameLine{49, 390, 99, 390},
};

constexpr std::array kConvertLines{
    FrameLine{47, 374, 310, 374},  FrameLine{47, 374, 47, 155},   FrameLine{310, 374, 310, 155},
    FrameLine{264, 155, 311, 155}, FrameLine{47, 155, 66, 155},   FrameLine{395, 374, 650, 374},
    FrameLine{650, 374, 650, 155}, FrameLine{395, 155, 395, 374}, FrameLine{614, 155, 651, 155},
    FrameLine{396, 155, 415, 155},
};

constexpr TextStrip kSelectTableStrip{"Please Select a Table", StripFont::Message, 13, false,
                                      122, 13, Rgb{0, 64, 128}, Rgb{240, 240, 212}, 10, 20, 122};
constexpr TextStrip kDoneStrip{"Database Conversion Compleated Successfully", StripFont::Message,
                               13, false, 300, 13, Rgb{0, 64, 128}, Rgb{240, 240, 212}, 10, 20,
                               270};

}  // namespace

std::span<const TextStrip> ConnectionPageStrips() { return kConnectionStrips; }
std::span<const TextStrip> ConvertPageStrips() { return kConvertStrips; }
std::span<const FrameLine> ConnectionPageLines() { return kConnectionLines; }
std::span<const FrameLine> ConvertPageLines() { return kConvertLines; }
const TextStrip& SelectTableMessageStrip() { return kSelectTableStrip; }
const TextStrip& DoneMessageStrip() { return kDoneStrip; }

}  // namespace talvoro::pages
