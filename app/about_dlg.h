// The About box (template 100): icon, "Kestrin1 Version 1.0", a second line and OK.
#pragma once

#include <wx/dialog.h>

namespace talvoro::app {

class CAboutDlg : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent = nullptr);
};

}  // namespace talvoro::app
