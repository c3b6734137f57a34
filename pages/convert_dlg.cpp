#include "pages/convert_dlg.h"

#include <algorithm>
#include <memory>

#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "app/shell_actions.h"
#include "engine/conversion_run.h"
#include "engine/conversion_settings.h"
#include "odbc/data_sources.h"
#include "odbc/source_tables.h"
#include "pages/about_menu.h"
#include "pages/bitmap_button.h"
#include "pages/dialog_units.h"
#include "pages/input_blocker.h"
#include "pages/message_boxes.h"
#include "pages/message_dialogs.h"
#include "pages/page_painting.h"
#include "pages/progress_strip.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace talvoro::pages {

using namespace talvoro::res;

namespace {

constexpr char kCaption[] = "Talvoro Database Converter (SQL Server To MS Access)";

wxPoint Pos(const PixelRect& r) { return {r.x, r.y}; }
wxSize Size(const PixelRect& r) { return {r.width, r.height}; }

BitmapButton* MakeButton(wxWindow* parent, int id, const char* label, const PixelRect& r) {
  return new BitmapButton(parent, id, label, Pos(r), Size(r));
}

wxListBox* MakeList(wxWindow* parent, int id, const PixelRect& r) {
  auto* list = new wxListBox(parent, id, Pos(r), Size(r), 0, nullptr,
                             wxLB_SINGLE | wxLB_NEEDED_SB);
  list->SetMinSize(Size(r));
  return list;
}

// The text of the completion dialog's failure list, or empty when all went well.
std::string FailureList(const engine::ConversionResult& result) {
  if (result.AllConverted() && result.destinationProblem.empty()) return {};
  std::string text = engine::CompletionText(result);
  if (!result.destinationProblem.empty() &&
      text.find(result.destinationProblem) == std::string::npos)
    text = result.destinationProblem + "\n" + text;
  return text;
}

}  // namespace

const char kNoTablesMessage[] = "This database holds no tables to convert.";

// Shows the run on the page: status line and progress bar appear with the first
// report, the page keeps painting, and the completion dialog ends the run.
class ConvertPageObserver : public engine::ConversionObserver {
 public:
  explicit ConvertPageObserver(CConvertDlg& page)
      : page_(page), blocker_(std::make_unique<InputBlocker>(page)) {}

  void OnStatusText(const std::string& text) override {
    page_.ShowStatus(text);
    Turn();
  }
  void OnProgressRange(int, int) override { page_.ShowProgress(progress_.position()); }
  void OnRepaint() override {
    page_.Update();
    Turn();
  }
  void OnTableStarted(std::size_t index, std::size_t count, const std::string&) override {
    progress_.TableStarted(index, count);
    page_.ShowProgress(progress_.position());
  }
  void OnTableRowCount(const std::string&, std::uint64_t rows) override {
    progress_.RowCountKnown(rows);
  }
  void OnRowsCopied(const std::string&, std::uint64_t rows) override {
    progress_.RowsCopied(rows);
    page_.ShowProgress(progress_.position());
    Turn();
  }
  void OnTableFinished(const engine::TableOutcome&) override {
    progress_.TableFinished();
    page_.ShowProgress(progress_.position());
    Turn();
  }
  void OnDataSourceFailure(const std::string& message) override {
    ShowApplicationMessage(&page_, wxString::FromUTF8(message));
  }
  void OnConversionFinished(const engine::ConversionResult& result) override {
    progress_.RunFinished();
    page_.ShowProgress(progress_.position());
    page_.Update();
    blocker_.reset();  // the user acts again at the completion dialog
    CDoneMsgDlg done(&page_, FailureList(result), engine::ConversionNotesText(result));
    done.ShowModal();
    blocker_ = std::make_unique<InputBlocker>(page_);
  }

 private:
  void Turn() {
    if (blocker_) blocker_->KeepPainting();
  }

  CConvertDlg& page_;
  std::unique_ptr<InputBlocker> blocker_;
  RunProgress progress_;
};

