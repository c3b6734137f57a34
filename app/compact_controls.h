// GTK's default theme pads entries, list rows and radio buttons for a finger-sized
// desktop; the pages place their controls at fixed pixel sizes taken from an 8-point
// dialog font. A screen-wide style sheet brings the padding down so text fits.
#pragma once

namespace talvoro::app {

// Safe to call more than once; does nothing where GTK is not the toolkit.
void ApplyCompactControlMetrics();

}  // namespace talvoro::app
