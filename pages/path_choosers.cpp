#include "pages/path_choosers.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>

namespace talvoro::pages {
namespace {

class DesktopChoosers : public PathChoosers {
 public:
  std::optional<std::string> ChooseMdfFile(wxWindow* owner, const std::string& startFolder) override {
    // GTK matches patterns case-sensitively; list the upper-case form as well.
    wxFileDialog dialog(owner, "Open", wxString::FromUTF8(startFolder), wxEmptyString,
                        "SQL Server (*.mdf)|*.mdf;*.MDF", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return dialog.GetPath().utf8_string();
  }

  FolderChoice ChooseFolder(wxWindow* owner, const std::string& title,
                            const std::string& startFolder) override {
    // Without a start folder GTK opens on "Recent", where typing searches instead
    // of taking a path.
    wxDirDialog dialog(owner, wxString::FromUTF8(title), wxString::FromUTF8(startFolder),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    FolderChoice choice;
    if (dialog.ShowModal() != wxID_OK) return choice;
    choice.path = dialog.GetPath().utf8_string();
    choice.outcome = choice.path.empty() ? FolderChoice::Outcome::NotAFileSystemFolder
                                         : FolderChoice::Outcome::Chosen;
    return choice;
  }
};

DesktopChoosers g_desktopChoosers;
PathChoosers* g_choosers = &g_desktopChoosers;

}  // namespace

void SetPathChoosers(PathChoosers* choosers) { g_choosers = choosers ? choosers : &g_desktopChoosers; }
PathChoosers& CurrentPathChoosers() { return *g_choosers; }

}  // namespace talvoro::pages
