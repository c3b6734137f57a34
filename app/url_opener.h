// Starting the desktop's browser on a URL without a toolkit: `xdg-open URL` (which
// follows $BROWSER and the desktop's choice), waiting briefly to learn whether it
// failed. Used by the wizard's Help and Buy Now, testable without a display.
#pragma once

#include <chrono>
#include <string>

namespace talvoro::app {

// True when the opener ran and succeeded, or is still running after `wait` (a
// browser that stays in the foreground); false when there is no opener or it
// ended in failure.
bool StartBrowser(const std::string& url,
                  std::chrono::milliseconds wait = std::chrono::milliseconds(3000));

// What to tell the user when no browser could be started: the address, or for a
// file:// URL the file's path, to open by hand.
std::string ManualOpenMessage(const std::string& url);

}  // namespace talvoro::app
