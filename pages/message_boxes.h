// The two kinds of message box of the wizard, shown in one message window of our
// own: the text wraps at a readable width instead of stretching the window, and
// the window is at least as wide as its caption needs, so the window manager
// shows the whole caption.
#pragma once

#include <wx/dialog.h>
#include <wx/string.h>
#include <wx/window.h>

namespace talvoro::pages {

inline constexpr char kPageMessageCaption[] = "Talvoro Database Converter";

// The width the window manager's title bar needs for `caption` (its bold title
// font is estimated from the desktop's font).
int CaptionTextWidth(const wxWindow& window, const wxString& caption);

// A modal message: the text, optional details below it, an icon when asked for,
// and OK or Yes/No. Enter answers OK/Yes; Escape and the close box answer OK/No.
class MessageWindow : public wxDialog {
 public:
  // `style`: wxOK or wxYES_NO, optionally with wxICON_EXCLAMATION.
  MessageWindow(wxWindow* owner, const wxString& text, const wxString& caption, long style,
                const wxString& details = wxString());

  const wxString& GetMessage() const { return text_; }
  const wxString& GetDetails() const { return details_; }

 private:
  wxString text_;
  wxString details_;
};

// A page's own message: owned by the page, no icon. `style` is wxOK or wxYES_NO;
// returns wxID_OK, wxID_YES or wxID_NO.
int ShowPageMessage(wxWindow* page, const wxString& text, const wxString& caption,
                    long style = wxOK);

// The application's message: caption "Kestrin1" (the program's name), the
// exclamation icon, OK. `details` (may be empty) goes below the text.
void ShowApplicationMessage(wxWindow* owner, const wxString& text,
                            const wxString& details = wxString());

}  // namespace talvoro::pages
