// The two small painted message dialogs of the second page.
#pragma once

#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

namespace talvoro::pages {

// "Please Select a Table" (template 147), with an OK button (IDC_MSG_OK).
class CSelectTableMsgDlg : public wxDialog {
 public:
  explicit CSelectTableMsgDlg(wxWindow* parent = nullptr);

 private:
  wxIcon icon_;
};

// The completion dialog (template 154). Without failures it reads "Database
// Conversion Compleated Successfully"; with `failures` (one line per table that
// was not converted, with the reason) it says so and lists them instead. The
// conversion's `notes` (what the Access file holds differently) are listed under
// the text, after the failures.
class CDoneMsgDlg : public wxDialog {
 public:
  explicit CDoneMsgDlg(wxWindow* parent = nullptr, const std::string& failures = {},
                       const std::string& notes = {});

  bool ReportsFailures() const { return !failures_.empty(); }

 private:
  std::string failures_;
};

}  // namespace talvoro::pages
