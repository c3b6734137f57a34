// The desktop's file and folder choosers behind a replaceable interface, so tests
// can answer them without driving GTK's dialogs.
#pragma once

#include <optional>
#include <string>

#include <wx/window.h>

namespace talvoro::pages {

struct FolderChoice {
  enum class Outcome { Chosen, Cancelled, NotAFileSystemFolder };
  Outcome outcome = Outcome::Cancelled;
  std::string path;  // with Chosen
};

class PathChoosers {
 public:
  virtual ~PathChoosers() = default;
  // The open-file dialog for a .mdf file, opening at `startFolder`; nullopt when
  // cancelled.
  virtual std::optional<std::string> ChooseMdfFile(wxWindow* owner,
                                                   const std::string& startFolder) = 0;
  // Opens at `startFolder` (an existing folder); a folder path typed into the
  // chooser counts as chosen.
  virtual FolderChoice ChooseFolder(wxWindow* owner, const std::string& title,
                                    const std::string& startFolder) = 0;
};

// Installs `choosers` (not owned); nullptr brings back the desktop's dialogs.
void SetPathChoosers(PathChoosers* choosers);
PathChoosers& CurrentPathChoosers();

}  // namespace talvoro::pages
