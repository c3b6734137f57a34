// The pages are laid out in the product's dialog units, converted at 1.5 pixels per
// horizontal unit and 1.625 per vertical unit (8-point "MS Sans Serif" at 96 dpi),
// rounded to the nearest pixel. The toolkit's own dialog units follow the desktop
// font and would move the controls away from the painted captions.
#pragma once

namespace talvoro::pages {

struct PixelRect {
  int x, y, width, height;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

constexpr int DluToPixelsX(int units) { return (units * 3 + 1) / 2; }
constexpr int DluToPixelsY(int units) { return (units * 13 + 4) / 8; }

constexpr PixelRect DluRect(int x, int y, int width, int height) {
  return {DluToPixelsX(x), DluToPixelsY(y), DluToPixelsX(width), DluToPixelsY(height)};
}

// The client area of both pages: 464 x 318 units.
inline constexpr int kPageClientWidth = DluToPixelsX(464);
inline constexpr int kPageClientHeight = DluToPixelsY(318);
static_assert(kPageClientWidth == 696 && kPageClientHeight == 517);

}  // namespace talvoro::pages
