#include "pages/message_boxes.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "pages/page_logic.h"

namespace talvoro::pages {

int CaptionTextWidth(const wxWindow& window, const wxString& caption) {
  // Title bars use a bold face, sometimes a size above the desktop's text; a
  // twentieth more than the bold desktop font covers the common themes.
  wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Bold();
  int width = 0;
  window.GetTextExtent(caption, &width, nullptr, nullptr, nullptr, &font);
  return width + width / 20;
}

namespace {

// A static text broken into lines no wider than kMessageWrapWidth; a long path
// breaks after one of its "/" rather than widening the window.
wxStaticText* WrappedText(wxWindow* parent, const wxString& text) {
  auto* label = new wxStaticText(parent, wxID_ANY, wxString());
  const wxFont font = label->GetFont();
  const std::string wrapped = WrapText(text.utf8_string(), kMessageWrapWidth, [&](std::string_view piece) {
    int width = 0;
    label->GetTextExtent(wxString::FromUTF8(piece.data(), piece.size()), &width, nullptr, nullptr,
                         nullptr, &font);
    return width;
  });
  // Mnemonics mean nothing in a message: an "&" stands for itself.
  label->SetLabelText(wxString::FromUTF8(wrapped));
  return label;
}

}  // namespace

MessageWindow::MessageWindow(wxWindow* owner, const wxString& text, const wxString& caption,
                             long style, const wxString& details)
    : wxDialog(owner, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      text_(text),
      details_(details) {
  auto* body = new wxBoxSizer(wxHORIZONTAL);
  if (style & wxICON_EXCLAMATION) {
    body->Add(new wxStaticBitmap(this, wxID_ANY,
                                 wxArtProvider::GetBitmap(wxART_WARNING, wxART_MESSAGE_BOX)),
              0, wxRIGHT | wxALIGN_TOP, 12);
  }
  auto* texts = new wxBoxSizer(wxVERTICAL);
  texts->Add(WrappedText(this, text));
  if (!details.empty()) texts->Add(WrappedText(this, details), 0, wxTOP, 10);
  body->Add(texts, 1);

  const bool yesNo = (style & wxYES_NO) != 0;
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(body, 1, wxALL | wxEXPAND, 12);
  if (wxSizer* buttons = CreateSeparatedButtonSizer(yesNo ? wxYES_NO : wxOK))
    top->Add(buttons, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 12);
  if (yesNo) {
    SetAffirmativeId(wxID_YES);
    SetEscapeId(wxID_NO);
    if (auto* yes = FindWindow(wxID_YES)) yes->SetFocus();
  }
  for (int id : {wxID_OK, wxID_YES, wxID_NO})
    Bind(wxEVT_BUTTON, [this, id](wxCommandEvent&) { EndModal(id); }, id);
  Bind(wxEVT_CLOSE_WINDOW, [this, yesNo](wxCloseEvent&) { EndModal(yesNo ? wxID_NO : wxID_OK); });

  SetSizer(top);
  top->SetSizeHints(this);
  const wxSize fitted = GetClientSize();
  const int width = MessageClientWidth(fitted.x, CaptionTextWidth(*this, caption));
  SetMinClientSize(wxSize(width, fitted.y));
  SetClientSize(width, fitted.y);
  Layout();
  CentreOnParent();
}

int ShowPageMessage(wxWindow* page, const wxString& text, const wxString& caption, long style) {
  MessageWindow dialog(page, text, caption, style);
  return dialog.ShowModal();
}

void ShowApplicationMessage(wxWindow* owner, const wxString& text, const wxString& details) {
  MessageWindow dialog(owner, text, "Kestrin1", wxOK | wxICON_EXCLAMATION, details);
  dialog.ShowModal();
}

}  // namespace talvoro::pages