CConvertDlg::CConvertDlg(wxWindow* parent) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, IDD_CONVERT, kCaption, wxDefaultPosition, wxDefaultSize,
         wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX);
  SetFont(ControlFont());
  SetClientSize(kPageClientWidth, kPageClientHeight);
  icon_ = LoadApplicationIcon(32);

  tableList_ = MakeList(this, IDC_TABLE_LIST, DluRect(60, 108, 135, 85));
  selectedList_ = MakeList(this, IDC_SELECTED_LIST, DluRect(285, 108, 135, 85));
  add_ = MakeButton(this, IDC_ADD, "add", DluRect(221, 121, 28, 22));
  remove_ = MakeButton(this, IDC_REMOVE, "rem", DluRect(224, 167, 25, 21));
  const PixelRect tableWiseRect = DluRect(71, 201, 8, 8);
  const PixelRect wholeRect = DluRect(71, 213, 8, 8);
  tableWise_ = new wxRadioButton(this, IDC_TABLE_WISE, wxEmptyString, Pos(tableWiseRect),
                                 Size(tableWiseRect), wxRB_GROUP);
  tableWise_->SetName("Table Wise");
  wholeDatabase_ = new wxRadioButton(this, IDC_WHOLE_DATABASE, wxEmptyString, Pos(wholeRect),
                                     Size(wholeRect));
  wholeDatabase_->SetName("Whole Database");
  convert_ = MakeButton(this, IDC_CONVERT, "Convert", DluRect(345, 285, 58, 16));
  prev_ = MakeButton(this, IDC_PREV, "prev", DluRect(267, 285, 57, 16));
  buy_ = MakeButton(this, IDC_BUY, "buy", DluRect(359, 26, 59, 20));

  AddAboutItemToContextMenu(*this);
  wxIconBundle icons;
  icons.AddIcon(LoadApplicationIcon(32));
  icons.AddIcon(LoadApplicationIcon(16));
  SetIcons(icons);
  tableWise_->SetValue(true);

  buy_->LoadBitmaps(IDB_BUY, IDB_BUY_DOWN);
  convert_->LoadBitmaps(IDB_CONVERT, IDB_CONVERT_DOWN);
  add_->LoadBitmaps(IDB_ADD, IDB_ADD_DOWN);
  remove_->LoadBitmaps(IDB_REMOVE, IDB_REMOVE_DOWN);
  prev_->LoadBitmaps(IDB_PREV, IDB_PREV_DOWN);

  Bind(wxEVT_PAINT, &CConvertDlg::OnPaint, this);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnConvert(); }, IDC_CONVERT);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnAdd(); }, IDC_ADD);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnRemove(); }, IDC_REMOVE);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, IDC_PREV);
  Bind(wxEVT_BUTTON, [](wxCommandEvent&) { app::OpenMakerWebPage(); }, IDC_BUY);
  Bind(wxEVT_CHAR_HOOK, &CConvertDlg::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &CConvertDlg::OnClose, this);

  odbc::RegisterSourceDsn(engine::g_strDatabaseName, odbc::kSourceDsn,
                          engine::g_conversionSettings.serverName,
                          engine::g_conversionSettings.encryption);
  ListSourceTables();
  tableList_->SetFocus();
  Centre();
}

void CConvertDlg::ListSourceTables() {
  wxBusyCursor busy;
  sourceTables_ = odbc::ListSourceTables(engine::g_conversionSettings.logon());
  for (const std::string& name : sourceTables_.names) tableList_->Append(wxString::FromUTF8(name));
  if (sourceTables_.error.empty() && sourceTables_.names.empty()) ShowStatus(kNoTablesMessage);
}

void CConvertDlg::OnPaint(wxPaintEvent&) {
  PaintPage(*this, icon_, ConvertPageStrips(), ConvertPageLines());
}

