// The painted look of the pages and message dialogs as plain data: the colour
// bands of the background, the text strips and the frame lines, at fixed pixel
// positions in the client area. The wx painters draw from these tables.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace talvoro::pages {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Pages fall in bands of 4 rows over a quarter of the window height; message
// dialogs change every row over the whole height.
enum class GradientRule { Page, Message };

// Colour of every row 0..outerHeight-1 of a window whose outer rectangle (caption
// and border included) is outerHeight pixels high.
std::vector<Rgb> GradientRowColours(int outerHeight, GradientRule rule);

enum class StripFont { Title, Caption, Message };

struct TextStrip {
  std::string_view text;
  StripFont font;
  int pixelHeight;     // font cell height in pixels
  bool italic;
  int stripWidth, stripHeight;
  Rgb textColour, background;
  int x, y;            // where the strip lands in the client area
  int copiedWidth;     // columns of the strip copied to the window
};

struct FrameLine {
  int x1, y1, x2, y2;  // drawn from the first point up to, not including, the second
};

std::span<const TextStrip> ConnectionPageStrips();   // title first, then the captions
std::span<const TextStrip> ConvertPageStrips();
std::span<const FrameLine> ConnectionPageLines();
std::span<const FrameLine> ConvertPageLines();
const TextStrip& SelectTableMessageStrip();
const TextStrip& DoneMessageStrip();

}  // namespace talvoro::pages
