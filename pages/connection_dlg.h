// The first page: the source .mdf file, the destination .mdb file and the logon.
// Next checks the fields, tests the logon, settles an existing destination file and
// stores the choices in the conversion settings; the page chain then shows the
// second page.
#pragma once

#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

#include "pages/page_logic.h"

class wxTextCtrl;
class wxRadioButton;
class wxCheckBox;

namespace talvoro::pages {

class BitmapButton;

// The folder chooser as the folder Browse uses it: true with the chosen folder in
// `path`; false when cancelled (`path` emptied) or when the choice is no file
// system folder (`path` unchanged).
// The chooser opens at `startFolder`.
bool ChooseFolder(std::string& path, const std::string& title, wxWindow* owner,
                  const std::string& startFolder);

class CConnectionDlg : public wxDialog {
 public:
  explicit CConnectionDlg(wxWindow* parent = nullptr);

  // How the page ended (Next or Cancel); valid after ShowModal returns.
  PageExit exit() const { return exit_; }

  // The page's operations, also reached by Enter (Next) and Escape / close (Cancel).
  void OnOK();
  void OnCancel();

 private:
  void OnPaint(wxPaintEvent&);
  void OnBrowseSource(wxCommandEvent&);
  void OnBrowseDest(wxCommandEvent&);
  void OnAuthChanged(wxCommandEvent&);
  void OnEncryptChanged(wxCommandEvent&);
  void OnSourceTyped(wxCommandEvent&);
  void OnCharHook(wxKeyEvent&);
  void OnClose(wxCloseEvent&);
  bool SettleExistingDestination(const std::string& destination);

  wxIcon icon_;
  wxTextCtrl* sourcePath_ = nullptr;
  wxTextCtrl* destPath_ = nullptr;
  wxTextCtrl* serverName_ = nullptr;
  wxTextCtrl* loginName_ = nullptr;
  wxTextCtrl* password_ = nullptr;
  wxRadioButton* authWindows_ = nullptr;
  wxRadioButton* authSql_ = nullptr;
  wxCheckBox* encrypt_ = nullptr;
  wxCheckBox* trustCertificate_ = nullptr;
  BitmapButton* browseSource_ = nullptr;
  BitmapButton* next_ = nullptr;
  BitmapButton* browseDest_ = nullptr;
  BitmapButton* buy_ = nullptr;
  BitmapButton* help_ = nullptr;
  PageExit exit_ = PageExit::Cancel;
  std::string proposedDestination_;  // what the page itself last put in the destination field
};

}  // namespace talvoro::pages
