// The two things the wizard asks the desktop to open: the maker's web page and the
// product's help. Both go through a replaceable launcher so that tests can record
// the requests instead of starting a browser. When no browser can be started a
// message says so and gives the address or path to open by hand.
#pragma once

#include <string>

namespace talvoro::app {

inline constexpr char kMakerWebPage[] = "https://www.talvoro.example/kestrin1/";

class ShellLauncher {
 public:
  virtual ~ShellLauncher() = default;
  // Opens a URL (a web page, or a file:// URL of a local page); false on failure.
  virtual bool OpenUrl(const std::string& url) = 0;
};

// Installs `launcher` (not owned) for the following requests; nullptr brings back
// the desktop's default browser.
void SetShellLauncher(ShellLauncher* launcher);

void OpenMakerWebPage();
void OpenHelpFile();

// The file:// URL of the help's first page: next to the executable (help/ or
// ../share/talvoro/help/) when installed, else in the source tree.
std::string HelpFileUrl();

}  // namespace talvoro::app
