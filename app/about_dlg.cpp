#include "app/about_dlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "pages/dialog_units.h"
#include "pages/page_painting.h"
#include "res/resources.h"

namespace talvoro::app {

using pages::DluRect;
using pages::PixelRect;

namespace {
wxPoint Pos(const PixelRect& r) { return {r.x, r.y}; }
wxSize Size(const PixelRect& r) { return {r.width, r.height}; }
}  // namespace

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "About Kestrin1", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  SetFont(pages::ControlFont());
  SetClientSize(pages::DluToPixelsX(235), pages::DluToPixelsY(55));

  const PixelRect iconRect = DluRect(11, 17, 20, 20);
  new wxStaticBitmap(this, wxID_ANY, wxBitmap(res::LoadApplicationIcon(32)), Pos(iconRect),
                     wxSize(32, 32));
  const PixelRect line1 = DluRect(40, 10, 119, 8);
  new wxStaticText(this, wxID_ANY, "Kestrin1 Version 1.0", Pos(line1), Size(line1),
                   wxST_NO_AUTORESIZE);
  const PixelRect line2 = DluRect(40, 25, 119, 8);
  new wxStaticText(this, wxID_ANY, "SQL Server to MS Access converter", Pos(line2), Size(line2),
                   wxST_NO_AUTORESIZE);
  const PixelRect ok = DluRect(178, 7, 50, 14);
  auto* button = new wxButton(this, wxID_OK, "OK", Pos(ok), Size(ok));
  button->SetDefault();
  SetIcon(res::LoadApplicationIcon(32));
  Centre();
}

}  // namespace talvoro::app
