// The two kinds of message box of the wizard. Both are the toolkit's generic
// message dialog (a real wx window, so it centres on its owner and can be driven
// in tests like the pages).
#pragma once

#include <wx/string.h>
#include <wx/window.h>

namespace talvoro::pages {

inline constexpr char kPageMessageCaption[] = "Talvoro Database Converter";

// A page's own message: owned by the page, no icon. `style` is wxOK or wxYES_NO;
// returns wxID_OK, wxID_YES or wxID_NO.
int ShowPageMessage(wxWindow* page, const wxString& text, const wxString& caption,
                    long style = wxOK);

// The application's message: caption "Kestrin1" (the program's name), the
// exclamation icon, OK. `details` (may be empty) goes below the text.
void ShowApplicationMessage(wxWindow* owner, const wxString& text,
                            const wxString& details = wxString());

}  // namespace talvoro::pages