void CConvertDlg::MoveBetween(wxListBox& from, wxListBox& to) {
  const SelectionMode mode =
      tableWise_->GetValue() ? SelectionMode::TableWise : SelectionMode::WholeDatabase;
  const int selection = from.GetSelection();
  const std::optional<std::size_t> selected =
      selection == wxNOT_FOUND ? std::nullopt : std::optional<std::size_t>(selection);
  const MovePlan plan = PlanMove(mode, from.GetCount(), selected);
  if (plan.result == MoveResult::NeedsSelection) {
    CSelectTableMsgDlg message(this);
    message.ShowModal();
    return;
  }
  // Names of any length travel whole; the destination keeps its own selection.
  for (std::size_t index : plan.indices) to.Append(from.GetString(static_cast<unsigned>(index)));
  for (auto it = plan.indices.rbegin(); it != plan.indices.rend(); ++it)
    from.Delete(static_cast<unsigned>(*it));
  from.SetSelection(wxNOT_FOUND);
}

void CConvertDlg::OnAdd() { MoveBetween(*tableList_, *selectedList_); }

void CConvertDlg::OnRemove() { MoveBetween(*selectedList_, *tableList_); }

void CConvertDlg::ShowStatus(const std::string& text) {
  if (!status_) {
    status_ = new wxTextCtrl(this, IDC_CONVERT_STATUS, wxEmptyString, wxPoint(40, 400),
                             wxSize(460, 18),
                             wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxTE_NO_VSCROLL |
                                 wxBORDER_NONE);
    status_->SetMinSize(wxSize(460, 18));
    status_->SetBackgroundColour(wxColour(240, 240, 142));
  }
  // SetValue (not ChangeValue) so that listeners of the status line hear each text.
  status_->SetValue(wxString::FromUTF8(text));
  status_->Update();
}

void CConvertDlg::ShowProgress(int position) {
  if (!progress_) {
    progress_ = new ProgressStrip(this, IDC_CONVERT_PROGRESS, kProgressHigh - kProgressLow,
                                  wxPoint(40, 420), wxSize(610, 10));
  }
  progress_->SetValue(std::clamp(position, kProgressLow, kProgressHigh) - kProgressLow);
  progress_->Update();
}

void CConvertDlg::OnConvert() {
  if (converting_) return;
  std::vector<odbc::SourceTable> tables;
  for (unsigned i = 0; i < selectedList_->GetCount(); ++i) {
    if (const odbc::SourceTable* t = sourceTables_.Find(selectedList_->GetString(i).utf8_string()))
      tables.push_back(*t);
  }
  if (tables.empty()) {
    CSelectTableMsgDlg message(this);
    message.ShowModal();
    return;
  }
  converting_ = true;
  // Clicks on them are ignored during the run; they also look so.
  prev_->Disable();
  convert_->Disable();
  engine::ConversionResult result;
  {
    ConvertPageObserver observer(*this);
    result = engine::RunConversion(tables, engine::g_conversionSettings, observer);
  }
  converting_ = false;
  prev_->Enable();
  convert_->Enable();
  if (result.emptySelection) {
    CSelectTableMsgDlg message(this);
    message.ShowModal();
    return;
  }
  exit_ = PageExit::Finished;
  EndModal(wxID_OK);
}

void CConvertDlg::OnOK() {
  if (converting_) return;
  exit_ = PageExit::Previous;
  EndModal(wxID_OK);
}

void CConvertDlg::OnCancel() {
  if (converting_) return;
  // The page chain opens the maker's web page for this exit.
  exit_ = PageExit::Cancel;
  EndModal(wxID_OK);
}

void CConvertDlg::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_ESCAPE) return OnCancel();
  if (key == WXK_F1) return app::OpenHelpFile();
  if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
    if (auto* button = dynamic_cast<BitmapButton*>(FindFocus())) return button->Click();
    return OnOK();
  }
  event.Skip();
}

void CConvertDlg::OnClose(wxCloseEvent& event) {
  if (converting_ && event.CanVeto()) {
    event.Veto();
    return;
  }
  OnCancel();
}

}  // namespace talvoro::pages
