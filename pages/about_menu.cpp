#include "pages/about_menu.h"

#include <wx/menu.h>

#include "app/about_dlg.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace talvoro::pages {

void AddAboutItemToContextMenu(wxDialog& dialog) {
  const wxString text = res::LoadStringResource(res::IDS_SYSMENU_ABOUT);
  if (text.empty()) return;
  wxDialog* target = &dialog;
  dialog.Bind(wxEVT_CONTEXT_MENU, [target, text](wxContextMenuEvent&) {
    wxMenu menu;
    menu.Append(res::ID_SYSMENU_ABOUT, text);
    target->PopupMenu(&menu);
  });
  dialog.Bind(
      wxEVT_MENU,
      [target](wxCommandEvent&) {
        app::CAboutDlg about(target);
        about.ShowModal();
      },
      res::ID_SYSMENU_ABOUT);
}

}  // namespace talvoro::pages
