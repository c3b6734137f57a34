// The second page: the source tables in the left list, the tables to convert in
// the right one, moved table by table or all at once, and Convert, which runs the
// conversion on the page with a status line and a progress bar.
#pragma once

#include <vector>
#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

#include "odbc/source_tables.h"
#include "pages/page_logic.h"

class wxListBox;
class wxRadioButton;
class wxTextCtrl;

namespace talvoro::pages {

class BitmapButton;
class ProgressStrip;

// The status line when the source database holds no user tables.
extern const char kNoTablesMessage[];

class CConvertDlg : public wxDialog {
 public:
  explicit CConvertDlg(wxWindow* parent = nullptr);

  PageExit exit() const { return exit_; }
  bool converting() const { return converting_; }

  // Fills the left list with the user tables of the source database.
  void ListSourceTables();
  void OnAdd();
  void OnRemove();
  void OnConvert();
  void OnOK();      // "prev" and Enter
  void OnCancel();  // Escape and the close box

  // The run's status line and progress bar, created on first use.
  void ShowStatus(const std::string& text);
  void ShowProgress(int position);
  wxTextCtrl* statusLine() const { return status_; }
  ProgressStrip* progressBar() const { return progress_; }

 private:
  void OnPaint(wxPaintEvent&);
  void OnCharHook(wxKeyEvent&);
  void OnClose(wxCloseEvent&);
  void MoveBetween(wxListBox& from, wxListBox& to);

  wxIcon icon_;
  wxListBox* tableList_ = nullptr;
  wxListBox* selectedList_ = nullptr;
  wxRadioButton* tableWise_ = nullptr;
  wxRadioButton* wholeDatabase_ = nullptr;
  BitmapButton* buy_ = nullptr;
  BitmapButton* prev_ = nullptr;
  BitmapButton* remove_ = nullptr;
  BitmapButton* add_ = nullptr;
  BitmapButton* convert_ = nullptr;
  wxTextCtrl* status_ = nullptr;
  ProgressStrip* progress_ = nullptr;
  bool converting_ = false;
  PageExit exit_ = PageExit::Cancel;
  // The listed tables; the lists show their Display() names.
  odbc::SourceTableList sourceTables_;
};

}  // namespace talvoro::pages
