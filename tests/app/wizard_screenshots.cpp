// Renders every page and dialog of the wizard under an X server and saves each as
// a PNG (client area only), for the README and for checking the layout by eye.
// Usage: wizard_screenshots OUTPUT_DIR [ICON_DIR]   (run under xvfb-run)
// With ICON_DIR it also writes the application icon as kestrin1-16.png and
// kestrin1-32.png there, for the desktop menu entry.
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <functional>
#include <string>

#include <wx/app.h>
#include <wx/listbox.h>
#include <wx/dcmemory.h>
#include <wx/log.h>
#include <wx/settings.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include "app/about_dlg.h"
#include "app/converter_app.h"
#include "odbc_sandbox.h"
#include "pages/connection_dlg.h"
#include "pages/convert_dlg.h"
#include "pages/message_boxes.h"
#include "pages/message_dialogs.h"
#include "pages/page_logic.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "window_pixels.h"

namespace {

using namespace talvoro;

// Xvfb has no window manager, so the picture gets a plain title bar drawn above
// the client area: the caption centred in the desktop's bold font as a window
// manager shows it, and a close button, so a caption too long for its window
// shows as one running into the button.
wxImage WithTitleBar(const wxImage& client, const wxString& caption) {
  if (!client.IsOk()) return client;
  constexpr int kBarHeight = 28;
  constexpr int kButtonWidth = 28;
  const int width = client.GetWidth();
  wxBitmap framed(width, client.GetHeight() + kBarHeight, 24);
  {
    wxMemoryDC dc(framed);
    dc.SetBackground(wxBrush(wxColour(224, 224, 224)));
    dc.Clear();
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Bold());
    dc.SetTextForeground(wxColour(40, 40, 40));
    const wxSize text = dc.GetTextExtent(caption);
    dc.DrawText(caption, (width - text.x) / 2, (kBarHeight - text.y) / 2);
    dc.SetPen(wxPen(wxColour(90, 90, 90), 2));
    const int cx = width - kButtonWidth / 2 - 4, cy = kBarHeight / 2;
    dc.DrawLine(cx - 5, cy - 5, cx + 5, cy + 5);
    dc.DrawLine(cx - 5, cy + 5, cx + 5, cy - 5);
    dc.DrawBitmap(wxBitmap(client, 24), 0, kBarHeight);
    dc.SelectObject(wxNullBitmap);
  }
  return framed.ConvertToImage();
}

// Shows the dialog modally and takes the picture from a timer once it has had time
// to map and paint; `prepare` runs first, while the dialog is up.
bool Capture(wxDialog& dialog, const std::string& file,
             const std::function<void()>& prepare = [] {}) {
  bool saved = false;
  wxSize size;
  wxTimer timer;
  int ticks = 0;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (++ticks == 2) prepare();
    if (ticks < 6) return;
    timer.Stop();
    size = dialog.GetClientSize();
    const wxImage image = WithTitleBar(talvoro::test::RenderWindow(dialog), dialog.GetTitle());
    saved = image.IsOk() && image.SaveFile(wxString::FromUTF8(file), wxBITMAP_TYPE_PNG);
    dialog.EndModal(wxID_OK);
  });
  timer.Start(100);
  dialog.ShowModal();
  std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", file.c_str(), size.x, size.y);
  return saved;
}

