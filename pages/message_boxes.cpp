#include "pages/message_boxes.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>

namespace talvoro::pages {

int ShowPageMessage(wxWindow* page, const wxString& text, const wxString& caption, long style) {
  wxGenericMessageDialog dialog(page, text, caption, style | wxCENTRE);
  return dialog.ShowModal();
}

void ShowApplicationMessage(wxWindow* owner, const wxString& text, const wxString& details) {
  wxGenericMessageDialog dialog(owner, text, "Kestrin1", wxOK | wxICON_EXCLAMATION | wxCENTRE);
  if (!details.empty()) dialog.SetExtendedMessage(details);
  dialog.ShowModal();
}

}  // namespace talvoro::pages
