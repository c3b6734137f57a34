// The wizard's bitmaps, icon and strings. They are drawn in code at start-up rather
// than shipped as image files, so the look does not depend on files found at run time.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/string.h>

namespace talvoro::res {

// A button bitmap by its identifier (IDB_*); an invalid bitmap for unknown ids.
wxBitmap LoadBitmapResource(int id);

// Icon 128 at the given square size (32 for the window icon, 16 for the small one).
wxIcon LoadApplicationIcon(int size = 32);

// String resources by identifier; empty for unknown ids.
wxString LoadStringResource(int id);

}  // namespace talvoro::res
