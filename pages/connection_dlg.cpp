#include "pages/connection_dlg.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/filefn.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "app/shell_actions.h"
#include "engine/conversion_settings.h"
#include "engine/destination_folder.h"
#include "odbc/login_check.h"
#include "pages/about_menu.h"
#include "pages/bitmap_button.h"
#include "pages/dialog_units.h"
#include "pages/message_boxes.h"
#include "pages/page_painting.h"
#include "pages/path_choosers.h"
#include "pages/source_database.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace talvoro::pages {

using namespace talvoro::res;

namespace {

constexpr char kCaption[] = "Talvoro Database Converter (MSSQL Server To MS Access)";

wxPoint Pos(const PixelRect& r) { return {r.x, r.y}; }
wxSize Size(const PixelRect& r) { return {r.width, r.height}; }

wxTextCtrl* MakeEdit(wxWindow* parent, int id, const PixelRect& r, long style = 0) {
  auto* edit = new wxTextCtrl(parent, id, wxEmptyString, Pos(r), Size(r), style);
  edit->SetMinSize(Size(r));
  return edit;
}

std::string Text(const wxTextCtrl* edit) { return edit->GetValue().utf8_string(); }

std::string Home() { return wxGetHomeDir().utf8_string(); }

// The folder proposed destinations go in (the demo points it at its output folder).
std::string ProposalFolder() {
  const char* preferred = std::getenv("KESTRIN1_DEST_DIR");
  return DestinationFolder(preferred ? preferred : "", Home());
}

}  // namespace

bool ChooseFolder(std::string& path, const std::string& title, wxWindow* owner,
                  const std::string& startFolder) {
  const FolderChoice choice = CurrentPathChoosers().ChooseFolder(owner, title, startFolder);
  switch (choice.outcome) {
    case FolderChoice::Outcome::Chosen:
      path = choice.path;
      return true;
    case FolderChoice::Outcome::Cancelled:
      path.clear();
      return false;
    case FolderChoice::Outcome::NotAFileSystemFolder:
      return false;
  }
  return false;
}

CConnectionDlg::CConnectionDlg(wxWindow* parent) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, IDD_CONNECTION, kCaption, wxDefaultPosition, wxDefaultSize,
         wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX);
  SetFont(ControlFont());
  SetClientSize(kPageClientWidth, kPageClientHeight);
  icon_ = LoadApplicationIcon(32);

  // Template order is the tab order; the radio buttons are no tab stops.
  sourcePath_ = MakeEdit(this, IDC_SOURCE_PATH, DluRect(147, 199, 229, 14));
  destPath_ = MakeEdit(this, IDC_DEST_PATH, DluRect(47, 254, 302, 12));
  browseSource_ = new BitmapButton(this, IDC_BROWSE_SOURCE, "Browse",
                                   Pos(DluRect(59, 196, 59, 16)), Size(DluRect(59, 196, 59, 16)));
  next_ = new BitmapButton(this, IDC_NEXT, "Button2", Pos(DluRect(355, 286, 58, 16)),
                           Size(DluRect(355, 286, 58, 16)));
  serverName_ = MakeEdit(this, IDC_SERVER_NAME, DluRect(234, 102, 142, 14));
  loginName_ = MakeEdit(this, IDC_LOGIN_NAME, DluRect(234, 159, 142, 14));
  // The password is hidden while typed.
  password_ = MakeEdit(this, IDC_PASSWORD, DluRect(234, 179, 142, 14), wxTE_PASSWORD);
  const PixelRect windowsRect = DluRect(233, 129, 8, 8);
  const PixelRect sqlRect = DluRect(233, 143, 8, 8);
  // Only the circles show; the captions beside them are painted.
  authWindows_ = new wxRadioButton(this, IDC_AUTH_WINDOWS, wxEmptyString, Pos(windowsRect),
                                   Size(windowsRect), wxRB_GROUP);
  authWindows_->SetName("Windows Authtication");
  authSql_ = new wxRadioButton(this, IDC_AUTH_SQL, wxEmptyString, Pos(sqlRect), Size(sqlRect));
  authSql_->SetName("SQLServer Authentication");
  // Under the radio buttons' rows, left of them, where the frame is empty.
  encrypt_ = new wxCheckBox(this, IDC_ENCRYPT, "Encrypt connection", Pos(DluRect(40, 127, 120, 12)),
                            Size(DluRect(40, 127, 120, 12)));
  trustCertificate_ =
      new wxCheckBox(this, IDC_TRUST_SERVER_CERTIFICATE, "Trust server certificate",
                     Pos(DluRect(40, 141, 120, 12)), Size(DluRect(40, 141, 120, 12)));
  trustCertificate_->Disable();  // it only matters when the connection is encrypted
  browseDest_ = new BitmapButton(this, IDC_BROWSE_DEST, "Button1", Pos(DluRect(354, 251, 58, 16)),
                                 Size(DluRect(354, 251, 58, 16)));
  buy_ = new BitmapButton(this, IDC_BUY_CONNECTION, "buy", Pos(DluRect(263, 24, 59, 18)),
                          Size(DluRect(263, 24, 59, 18)));
  help_ = new BitmapButton(this, IDC_HELP_BUTTON, "help", Pos(DluRect(372, 24, 61, 17)),
                           Size(DluRect(372, 24, 61, 17)));

  AddAboutItemToContextMenu(*this);
  wxIconBundle icons;
  icons.AddIcon(LoadApplicationIcon(32));
  icons.AddIcon(LoadApplicationIcon(16));
  SetIcons(icons);

  authWindows_->SetValue(true);
  loginName_->Disable();
  password_->Disable();
  serverName_->ChangeValue("localhost");

  next_->LoadBitmaps(IDB_NEXT, IDB_NEXT_DOWN);
  browseSource_->LoadBitmaps(IDB_BROWSE, IDB_BROWSE_DOWN);
  browseDest_->LoadBitmaps(IDB_BROWSE, IDB_BROWSE_DOWN);
  buy_->LoadBitmaps(IDB_BUY, IDB_BUY_DOWN);
  help_->LoadBitmaps(IDB_HELP, IDB_HELP_DOWN);

  Bind(wxEVT_PAINT, &CConnectionDlg::OnPaint, this);
  Bind(wxEVT_BUTTON, &CConnectionDlg::OnBrowseSource, this, IDC_BROWSE_SOURCE);
  Bind(wxEVT_TEXT, &CConnectionDlg::OnSourceTyped, this, IDC_SOURCE_PATH);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, IDC_NEXT);
  Bind(wxEVT_RADIOBUTTON, &CConnectionDlg::OnAuthChanged, this, IDC_AUTH_WINDOWS);
  Bind(wxEVT_RADIOBUTTON, &CConnectionDlg::OnAuthChanged, this, IDC_AUTH_SQL);
  Bind(wxEVT_CHECKBOX, &CConnectionDlg::OnEncryptChanged, this, IDC_ENCRYPT);
  Bind(wxEVT_BUTTON, &CConnectionDlg::OnBrowseDest, this, IDC_BROWSE_DEST);
  Bind(wxEVT_BUTTON, [](wxCommandEvent&) { app::OpenMakerWebPage(); }, IDC_BUY_CONNECTION);
  Bind(wxEVT_BUTTON, [](wxCommandEvent&) { app::OpenHelpFile(); }, IDC_HELP_BUTTON);
  Bind(wxEVT_CHAR_HOOK, &CConnectionDlg::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &CConnectionDlg::OnClose, this);

  sourcePath_->SetFocus();
  Centre();
}

