// The painters of the pages and message dialogs: a gradient over the window,
// text strips rendered off-screen and copied in one piece, and black frame lines.
#pragma once

#include <span>

#include <wx/dc.h>
#include <wx/icon.h>
#include <wx/window.h>

#include "page_decoration.h"

namespace talvoro::pages {

// The height the gradient is computed over: the window's outer height. A window
// without decoration (no window manager) reports its client height as its outer
// height; it gets the height of a classic caption and border added so that its
// bands come out as on a decorated desktop.
int GradientWindowHeight(const wxWindow& window);

// Fills the client area with the colour bands of `rule`, built off-screen and
// copied in one operation.
void PaintGradientBackground(wxDC& dc, const wxWindow& window, GradientRule rule);

// Renders one strip off-screen (filled with its background, text top-left) and
// copies its first `copiedWidth` columns to the strip's position.
void PaintTextStrip(wxDC& dc, const TextStrip& strip);

// Sets exactly the pixels a line from the first point to the second sets,
// the second point itself excluded. Only horizontal and vertical lines occur.
void PaintFrameLine(wxDC& dc, const FrameLine& line);

// The whole paint of a page: its icon when minimised, otherwise the gradient,
// the strips and the frame lines, in that order.
void PaintPage(wxWindow& page, const wxIcon& icon, std::span<const TextStrip> strips,
               std::span<const FrameLine> lines);

// The whole paint of a message dialog: gradient and its one strip.
// The strip's text alone, straight onto `dc` (what lies beneath shows around the
// letters), cut off where the strip would be.
void PaintStripTextOnly(wxDC& dc, const TextStrip& strip);

void PaintMessageDialog(wxWindow& dialog, const TextStrip& strip);

// The face used for a strip font: the product's face where installed, else the
// closest installed stand-in.
wxString StripFaceName(StripFont font);

// The face for the controls' text ("MS Sans Serif" 8 point or its stand-in).
wxFont ControlFont();

}  // namespace talvoro::pages
