#include "app/shell_actions.h"

#include <filesystem>
#include <system_error>

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>
#include <wx/window.h>

#include "app/url_opener.h"
#include "pages/message_boxes.h"

namespace talvoro::app {
namespace {

class DesktopLauncher : public ShellLauncher {
 public:
  bool OpenUrl(const std::string& url) override {
    wxBusyCursor busy;
    return StartBrowser(url);
  }
};

DesktopLauncher g_desktopLauncher;
ShellLauncher* g_launcher = &g_desktopLauncher;

// A failed launch is said, with what the user can open by hand.
void Open(const std::string& url) {
  if (g_launcher->OpenUrl(url)) return;
  pages::ShowApplicationMessage(wxGetActiveWindow(), wxString::FromUTF8(ManualOpenMessage(url)));
}

}  // namespace

void SetShellLauncher(ShellLauncher* launcher) {
  g_launcher = launcher ? launcher : &g_desktopLauncher;
}

void OpenMakerWebPage() { Open(kMakerWebPage); }

void OpenHelpFile() { Open(HelpFileUrl()); }

std::string HelpFileUrl() {
  namespace fs = std::filesystem;
  const fs::path exeDir =
      fs::path(wxStandardPaths::Get().GetExecutablePath().utf8_string()).parent_path();
  const fs::path candidates[] = {
      exeDir / "help" / "index.html",
      exeDir / ".." / "share" / "talvoro" / "help" / "index.html",
      fs::path(TALVORO_HELP_DIR) / "index.html",
  };
  std::error_code ec;
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, ec))
      return wxFileName::FileNameToURL(wxString::FromUTF8(fs::weakly_canonical(candidate, ec).string()))
          .utf8_string();
  }
  return wxFileName::FileNameToURL(wxString::FromUTF8(candidates[2].string())).utf8_string();
}

}  // namespace talvoro::app