void CConnectionDlg::OnPaint(wxPaintEvent&) {
  PaintPage(*this, icon_, ConnectionPageStrips(), ConnectionPageLines());
}

void CConnectionDlg::OnAuthChanged(wxCommandEvent&) {
  // The fields keep their text while disabled.
  const bool sql = authSql_->GetValue();
  loginName_->Enable(sql);
  password_->Enable(sql);
}

void CConnectionDlg::OnEncryptChanged(wxCommandEvent&) {
  trustCertificate_->Enable(encrypt_->GetValue());
}

void CConnectionDlg::OnBrowseSource(wxCommandEvent&) {
  const char* demoData = std::getenv("KESTRIN1_DATA_DIR");
  const std::string start = MdfChooserStart(Text(sourcePath_), wxGetCwd().utf8_string(),
                                            demoData ? demoData : "", Home());
  const std::optional<std::string> file = CurrentPathChoosers().ChooseMdfFile(this, start);
  if (!file) return;  // cancelled: nothing changes
  sourcePath_->ChangeValue(wxString::FromUTF8(*file));
  const std::string databaseName = DatabaseNameFromMdfPath(*file);
  engine::g_strDatabaseName = databaseName;
  const std::string destination = DefaultDestinationPath(ProposalFolder(), databaseName);
  destPath_->ChangeValue(wxString::FromUTF8(destination));
  proposedDestination_ = destination;
  engine::g_strDestPath = destination;
}

void CConnectionDlg::OnSourceTyped(wxCommandEvent&) {
  const std::optional<std::string> proposal = ProposeDestinationForTypedSource(
      Text(sourcePath_), Text(destPath_), proposedDestination_, ProposalFolder());
  if (!proposal) return;  // the user's own destination stays
  destPath_->ChangeValue(wxString::FromUTF8(*proposal));
  proposedDestination_ = *proposal;
}

void CConnectionDlg::OnBrowseDest(wxCommandEvent&) {
  std::string folder;
  const std::string start =
      FolderChooserStart(Text(destPath_), wxGetCwd().utf8_string(), Home());
  if (!ChooseFolder(folder, "Sample of  getting folder.", this, start) || folder.empty()) return;
  const std::string destination =
      JoinFolderAndFileName(folder, Text(destPath_), SourceDatabaseName(Text(sourcePath_)));
  destPath_->ChangeValue(wxString::FromUTF8(destination));
  engine::g_strDestPath = destination;
}

