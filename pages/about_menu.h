// Desktops on Linux give a program no access to its window menu, so the About
// item ("&About Kestrin1...") sits in the window's context menu instead (right
// click on the window's background, or the menu key).
#pragma once

#include <wx/dialog.h>

namespace talvoro::pages {

// Adds the About item to `dialog`'s context menu; choosing it runs the About box
// modally over the dialog.
void AddAboutItemToContextMenu(wxDialog& dialog);

}  // namespace talvoro::pages
