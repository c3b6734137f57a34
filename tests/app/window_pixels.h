// Reads what a window shows: the toolkit renders the window with all its children
// into an off-screen image, the same drawing that reaches the screen, without
// depending on when the X server gets to show it.
#pragma once

#include <wx/image.h>
#include <wx/window.h>

namespace talvoro::test {

// The window's client area as an RGB image; an invalid image if rendering failed.
wxImage RenderWindow(wxWindow& window);

}  // namespace talvoro::test