void CConnectionDlg::OnOK() {
  const std::string source = Text(sourcePath_);
  const std::string destination = Text(destPath_);
  if (std::optional<std::string> problem = CheckNextFields(source, destination)) {
    ShowPageMessage(this, wxString::FromUTF8(*problem), kPageMessageCaption);
    if (!source.empty()) destPath_->SetFocus();
    return;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(destination, ec)) {
    ShowPageMessage(this, "Please Choose a Destination File (a file name ending in .mdb)",
                    kPageMessageCaption);
    destPath_->SetFocus();
    return;
  }
  // The driver creates the file but not its folder: refuse here, not table by table.
  if (std::optional<std::string> problem =
          engine::DestinationFolderProblem(destination, wxGetCwd().utf8_string())) {
    ShowPageMessage(this, wxString::FromUTF8(*problem), kPageMessageCaption);
    destPath_->SetFocus();
    destPath_->SelectAll();
    return;
  }

  engine::g_strLoginName = Text(loginName_);
  engine::g_strPassword = Text(password_);
  const std::string server = Text(serverName_);
  odbc::SourceEncryption encryption;
  encryption.required = encrypt_->GetValue();
  encryption.trustServerCertificate = encryption.required && trustCertificate_->GetValue();
  odbc::LoginCheckResult login;
  {
    wxBusyCursor busy;
    login = odbc::TestSourceLogin(
        authWindows_->GetValue() ? odbc::AuthChoice::Windows : odbc::AuthChoice::SqlServer,
        engine::g_strLoginName, engine::g_strPassword, SourceDatabaseName(source), server,
        engine::g_conversionSettings.sourceTimeoutSeconds, encryption, odbc::MessageSurface::Wizard);
  }
  if (!login.authMode.empty()) engine::g_strAuthMode = login.authMode;
  if (login.serverNameInvalid) {
    ShowPageMessage(this, wxString::FromUTF8(login.message), kPageMessageCaption);
    serverName_->SetFocus();
    return;
  }
  if (login.databaseMissing) {
    ShowPageMessage(this, wxString::FromUTF8(MissingDatabaseMessage(SourceDatabaseName(source))),
                    kPageMessageCaption);
    sourcePath_->SetFocus();
    return;
  }
  if (!login.passed) {
    if (!login.message.empty())
      ShowApplicationMessage(this, wxString::FromUTF8(login.message),
                             wxString::FromUTF8(odbc::LoginFailureDetails(login)));
    if (login.certificateRefused) {
      trustCertificate_->SetFocus();
      return;
    }
    // New typing replaces the refused password instead of adding to it.
    if (password_->IsEnabled()) {
      password_->SetFocus();
      password_->SelectAll();
    }
    return;
  }

  if (!SettleExistingDestination(destination)) {
    destPath_->SetFocus();
    return;
  }

  // The typed fields are what the conversion uses, so the question above and the
  // file written speak of the same file.
  engine::g_strDatabaseName = SourceDatabaseName(source);
  engine::g_strDestPath = destination;
  engine::g_conversionSettings.serverName = server;
  engine::g_conversionSettings.encryption = encryption;
  exit_ = PageExit::Next;
  EndModal(wxID_OK);
}

bool CConnectionDlg::SettleExistingDestination(const std::string& destination) {
  engine::g_conversionSettings.replaceableDestPath.clear();
  std::FILE* file = std::fopen(destination.c_str(), "rb");
  if (!file) return true;  // no such file (or unreadable): nothing to ask
  const wxString question = "File Named " + wxString::FromUTF8(destination) +
                            " is Already Exist.., \n\nDo You Want to Overwrite Database....\n\n "
                            "If No then Please Choose Another Database";
  const int answer = ShowPageMessage(this, question, kCaption, wxYES_NO);
  std::fclose(file);
  if (answer != wxID_YES) return false;
  // Yes only marks the file as replaceable: it stays as it is until a conversion
  // has created its replacement, so leaving by "prev" or closing loses nothing.
  engine::g_conversionSettings.replaceableDestPath = destination;
  return true;
}

void CConnectionDlg::OnCancel() {
  exit_ = PageExit::Cancel;
  if (IsModal()) EndModal(wxID_CANCEL);
}

void CConnectionDlg::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_ESCAPE) {
    OnCancel();
    return;
  }
  if (key == WXK_F1) {
    app::OpenHelpFile();
    return;
  }
  if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
    if (auto* button = dynamic_cast<BitmapButton*>(FindFocus())) {
      button->Click();
    } else {
      OnOK();
    }
    return;
  }
  event.Skip();
}

void CConnectionDlg::OnClose(wxCloseEvent&) { OnCancel(); }

}  // namespace talvoro::pages