void SetText(wxWindow& parent, int id, const char* text) {
  static_cast<wxTextCtrl*>(parent.FindWindow(id))->ChangeValue(text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR [ICON_DIR]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  talvoro::test::OdbcSandbox::Install();  // the second page registers "dsns"
  // An assertion would open a modal box nobody answers; print it and stop.
  wxSetAssertHandler([](const wxString& file, int line, const wxString& func,
                        const wxString& cond, const wxString& msg) {
    std::fprintf(stderr, "assertion %s failed at %s:%d in %s: %s\n", cond.utf8_str().data(),
                 file.utf8_str().data(), line, func.utf8_str().data(), msg.utf8_str().data());
    std::abort();
  });
  setenv("GTK_OVERLAY_SCROLLING", "0", 0);  // as RunWizard does
  std::filesystem::create_directories(out);
  delete wxLog::SetActiveTarget(new wxLogStderr());  // no message boxes nobody answers
  wxApp::SetInstance(new wxApp());
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) return 1;
  app::PrepareWizardToolkit();
  bool ok = true;

  {
    pages::CConnectionDlg page;
    ok &= Capture(page, out + "/connection_page.png");
  }
  {
    pages::CConnectionDlg page;
    SetText(page, res::IDC_SOURCE_PATH, "/srv/mssql/data/Sales.mdf");
    SetText(page, res::IDC_DEST_PATH, "/home/user/Sales.mdb");
    static_cast<wxRadioButton*>(page.FindWindow(res::IDC_AUTH_SQL))->SetValue(true);
    page.FindWindow(res::IDC_LOGIN_NAME)->Enable();
    page.FindWindow(res::IDC_PASSWORD)->Enable();
    SetText(page, res::IDC_LOGIN_NAME, "demo");
    SetText(page, res::IDC_PASSWORD, "secret");
    ok &= Capture(page, out + "/connection_page_filled.png");
  }
  const char* tables[] = {"Customers", "Employees", "Orders", "OrderLines", "Products",
                          "Regions", "Shippers", "Suppliers", "counter", "Categories",
                          "A_table_with_a_rather_long_name_to_show_clipping"};
  {
    pages::CConvertDlg page;
    auto* left = static_cast<wxListBox*>(page.FindWindow(res::IDC_TABLE_LIST));
    auto* right = static_cast<wxListBox*>(page.FindWindow(res::IDC_SELECTED_LIST));
    for (const char* t : tables) left->Append(t);
    left->SetSelection(2);
    page.OnAdd();
    left->SetSelection(0);
    page.OnAdd();
    right->SetSelection(0);
    ok &= Capture(page, out + "/convert_page.png");
  }
  {
    pages::CConvertDlg page;
    auto* right = static_cast<wxListBox*>(page.FindWindow(res::IDC_SELECTED_LIST));
    for (const char* t : tables) right->Append(t);
    ok &= Capture(page, out + "/convert_page_running.png", [&page] {
      page.ShowStatus("Converting....Tables   Orders");
      page.ShowProgress(243);
    });
  }
  {
    pages::CSelectTableMsgDlg message;
    ok &= Capture(message, out + "/select_table_message.png");
  }
  {
    pages::CDoneMsgDlg done;
    ok &= Capture(done, out + "/done_message.png");
  }
  {
    pages::CDoneMsgDlg done(
        nullptr,
        "Database Conversion Compleated with errors. These tables were not converted:\n"
        "Orders: 1200 rows copied, then [22008] [Talvoro][Access Driver]The value "
        "0099-12-31 00:00:00 of column ShippedDate in row 1201 is before the year 100, "
        "which a Date/Time column of an Access database cannot hold\n"
        "Shippers: [08001] [FreeTDS][SQL Server]Unable to connect to data source");
    ok &= Capture(done, out + "/done_message_with_failures.png");
  }
  {
    app::CAboutDlg about;
    ok &= Capture(about, out + "/about_box.png");
  }
  {
    pages::MessageWindow message(nullptr, "Please Select a Database", pages::kPageMessageCaption,
                                 wxOK);
    ok &= Capture(message, out + "/message_select_database.png");
  }
  {
    pages::MessageWindow question(
        nullptr,
        "File Named /home/user/Documents/Sales archive 2008-2012/Quarterly exports/Sales.mdb "
        "is Already Exist.., \n\nDo You Want to Overwrite "
        "Database....\n\n If No then Please Choose Another Database",
        "Talvoro Database Converter (MSSQL Server To MS Access)", wxYES_NO);
    ok &= Capture(question, out + "/message_overwrite_question.png");
  }
  {
    pages::MessageWindow message(nullptr, "LOGIN Name or Password Mismatch ", "Kestrin1",
                                 wxOK | wxICON_EXCLAMATION,
                                 "[28000] [FreeTDS][SQL Server]Login failed for user 'demo'.");
    ok &= Capture(message, out + "/message_login_mismatch.png");
  }
  {
    pages::MessageWindow message(nullptr, pages::MissingDatabaseMessage("Salse"),
                                 pages::kPageMessageCaption, wxOK);
    ok &= Capture(message, out + "/message_missing_database.png");
  }
  if (argc == 3) {
    for (int size : {16, 32}) {
      const std::string file = std::string(argv[2]) + "/kestrin1-" + std::to_string(size) + ".png";
      const bool saved = wxBitmap(res::LoadApplicationIcon(size))
                             .ConvertToImage()
                             .SaveFile(wxString::FromUTF8(file), wxBITMAP_TYPE_PNG);
      std::printf("%s %s\n", saved ? "wrote" : "FAILED", file.c_str());
      ok &= saved;
    }
  }
  wxEntryCleanup();
  return ok ? 0 : 1;
}
