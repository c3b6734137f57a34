#include "pages/message_dialogs.h"

#include <wx/button.h>
#include <wx/textctrl.h>

#include "pages/about_menu.h"
#include "pages/message_boxes.h"
#include "pages/page_logic.h"
#include "pages/dialog_units.h"
#include "pages/page_painting.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace talvoro::pages {

using namespace talvoro::res;

namespace {

constexpr char kCaption[] = "Talvoro Database Converter (MSSQL Server To MS Access)";
constexpr long kStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;

// The strip shown when some tables failed; the painted look stays the same.
constexpr TextStrip kFailedStrip{"Database Conversion Compleated with Errors:",
                                 StripFont::Message, 13, false, 300, 13, Rgb{0, 64, 128},
                                 Rgb{240, 240, 212}, 10, 20, 300};

// Enter accepts and Escape or the close box cancels, as in a message box.
void EndModalOnKeysAndClose(wxDialog& dialog) {
  dialog.Bind(wxEVT_CHAR_HOOK, [&dialog](wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE) return dialog.EndModal(wxID_CANCEL);
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) return dialog.EndModal(wxID_OK);
    event.Skip();
  });
  dialog.Bind(wxEVT_CLOSE_WINDOW, [&dialog](wxCloseEvent&) { dialog.EndModal(wxID_CANCEL); });
}

wxPoint Pos(const PixelRect& r) { return {r.x, r.y}; }
wxSize Size(const PixelRect& r) { return {r.width, r.height}; }

// Both templates have a single child; the default size handler would stretch it
// over the whole dialog, so sizes are left alone.
void KeepChildrenWhereTheyAre(wxDialog& dialog) { dialog.Bind(wxEVT_SIZE, [](wxSizeEvent&) {}); }

}  // namespace

CSelectTableMsgDlg::CSelectTableMsgDlg(wxWindow* parent) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, IDD_SELECT_TABLE_MSG, kCaption, wxDefaultPosition, wxDefaultSize, kStyle);
  SetFont(ControlFont());
  // As wide as the caption needs; a wider window keeps its OK button centred.
  const int width = MessageClientWidth(DluToPixelsX(119), CaptionTextWidth(*this, kCaption));
  SetClientSize(width, DluToPixelsY(52));
  KeepChildrenWhereTheyAre(*this);
  icon_ = LoadApplicationIcon(32);

  PixelRect ok = DluRect(36, 30, 34, 15);
  if (width > DluToPixelsX(119)) ok.x = (width - ok.width) / 2;
  auto* button = new wxButton(this, IDC_MSG_OK, "OK", Pos(ok), Size(ok));
  button->SetFocus();

  AddAboutItemToContextMenu(*this);
  wxIconBundle icons;
  icons.AddIcon(LoadApplicationIcon(32));
  icons.AddIcon(LoadApplicationIcon(16));
  SetIcons(icons);

  Bind(wxEVT_PAINT, [this](wxPaintEvent&) { PaintMessageDialog(*this, SelectTableMessageStrip()); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); }, IDC_MSG_OK);
  EndModalOnKeysAndClose(*this);
  CentreOnParent();
}

CDoneMsgDlg::CDoneMsgDlg(wxWindow* parent, const std::string& failures, const std::string& notes)
    : failures_(failures) {
  const std::string listed = failures_.empty() || notes.empty() ? failures_ + notes : failures_ + "\n\n" + notes;
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, IDD_DONE_MSG, kCaption, wxDefaultPosition, wxDefaultSize, kStyle);
  SetFont(ControlFont());
  KeepChildrenWhereTheyAre(*this);

  PixelRect ok = DluRect(65, 38, 50, 14);
  const int captionWidth = CaptionTextWidth(*this, kCaption);
  if (listed.empty()) {
    const int width = MessageClientWidth(DluToPixelsX(195), captionWidth);
    SetClientSize(width, DluToPixelsY(62));
    if (width > DluToPixelsX(195)) ok.x = (width - ok.width) / 2;
  } else {
    // Room for the list of failed tables between the text and the button. Long
    // reasons wrap within the list, which scrolls only downwards.
    constexpr int kListHeight = 150;
    const int width = MessageClientWidth(480, captionWidth);
    SetClientSize(width, DluToPixelsY(62) + kListHeight);
    auto* list = new wxTextCtrl(this, IDC_FAILED_TABLES, wxString::FromUTF8(listed),
                                wxPoint(10, 42), wxSize(width - 20, kListHeight),
                                wxTE_MULTILINE | wxTE_READONLY);  // wraps words, and long paths inside
    list->SetMinSize(wxSize(width - 20, kListHeight));
    ok.x = (width - ok.width) / 2;
    ok.y = 42 + kListHeight + 12;
  }
  auto* button = new wxButton(this, wxID_OK, "OK", Pos(ok), Size(ok));
  button->SetDefault();
  button->SetFocus();

  const TextStrip* strip = failures_.empty() ? &DoneMessageStrip() : &kFailedStrip;
  Bind(wxEVT_PAINT, [this, strip](wxPaintEvent&) { PaintMessageDialog(*this, *strip); });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); }, wxID_OK);
  EndModalOnKeysAndClose(*this);
  CentreOnParent();
}

}  // namespace talvoro::pages
