// The wizard under Xvfb against the real stand-in, the FreeTDS driver and our
// Access driver: pages, flows, message boxes, the web-page rule, the About box,
// a whole conversion checked with the independent readers, and painted pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <iterator>
#include <map>
#include <set>

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/dirdlg.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "app/about_dlg.h"
#include "app/converter_app.h"
#include "app/page_chain.h"
#include "app/startup_environment.h"
#include "engine/conversion_settings.h"
#include "gui_harness.h"
#include "independent_readers.h"
#include "kerberos_realm.h"
#include "odbc/database.h"
#include "pages/connection_dlg.h"
#include "pages/convert_dlg.h"
#include "pages/message_dialogs.h"
#include "pages/page_decoration.h"
#include "pages/page_painting.h"
#include "pages/progress_strip.h"
#include "res/resource_ids.h"
#include "standin_process.h"
#include "temp_dir.h"
#include "window_pixels.h"

namespace talvoro::test {
namespace {

using pages::CConnectionDlg;
using pages::CConvertDlg;
using pages::CDoneMsgDlg;
using pages::CSelectTableMsgDlg;
namespace ids = talvoro::res;

constexpr int kOrderRows = 3000;

// One wx application, one stand-in (with a Kerberos realm when the KDC is
// installed) and the recording seams for the whole program.
class WizardEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    wxSetAssertHandler([](const wxString& file, int line, const wxString& func,
                          const wxString& cond, const wxString& msg) {
      std::fprintf(stderr, "wx assertion %s failed at %s:%d in %s: %s\n", cond.utf8_str().data(),
                   file.utf8_str().data(), line, func.utf8_str().data(), msg.utf8_str().data());
      std::abort();
    });
    // As the wizard starts: no dconf warnings from the file choosers without a
    // session bus (CTest fails the run on any).
    app::PrepareDesktopSettingsEnvironment();
    wxApp::SetInstance(new wxApp());
    static int argc = 1;
    static char name[] = "wizard_gui_test";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(wxEntryStart(argc, argv)) << "no X display";
    app::PrepareWizardToolkit();

    if (KerberosRealm::Available()) realm = std::make_unique<KerberosRealm>();
    StandinProcess::Options options;
    options.logins = {{"sa", "secret"}};
    if (realm) options.keytab = realm->serviceKeytab();
    standin = std::make_unique<StandinProcess>(options);
    if (realm) {
      realm->AddService(standin->port());
      realm->UseForClients();
    }
    // "dsns" names the server "(local)"; FreeTDS takes its port from here.
    setenv("TDSPORT", std::to_string(standin->port()).c_str(), 1);
    CreateSalesDatabase();

    app::SetShellLauncher(&launcher);
    pages::SetPathChoosers(&choosers);
  }

  void TearDown() override {
    app::SetShellLauncher(nullptr);
    pages::SetPathChoosers(nullptr);
    standin.reset();
    realm.reset();
    wxEntryCleanup();
  }

  // Runs one statement; a refusal names the statement.
  static void Execute(odbc::Database& db, const std::string& sql) {
    try {
      db.ExecuteSQL(sql);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string(e.what()) + " in: " + sql.substr(0, 200));
    }
  }

  void CreateSalesDatabase() {
    odbc::Database master;
    master.OpenEx(standin->ConnectString("master"));
    Execute(master, "CREATE DATABASE Sales");
    odbc::Database sales;
    sales.OpenEx(standin->ConnectString("Sales"));
    Execute(sales, 
        "CREATE TABLE Customers (CustomerID int NOT NULL PRIMARY KEY, Name nvarchar(40) NULL)");
    Execute(sales, "INSERT INTO Customers VALUES (1, N'Ann')");
    Execute(sales, "INSERT INTO Customers VALUES (2, N'Bo')");
    Execute(sales, 
        "CREATE TABLE Orders (OrderID int NOT NULL PRIMARY KEY, CustomerID int NULL, "
        "Amount money NULL)");
    // Multi-row inserts of 250 rows each keep the set-up quick.
    std::string insert;
    for (int i = 1; i <= kOrderRows; ++i) {
      insert += (insert.empty() ? "INSERT INTO Orders VALUES " : ", ");
      insert += "(" + std::to_string(i) + ", " + std::to_string(1 + i % 2) + ", " +
                std::to_string(i) + ".25)";
      if (i % 250 == 0) {
        Execute(sales, insert);
        insert.clear();
      }
    }
    Execute(sales, "CREATE TABLE counter (n int NOT NULL PRIMARY KEY)");
    Execute(sales, "INSERT INTO counter VALUES (7)");
    Execute(sales, "CREATE VIEW CustomerNames AS SELECT Name FROM Customers");
  }

  std::string MdfPath() const { return standin->dataDir() + "/Sales.mdf"; }

  std::unique_ptr<KerberosRealm> realm;
  std::unique_ptr<StandinProcess> standin;
  RecordingLauncher launcher;
  ScriptedChoosers choosers;
};

WizardEnvironment* const g_env =
    static_cast<WizardEnvironment*>(testing::AddGlobalTestEnvironment(new WizardEnvironment));

class WizardGui : public testing::Test {
 protected:
  void SetUp() override {
    engine::g_conversionSettings = {};
    g_env->launcher.urls.clear();
    g_env->choosers = ScriptedChoosers();
  }

  // Runs the page chain (or `body`) while the script drives it.
  void Run(StepScript& script, const std::function<void()>& body = app::RunPageChain) {
    script.Start();
    body();
    EXPECT_TRUE(script.failure().empty()) << script.failure();
    EXPECT_TRUE(script.finished());
  }

  template <typename T>
  static T* Find(wxWindow* parent, int id) {
    return dynamic_cast<T*>(parent->FindWindow(id));
  }

  // Waits for the first page and keeps it in `page`.
  static std::function<bool()> FirstPage(CConnectionDlg*& page) {
    return [&page] {
      page = ShownWindow<CConnectionDlg>();
      return page != nullptr && ShownMessage() == nullptr;
    };
  }

  // Fills the first page for a SQL Server logon: the fields as typed, the radio
  // button by a click.
  static void FillForSqlLogon(StepScript& script, CConnectionDlg*& page, std::string source,
                              std::string destination, std::string password = "secret") {
    script.Then("first page", FirstPage(page))
        .Do("type paths",
            [&page, source, destination] {
              Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->ChangeValue(source);
              Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->ChangeValue(destination);
            })
        .Do("choose SQL Server authentication",
            [&page] { Click(page->FindWindow(ids::IDC_AUTH_SQL)); })
        .Then("fields enabled", [&page] { return page->FindWindow(ids::IDC_PASSWORD)->IsEnabled(); })
        .Do("click login", [&page] { Click(page->FindWindow(ids::IDC_LOGIN_NAME)); })
        .Then("login focused", [&page] { return wxWindow::FindFocus() == page->FindWindow(ids::IDC_LOGIN_NAME); })
        .Do("type login", [] { TypeText("sa"); })
        .Do("click password", [&page] { Click(page->FindWindow(ids::IDC_PASSWORD)); })
        .Then("password focused", [&page] { return wxWindow::FindFocus() == page->FindWindow(ids::IDC_PASSWORD); })
        .Do("type password", [password] { TypeText(password); })
        .Then("typed", [&page, password] {
          return Find<wxTextCtrl>(page, ids::IDC_PASSWORD)->GetValue() == password &&
                 Find<wxTextCtrl>(page, ids::IDC_LOGIN_NAME)->GetValue() == "sa";
        });
  }

  static std::function<bool()> MessageSays(const std::string& text, const std::string& caption,
                                           pages::MessageWindow*& message) {
    return [text, caption, &message] {
      message = ShownMessage();
      if (!message) return false;
      EXPECT_EQ(message->GetMessage().utf8_string(), text);
      EXPECT_EQ(message->GetTitle().utf8_string(), caption);
      return true;
    };
  }

  static std::vector<std::string> Entries(wxListBox* list) {
    std::vector<std::string> entries;
    for (unsigned i = 0; i < list->GetCount(); ++i) entries.push_back(list->GetString(i).utf8_string());
    return entries;
  }
};

TEST_F(WizardGui, CancellingTheFirstPageAtOnceOpensTheWebPageOnce) {
  CConnectionDlg* page = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page)).Do("escape", [&] { PressKey(page, WXK_ESCAPE); });
  Run(script);
  EXPECT_EQ(g_env->launcher.urls, std::vector<std::string>{app::kMakerWebPage});
}

TEST_F(WizardGui, BrowseDerivesTheSettingsAndFolderBrowseMovesTheFile) {
  auto& choosers = g_env->choosers;
  choosers.mdfAnswer = "/srv/data/Sales.2008.mdf";
  choosers.folderAnswer = {pages::FolderChoice::Outcome::Chosen, "/tmp/out"};
  CConnectionDlg* page = nullptr;
  const std::string home = std::getenv("HOME");
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("browse", [&] { Click(page->FindWindow(ids::IDC_BROWSE_SOURCE)); })
      .Then("source filled",
            [&] { return !Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->GetValue().empty(); })
      .Do("check derived values",
          [&] {
            EXPECT_EQ(Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->GetValue(), "/srv/data/Sales.2008.mdf");
            EXPECT_EQ(Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->GetValue().utf8_string(), home + "/Sales.mdb");
            EXPECT_EQ(engine::g_strDatabaseName, "Sales");
            EXPECT_EQ(engine::g_strDestPath, home + "/Sales.mdb");
          })
      .Do("folder browse", [&] { Click(page->FindWindow(ids::IDC_BROWSE_DEST)); })
      .Then("destination moved",
            [&] { return Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->GetValue() == "/tmp/out/Sales.mdb"; })
      .Do("cancel the next choice",
          [&] {
            EXPECT_EQ(engine::g_strDestPath, "/tmp/out/Sales.mdb");
            choosers.folderAnswer = {pages::FolderChoice::Outcome::Cancelled, ""};
            choosers.mdfAnswer.reset();
            Click(page->FindWindow(ids::IDC_BROWSE_DEST));
          })
      .Then("asked twice", [&] { return choosers.folderTitles.size() == 2; })
      .Do("cancelled browse", [&] { Click(page->FindWindow(ids::IDC_BROWSE_SOURCE)); })
      .Then("asked for a file twice", [&] { return choosers.fileRequests == 2; })
      .Do("nothing changed, leave",
          [&] {
            EXPECT_EQ(Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->GetValue(), "/tmp/out/Sales.mdb");
            EXPECT_EQ(Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->GetValue(), "/srv/data/Sales.2008.mdf");
            PressKey(page, WXK_ESCAPE);
          });
  Run(script);
  EXPECT_EQ(choosers.folderTitles.front(), "Sample of  getting folder.");
}

TEST_F(WizardGui, NextWithAnEmptySourceAsksForADatabaseAndStays) {
  CConnectionDlg* page = nullptr;
  pages::MessageWindow* message = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("message", MessageSays("Please Select a Database", "Talvoro Database Converter", message))
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("page stays", [&] { return !ShownMessage() && page->IsShown() && page->IsModal(); })
      .Do("fill source only, click into it",
          [&] {
            Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->ChangeValue(g_env->MdfPath());
            Click(page->FindWindow(ids::IDC_SOURCE_PATH));
          })
      .Then("source focused",
            [&] { return wxWindow::FindFocus() == page->FindWindow(ids::IDC_SOURCE_PATH); })
      .Do("Enter in the field runs Next",
          [&] { PressKey(page->FindWindow(ids::IDC_SOURCE_PATH), WXK_RETURN); })
      .Then("destination message", [&] {
        message = ShownMessage();
        return message && message->GetMessage().Contains("Destination");
      })
      .Do("ok", [&] { PressKey(message, WXK_RETURN); })
      .Then("page stays", [&] { return !ShownMessage() && page->IsShown(); })
      .Do("leave", [&] { PressKey(page, WXK_ESCAPE); });
  Run(script);
}

TEST_F(WizardGui, AWrongSqlPasswordShowsOneMismatchMessageAndThePageStays) {
  TempDir dir;
  CConnectionDlg* page = nullptr;
  pages::MessageWindow* message = nullptr;
  int settleTicks = 0;
  StepScript script;
  FillForSqlLogon(script, page, g_env->MdfPath(), dir.File("Sales.mdb"), "wrong");
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("mismatch", MessageSays("LOGIN Name or Password Mismatch ", "Kestrin1", message))
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("no second message", [&] {
        if (ShownMessage()) return false;
        return ++settleTicks > 10;
      })
      .Then("the refused password is selected for retyping", [&] {
        auto* password = Find<wxTextCtrl>(page, ids::IDC_PASSWORD);
        if (wxWindow::FindFocus() != password) return false;
        long from = 0, to = 0;
        password->GetSelection(&from, &to);
        EXPECT_EQ(from, 0);
        EXPECT_EQ(to, 5);
        return true;
      })
      .Do("still on the first page, leave",
          [&] {
            EXPECT_EQ(ShownWindow<CConnectionDlg>(), page);
            EXPECT_EQ(ShownWindow<CConvertDlg>(), nullptr);
            PressKey(page, WXK_ESCAPE);
          });
  Run(script);
  EXPECT_EQ(engine::g_strAuthMode, "sql");
  EXPECT_EQ(engine::g_strLoginName, "sa");
  EXPECT_FALSE(std::filesystem::exists(dir.File("Sales.mdb")));
}

TEST_F(WizardGui, WindowsLogonListsTheTablesWithoutViewsAndCancelOpensTheWebPage) {
  if (!g_env->realm) GTEST_SKIP() << "MIT Kerberos KDC not installed";
  TempDir dir;
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("type paths, next",
          [&] {
            Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->ChangeValue(g_env->MdfPath());
            Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->ChangeValue(dir.File("Win.mdb"));
            Click(page->FindWindow(ids::IDC_NEXT));
          })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("tables listed, cancel",
          [&] {
            EXPECT_EQ(ShownWindow<CConnectionDlg>(), nullptr) << "only the newest page shows";
            std::vector<std::string> tables = Entries(Find<wxListBox>(second, ids::IDC_TABLE_LIST));
            std::sort(tables.begin(), tables.end());
            EXPECT_EQ(tables, (std::vector<std::string>{"Customers", "Orders", "counter"}));
            PressKey(second, WXK_ESCAPE);
          });
  Run(script);
  EXPECT_EQ(engine::g_strAuthMode, "wnd");
  EXPECT_EQ(engine::g_strDatabaseName, "Sales");
  EXPECT_EQ(g_env->launcher.urls, std::vector<std::string>{app::kMakerWebPage});
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files of a folder, hidden ones included.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(WizardGui, YesToOverwriteKeepsTheOldFileWhenTheUserLeavesBeforeConverting) {
  TempDir dir;
  const std::string existing = dir.File("Old Sales.mdb");
  std::ofstream(existing) << "the user's old database";
  const std::string question = "File Named " + existing +
                               " is Already Exist.., \n\nDo You Want to Overwrite Database....\n\n "
                               "If No then Please Choose Another Database";
  const std::string caption = "Talvoro Database Converter (MSSQL Server To MS Access)";
  CConnectionDlg* page = nullptr;
  CConnectionDlg* fresh = nullptr;
  pages::MessageWindow* message = nullptr;
  StepScript script;
  FillForSqlLogon(script, page, g_env->MdfPath(), existing);
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("question", MessageSays(question, caption, message))
      .Do("no", [&] { Click(message->FindWindow(wxID_NO)); })
      .Then("back on the page", [&] { return !ShownMessage(); })
      .Then("focus on the destination",
            [&] { return wxWindow::FindFocus() == page->FindWindow(ids::IDC_DEST_PATH); })
      .Do("file kept; next again",
          [&] {
            EXPECT_EQ(FileText(existing), "the user's old database");
            EXPECT_EQ(ShownWindow<CConvertDlg>(), nullptr);
            Click(page->FindWindow(ids::IDC_NEXT));
          })
      .Then("question again", MessageSays(question, caption, message))
      .Do("yes", [&] { Click(message->FindWindow(wxID_YES)); })
      .Then("second page", [&] { return ShownWindow<CConvertDlg>() != nullptr; })
      .Do("file still there; prev",
          [&] {
            EXPECT_EQ(FileText(existing), "the user's old database");
            Click(ShownWindow<CConvertDlg>()->FindWindow(ids::IDC_PREV));
          })
      .Then("a fresh first page", [&] {
        fresh = ShownWindow<CConnectionDlg>();
        return fresh != nullptr && ShownWindow<CConvertDlg>() == nullptr;
      })
      .Do("close it", [&] { PressKey(fresh, WXK_ESCAPE); });
  Run(script);
  EXPECT_EQ(FileText(existing), "the user's old database");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Old Sales.mdb"})
      << "nothing set aside is left behind";
  EXPECT_TRUE(g_env->launcher.urls.empty()) << "a first page reached by prev opens no web page";
}

TEST_F(WizardGui, YesToOverwriteThenConvertReplacesTheOldFile) {
  TempDir dir;
  const std::string existing = dir.File("Sales.mdb");
  std::ofstream(existing) << "the user's old database";
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  StepScript script(60000);
  FillForSqlLogon(script, page, g_env->MdfPath(), existing);
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("question", [&] { return ShownMessage() != nullptr; })
      .Do("yes", [&] { Click(ShownMessage()->FindWindow(wxID_YES)); })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("choose counter, convert",
          [&] {
            auto* left = Find<wxListBox>(second, ids::IDC_TABLE_LIST);
            left->SetSelection(left->FindString("counter"));
            Click(second->FindWindow(ids::IDC_ADD));
          })
      .Then("chosen", [&] { return Find<wxListBox>(second, ids::IDC_SELECTED_LIST)->GetCount() == 1; })
      .Do("convert", [&] { Click(second->FindWindow(ids::IDC_CONVERT)); })
      .Then("completion dialog", [&] { return ShownWindow<CDoneMsgDlg>() != nullptr; })
      .Do("close it", [&] {
        EXPECT_FALSE(ShownWindow<CDoneMsgDlg>()->ReportsFailures());
        Click(ShownWindow<CDoneMsgDlg>()->FindWindow(wxID_OK));
      });
  Run(script);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Sales.mdb"})
      << "the old file is gone, not left aside";
  const MdbToolsRead tools = ReadWithMdbTools(existing);
  ASSERT_TRUE(tools.ok) << tools.problems;
  EXPECT_EQ(tools.tables, std::vector<std::string>{"countr"});
  const MdbReaderRead reader = ReadWithMdbReader(existing);
  ASSERT_TRUE(reader.ok) << reader.problems;
}

TEST_F(WizardGui, NextNamesADatabaseTheServerDoesNotHoldAndStays) {
  TempDir dir;
  CConnectionDlg* page = nullptr;
  pages::MessageWindow* message = nullptr;
  StepScript script;
  FillForSqlLogon(script, page, g_env->standin->dataDir() + "/Salse.mdf", dir.File("Salse.mdb"));
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("message",
            MessageSays(pages::MissingDatabaseMessage("Salse"), "Talvoro Database Converter", message))
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("back on the page", [&] { return !ShownMessage(); })
      .Then("focus on the source",
            [&] { return wxWindow::FindFocus() == page->FindWindow(ids::IDC_SOURCE_PATH); })
      .Do("still the first page; leave", [&] {
        EXPECT_EQ(ShownWindow<CConvertDlg>(), nullptr);
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
}

TEST_F(WizardGui, ATypedSourceProposesTheDestinationAndTheFolderChooserStartsThere) {
  TempDir dir;
  auto& choosers = g_env->choosers;
  choosers.folderAnswer = {pages::FolderChoice::Outcome::Chosen, dir.path()};
  const std::string home = std::getenv("HOME");
  CConnectionDlg* page = nullptr;
  wxTextCtrl* source = nullptr;
  wxTextCtrl* destination = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("click the source field", [&] {
        source = Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH);
        destination = Find<wxTextCtrl>(page, ids::IDC_DEST_PATH);
        Click(source);
      })
      .Then("focused", [&] { return wxWindow::FindFocus() == source; })
      .Do("type a path", [&] { TypeText("/srv/data/Orders.2008.mdf"); })
      .Then("typed", [&] { return source->GetValue() == "/srv/data/Orders.2008.mdf"; })
      .Do("proposed as Browse would; folder browse",
          [&] {
            EXPECT_EQ(destination->GetValue().utf8_string(), home + "/Orders.mdb");
            Click(page->FindWindow(ids::IDC_BROWSE_DEST));
          })
      .Then("moved", [&] { return destination->GetValue().utf8_string() == dir.File("Orders.mdb"); })
      .Do("click the source again", [&] { Click(source); })
      .Then("focused again", [&] { return wxWindow::FindFocus() == source; })
      .Do("the user's own destination stays when the source changes",
          [&] {
            source->SetInsertionPointEnd();
            TypeText("x");
          })
      .Then("typed more", [&] { return source->GetValue().EndsWith("x"); })
      .Do("leave", [&] {
        EXPECT_EQ(destination->GetValue().utf8_string(), dir.File("Orders.mdb"));
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
  ASSERT_EQ(choosers.folderStarts.size(), 1u);
  EXPECT_EQ(choosers.folderStarts[0], home) << "the chooser opens at the destination's folder";
}

TEST_F(WizardGui, AddAndRemoveInBothModesAndPleaseSelectATable) {
  engine::g_strDatabaseName = "Sales";
  engine::g_strAuthMode = "sql";
  engine::g_strLoginName = "sa";
  engine::g_strPassword = "secret";
  CConvertDlg* page = nullptr;
  wxListBox* left = nullptr;
  wxListBox* right = nullptr;
  std::vector<std::string> listed;
  auto selectDialogClosedBy = [](StepScript& script, const std::string& name, int key) {
    script.Then(name + ": message dialog", [] { return ShownWindow<CSelectTableMsgDlg>() != nullptr; })
        .Do(name + ": close", [key] {
          auto* message = ShownWindow<CSelectTableMsgDlg>();
          if (key == 0) {
            Click(message->FindWindow(ids::IDC_MSG_OK));
          } else {
            PressKey(message, key);
          }
        })
        .Then(name + ": closed", [] { return ShownWindow<CSelectTableMsgDlg>() == nullptr; });
  };
  StepScript script;
  script.Then("page", [&] {
    page = ShownWindow<CConvertDlg>();
    if (!page) return false;
    left = Find<wxListBox>(page, ids::IDC_TABLE_LIST);
    right = Find<wxListBox>(page, ids::IDC_SELECTED_LIST);
    listed = Entries(left);
    return true;
  });
  script.Do("convert with nothing chosen", [&] { Click(page->FindWindow(ids::IDC_CONVERT)); });
  selectDialogClosedBy(script, "convert", 0);
  script.Do("add without selection", [&] { Click(page->FindWindow(ids::IDC_ADD)); });
  selectDialogClosedBy(script, "add", WXK_RETURN);
  script.Do("add again without selection", [&] { Click(page->FindWindow(ids::IDC_ADD)); });
  selectDialogClosedBy(script, "add again", WXK_ESCAPE);
  script.Do("select the second, add",
            [&] {
              EXPECT_EQ(Entries(left), listed);
              EXPECT_EQ(right->GetCount(), 0u);
              left->SetSelection(1);
              Click(page->FindWindow(ids::IDC_ADD));
            })
      .Then("moved", [&] { return right->GetCount() == 1; })
      .Do("check table wise move",
          [&] {
            EXPECT_EQ(Entries(right), std::vector<std::string>{listed[1]});
            std::vector<std::string> rest = listed;
            rest.erase(rest.begin() + 1);
            EXPECT_EQ(Entries(left), rest);
            EXPECT_EQ(left->GetSelection(), wxNOT_FOUND);
            Click(page->FindWindow(ids::IDC_WHOLE_DATABASE));
          })
      .Then("whole database on",
            [&] { return Find<wxRadioButton>(page, ids::IDC_WHOLE_DATABASE)->GetValue(); })
      .Do("add all", [&] {
        EXPECT_EQ(right->GetCount(), 1u);  // switching modes moves nothing
        Click(page->FindWindow(ids::IDC_ADD));
      })
      .Then("all moved", [&] { return left->GetCount() == 0; })
      .Do("order kept; remove all",
          [&] {
            std::vector<std::string> expected{listed[1], listed[0]};
            expected.insert(expected.end(), listed.begin() + 2, listed.end());
            EXPECT_EQ(Entries(right), expected);
            Click(page->FindWindow(ids::IDC_REMOVE));
          })
      .Then("all back", [&] { return right->GetCount() == 0; })
      .Do("back at the end in order; table wise, rem with nothing",
          [&] {
            std::vector<std::string> expected{listed[1], listed[0]};
            expected.insert(expected.end(), listed.begin() + 2, listed.end());
            EXPECT_EQ(Entries(left), expected);
            Click(page->FindWindow(ids::IDC_TABLE_WISE));
          })
      .Then("table wise on", [&] { return Find<wxRadioButton>(page, ids::IDC_TABLE_WISE)->GetValue(); })
      .Do("rem with empty right list", [&] { Click(page->FindWindow(ids::IDC_REMOVE)); });
  selectDialogClosedBy(script, "rem", 0);
  script.Do("leave", [&] { PressKey(page, WXK_ESCAPE); });
  pages::PageExit exit = pages::PageExit::Next;
  Run(script, [&] {
    CConvertDlg dialog;
    dialog.ShowModal();
    exit = dialog.exit();
  });
  EXPECT_EQ(exit, pages::PageExit::Cancel);
  ASSERT_EQ(listed.size(), 3u) << "the catalog listing should hold the three tables";
}

TEST_F(WizardGui, ConvertShowsItsProgressAndTheFileReadsBack) {
  TempDir dir;
  const std::string destination = dir.File("Sales.mdb");
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  std::set<std::string> statuses;
  std::map<std::string, int> barAtStatus;  // the bar when each status text appeared
  std::vector<int> paintedBar;             // the bar at each of its paints
  std::vector<std::string> chosen;
  int gaugeAtDone = -1;
  wxImage barAtDone;
  bool clickedDuringRun = false;
  StepScript script(60000);
  FillForSqlLogon(script, page, g_env->MdfPath(), destination);
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("whole database", [&] { Click(second->FindWindow(ids::IDC_WHOLE_DATABASE)); })
      .Then("on", [&] { return Find<wxRadioButton>(second, ids::IDC_WHOLE_DATABASE)->GetValue(); })
      .Do("add all", [&] { Click(second->FindWindow(ids::IDC_ADD)); })
      .Then("all chosen", [&] { return Find<wxListBox>(second, ids::IDC_SELECTED_LIST)->GetCount() == 3; })
      .Do("listen to the status line, convert",
          [&] {
            second->Bind(
                wxEVT_TEXT,
                [&](wxCommandEvent& event) {
                  statuses.insert(event.GetString().utf8_string());
                  if (pages::ProgressStrip* bar = second->progressBar()) {
                    barAtStatus[event.GetString().utf8_string()] = bar->GetValue();
                    if (paintedBar.empty()) {
                      paintedBar.push_back(bar->GetValue());
                      bar->Bind(wxEVT_PAINT, [&, bar](wxPaintEvent& paint) {
                        paintedBar.push_back(bar->GetValue());
                        paint.Skip();
                      });
                    }
                  }
                  event.Skip();
                },
                ids::IDC_CONVERT_STATUS);
            chosen = Entries(Find<wxListBox>(second, ids::IDC_SELECTED_LIST));
            Click(second->FindWindow(ids::IDC_CONVERT));
          })
      .Then("watch until done", [&] {
        if (second->converting() && !clickedDuringRun) {
          clickedDuringRun = true;  // input is blocked while the run works
          EXPECT_FALSE(second->FindWindow(ids::IDC_PREV)->IsEnabled());
          EXPECT_FALSE(second->FindWindow(ids::IDC_CONVERT)->IsEnabled());
          Click(second->FindWindow(ids::IDC_PREV));
        }
        auto* done = ShownWindow<CDoneMsgDlg>();
        if (!done) return false;
        EXPECT_FALSE(done->ReportsFailures());
        gaugeAtDone = second->progressBar()->GetValue();
        barAtDone = RenderWindow(*second->progressBar());
        return true;
      })
      .Do("close the completion dialog", [&] { Click(ShownWindow<CDoneMsgDlg>()->FindWindow(wxID_OK)); });
  Run(script);
  EXPECT_TRUE(clickedDuringRun);

  EXPECT_TRUE(statuses.count("Converting....Tables   Orders")) << "the status line while Orders is copied";
  EXPECT_TRUE(statuses.count("Database Conversion Compleated"));
  EXPECT_EQ(gaugeAtDone, 610);
  // In step with the status line: when a table's name appears the bar stands at
  // the start of its share, and it moves within the share as Orders' rows copy.
  const auto ordersEntry = std::find(chosen.begin(), chosen.end(), "Orders");
  ASSERT_NE(ordersEntry, chosen.end());
  const std::size_t index = static_cast<std::size_t>(ordersEntry - chosen.begin());
  const int start = pages::ProgressPosition(index, chosen.size()) - pages::kProgressLow;
  const int end = pages::ProgressPosition(index + 1, chosen.size()) - pages::kProgressLow;
  EXPECT_EQ(barAtStatus["Converting....Tables   Orders"], start);
  EXPECT_TRUE(std::any_of(paintedBar.begin(), paintedBar.end(),
                          [&](int v) { return v > start && v < end; }))
      << "the bar moved inside Orders";
  EXPECT_TRUE(std::is_sorted(paintedBar.begin(), paintedBar.end())) << "it never moves back";
  // Full, and painted solid in its own colour.
  ASSERT_TRUE(barAtDone.IsOk());
  for (int x : {2, 300, 600}) {
    EXPECT_EQ((pages::Rgb{barAtDone.GetRed(x, 5), barAtDone.GetGreen(x, 5), barAtDone.GetBlue(x, 5)}),
              pages::kProgressFill)
        << x;
  }
  EXPECT_TRUE(g_env->launcher.urls.empty()) << "a finished conversion opens no web page";

  const MdbToolsRead tools = ReadWithMdbTools(destination);
  ASSERT_TRUE(tools.ok) << tools.problems;
  std::vector<std::string> tables = tools.tables;
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"Customers", "Orders", "countr"}));
  const MdbExport orders = ExportWithMdbTools(destination, "Orders");
  ASSERT_TRUE(orders.ok) << orders.problems;
  EXPECT_EQ(orders.rows.size(), static_cast<std::size_t>(kOrderRows));
  const MdbReaderRead reader = ReadWithMdbReader(destination);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* customers = FindReaderTable(reader.document, "Customers");
  ASSERT_NE(customers, nullptr);
  EXPECT_EQ((*customers)["rows"].size(), 2u);
}

TEST_F(WizardGui, FailedTablesAreListedWithTheirReasonInsteadOfSuccess) {
  TempDir dir;
  // The folder exists at Next and is gone at Convert, so the file cannot be created
  // and no table converts.
  const std::string destination = dir.File("missing/Sales.mdb");
  std::filesystem::create_directories(dir.File("missing"));
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  std::string failures;
  StepScript script(60000);
  FillForSqlLogon(script, page, g_env->MdfPath(), destination);
  script.Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("choose Customers", [&] {
        auto* left = Find<wxListBox>(second, ids::IDC_TABLE_LIST);
        left->SetSelection(left->FindString("Customers"));
        Click(second->FindWindow(ids::IDC_ADD));
      })
      .Then("chosen", [&] { return Find<wxListBox>(second, ids::IDC_SELECTED_LIST)->GetCount() == 1; })
      .Do("remove the folder, convert", [&] {
        std::filesystem::remove_all(dir.File("missing"));
        Click(second->FindWindow(ids::IDC_CONVERT));
      })
      .Then("completion dialog", [&] { return ShownWindow<CDoneMsgDlg>() != nullptr; })
      .Do("read it, close it", [&] {
        auto* done = ShownWindow<CDoneMsgDlg>();
        EXPECT_TRUE(done->ReportsFailures());
        if (auto* list = Find<wxTextCtrl>(done, ids::IDC_FAILED_TABLES)) failures = list->GetValue().utf8_string();
        PressKey(done, WXK_ESCAPE);
      });
  Run(script);
  EXPECT_NE(failures.find("Customers"), std::string::npos) << failures;
  EXPECT_EQ(failures.find("Successfully"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(destination));
}

TEST_F(WizardGui, PrevBuildsAFreshFirstPageWhoseCancelOpensNothing) {
  TempDir dir;
  CConnectionDlg* page = nullptr;
  CConnectionDlg* fresh = nullptr;
  CConvertDlg* second = nullptr;
  StepScript script;
  wxPoint firstAt, secondAt;
  FillForSqlLogon(script, page, g_env->MdfPath(), dir.File("Prev.mdb"));
  script.Do("next", [&] {
          firstAt = page->GetPosition();
          Click(page->FindWindow(ids::IDC_NEXT));
        })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("move the second page, prev", [&] {
        EXPECT_EQ(second->GetPosition(), firstAt) << "the second page opens where the first stood";
        second->Move(firstAt + wxPoint(37, 23));
        secondAt = second->GetPosition();
        Click(second->FindWindow(ids::IDC_PREV));
      })
      .Then("a new first page", [&] {
        fresh = ShownWindow<CConnectionDlg>();
        return fresh != nullptr && ShownWindow<CConvertDlg>() == nullptr;
      })
      .Do("fields start empty; cancel",
          [&] {
            EXPECT_EQ(fresh->GetPosition(), secondAt) << "the rebuilt page opens where prev was";
            EXPECT_TRUE(Find<wxTextCtrl>(fresh, ids::IDC_SOURCE_PATH)->GetValue().empty());
            EXPECT_EQ(Find<wxTextCtrl>(fresh, ids::IDC_SERVER_NAME)->GetValue(), "localhost");
            EXPECT_TRUE(Find<wxRadioButton>(fresh, ids::IDC_AUTH_WINDOWS)->GetValue());
            EXPECT_EQ(engine::g_strDatabaseName, "Sales");  // the settings keep their values
            PressKey(fresh, WXK_ESCAPE);
          });
  Run(script);
  EXPECT_TRUE(g_env->launcher.urls.empty());
}

TEST_F(WizardGui, TheHelpAndBuyButtonsAskTheDesktopAndChangeNothing) {
  CConnectionDlg* page = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("help", [&] { Click(page->FindWindow(ids::IDC_HELP_BUTTON)); })
      .Then("help asked", [&] { return g_env->launcher.urls.size() == 1; })
      .Do("buy", [&] { Click(page->FindWindow(ids::IDC_BUY_CONNECTION)); })
      .Then("buy asked", [&] { return g_env->launcher.urls.size() == 2; })
      .Do("F1", [&] { PressKey(page, WXK_F1); })
      .Then("help asked again", [&] { return g_env->launcher.urls.size() == 3; })
      .Do("leave", [&] {
        EXPECT_TRUE(page->IsShown());
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
  ASSERT_EQ(g_env->launcher.urls.size(), 4u);
  EXPECT_EQ(g_env->launcher.urls[2], g_env->launcher.urls[0]);
  EXPECT_EQ(g_env->launcher.urls[0].rfind("file://", 0), 0u);
  EXPECT_NE(g_env->launcher.urls[0].find("help/index.html"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(g_env->launcher.urls[0].substr(7)));
  EXPECT_EQ(g_env->launcher.urls[1], app::kMakerWebPage);
}

TEST_F(WizardGui, NextRefusesADestinationInAMissingFolderAndNamesIt) {
  TempDir dir;
  CConnectionDlg* page = nullptr;
  pages::MessageWindow* message = nullptr;
  const std::string folder = dir.File("nodir");
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("type paths, next", [&] {
        Find<wxTextCtrl>(page, ids::IDC_SOURCE_PATH)->ChangeValue(g_env->MdfPath());
        Find<wxTextCtrl>(page, ids::IDC_DEST_PATH)->ChangeValue(folder + "/x.mdb");
        Click(page->FindWindow(ids::IDC_NEXT));
      })
      .Then("message", MessageSays("The folder \"" + folder + "\" does not exist.\n\n"
                                   "Please choose a destination in an existing folder.",
                                   pages::kPageMessageCaption, message))
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("back on the page, destination focused", [&] {
        return !ShownMessage() && wxWindow::FindFocus() == page->FindWindow(ids::IDC_DEST_PATH);
      })
      .Do("leave", [&] {
        EXPECT_EQ(ShownWindow<CConvertDlg>(), nullptr);
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
  EXPECT_FALSE(std::filesystem::exists(folder));
}

// The desktop launcher itself, with a fake xdg-open first on PATH that records its
// argument and succeeds or fails, and with no opener at all.
TEST_F(WizardGui, HelpSaysWhereToLookWhenNoBrowserStarts) {
  TempDir dir;
  app::SetShellLauncher(nullptr);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  const std::string log = dir.File("opened.txt");
  struct Case {
    std::string opener;  // the fake xdg-open's script; empty: none on PATH
    bool messageExpected;
  };
  const Case cases[] = {
      {"#!/bin/sh\necho \"$1\" >> " + log + "\nexit 0\n", false},
      {"#!/bin/sh\necho \"$1\" >> " + log + "\nexit 3\n", true},
      {"", true},
  };
  for (const Case& c : cases) {
    const std::string bin = dir.File("bin" + std::to_string(&c - cases));
    std::filesystem::create_directories(bin);
    if (!c.opener.empty()) {
      std::ofstream(bin + "/xdg-open") << c.opener;
      std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    }
    setenv("PATH", bin.c_str(), 1);  // nothing else: no real opener is found
    std::filesystem::remove(log);
    CConnectionDlg* page = nullptr;
    std::string said;
    StepScript script;
    script.Then("first page", FirstPage(page))
        .Do("help", [&] { Click(page->FindWindow(ids::IDC_HELP_BUTTON)); })
        .Then("settled", [&, settle = 0]() mutable {
          if (auto* message = ShownMessage()) {
            said = message->GetMessage().utf8_string();
            Click(message->FindWindow(wxID_OK));
            return false;
          }
          return ++settle > 20;
        })
        .Do("leave by prev-less close", [&] { page->EndModal(wxID_CANCEL); });
    Run(script, [] {
      CConnectionDlg page;
      page.ShowModal();
    });
    setenv("PATH", oldPath.c_str(), 1);
    const std::string helpPath = app::HelpFileUrl().substr(7);
    if (c.messageExpected) {
      EXPECT_NE(said.find("No web browser could be started"), std::string::npos) << said;
      EXPECT_NE(said.find(helpPath), std::string::npos) << said;
    } else {
      EXPECT_TRUE(said.empty()) << said;
      std::ifstream in(log);
      std::string opened;
      std::getline(in, opened);
      EXPECT_EQ(opened, app::HelpFileUrl());
    }
  }
  app::SetShellLauncher(&g_env->launcher);
}

// Every picture button shows a dotted frame while it has the focus, and none without.
TEST_F(WizardGui, TabStopsOnPictureButtonsShowTheFocus) {
  CConnectionDlg* page = nullptr;
  const int buttons[] = {ids::IDC_BROWSE_SOURCE, ids::IDC_NEXT, ids::IDC_BROWSE_DEST,
                         ids::IDC_BUY_CONNECTION, ids::IDC_HELP_BUTTON};
  auto darkFrame = [](wxWindow* button) {
    const wxImage image = RenderWindow(*button);
    int dark = 0;
    for (int x = 3; x < image.GetWidth() - 3; ++x)
      if (image.GetRed(x, 2) < 40 && image.GetGreen(x, 2) < 40 && image.GetBlue(x, 2) < 40) ++dark;
    return dark;
  };
  StepScript script;
  script.Then("first page", FirstPage(page));
  for (int id : buttons) {
    script.Do("focus", [&page, id] { page->FindWindow(id)->SetFocus(); })
        .Then("focused, framed", [&page, id, darkFrame] {
          wxWindow* button = page->FindWindow(id);
          if (wxWindow::FindFocus() != button) return false;
          wxYield();
          EXPECT_GT(darkFrame(button), 10) << id;
          return true;
        });
  }
  script.Do("unfocused: no frame; leave", [&] {
    page->FindWindow(ids::IDC_SOURCE_PATH)->SetFocus();
    wxYield();
    EXPECT_EQ(darkFrame(page->FindWindow(ids::IDC_NEXT)), 0);
    PressKey(page, WXK_ESCAPE);
  });
  Run(script);
}

TEST_F(WizardGui, TheAboutBoxOpensFromTheFirstPagesContextMenu) {
  CConnectionDlg* page = nullptr;
  app::CAboutDlg* about = nullptr;
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("right click the background",
          [&] {
            wxUIActionSimulator sim;
            sim.MouseMove(page->ClientToScreen(wxPoint(20, 500)));
            sim.MouseClick(wxMOUSE_BTN_RIGHT);
          })
      .Do("choose the item", [&] {
        wxUIActionSimulator sim;
        sim.Char(WXK_DOWN);
        sim.Char(WXK_RETURN);
      })
      .Then("about box", [&] { return (about = ShownWindow<app::CAboutDlg>()) != nullptr; })
      .Do("check it, close it",
          [&] {
            EXPECT_EQ(about->GetTitle(), "About Kestrin1");
            bool versionLine = false;
            for (wxWindow* child : about->GetChildren())
              if (auto* text = dynamic_cast<wxStaticText*>(child))
                versionLine |= text->GetLabel() == "Kestrin1 Version 1.0";
            EXPECT_TRUE(versionLine);
            Click(about->FindWindow(wxID_OK));
          })
      .Then("closed", [&] { return ShownWindow<app::CAboutDlg>() == nullptr; })
      .Do("page unchanged; leave", [&] {
        EXPECT_TRUE(page->IsShown());
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
}

// The desktop's own folder chooser: it opens at the destination's folder, and a
// folder path typed into it is the folder chosen.
TEST_F(WizardGui, TheDesktopFolderChooserTakesATypedPath) {
  TempDir start;
  TempDir typed;
  CConnectionDlg* page = nullptr;
  wxTextCtrl* destination = nullptr;
  std::string chosen;
  int ticks = 0;
  // The chooser (not a wx window on GTK) opens at the screen's top left without a
  // window manager; keys go to the window under the pointer.
  auto overTheChooser = [] {
    wxUIActionSimulator sim;
    sim.MouseMove(400, 300);
  };
  pages::SetPathChoosers(nullptr);
  StepScript script;
  script.Then("first page", FirstPage(page))
      .Do("destination in one folder; folder browse",
          [&] {
            destination = Find<wxTextCtrl>(page, ids::IDC_DEST_PATH);
            destination->ChangeValue(start.File("Sales.mdb"));
            Click(page->FindWindow(ids::IDC_BROWSE_DEST));
          })
      .Then("the chooser opens", [&] { return ++ticks > 30; })
      .Do("type the other folder", [&] {
        overTheChooser();
        TypeText(typed.path() + "/");
      })
      .Then("typed", [&] { return ++ticks > 60; })
      .Do("enter", [&] {
        overTheChooser();
        wxUIActionSimulator sim;
        sim.Char(WXK_RETURN);
      })
      .Then("chosen", [&] {
        return destination->GetValue().utf8_string() != start.File("Sales.mdb") || ++ticks > 160;
      })
      .Do("leave", [&] {
        if (destination->GetValue().utf8_string() == start.File("Sales.mdb")) {
          overTheChooser();
          wxUIActionSimulator sim;
          sim.Char(WXK_ESCAPE);  // the chooser ignored the path: close it
        }
      })
      .Then("chooser closed", [&] { return ++ticks > 200 || destination->GetValue().utf8_string() != start.File("Sales.mdb"); })
      .Do("close the page", [&] {
        chosen = destination->GetValue().utf8_string();
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);
  pages::SetPathChoosers(&g_env->choosers);
  EXPECT_EQ(chosen, typed.File("Sales.mdb")) << "started in " << start.path();
}

// Each message window is wide enough for its whole caption, and long texts wrap
// instead of widening the window or scrolling sideways.
TEST_F(WizardGui, MessageWindowsFitTheirCaptionAndWrapLongTexts) {
  const std::string caption = "Talvoro Database Converter (MSSQL Server To MS Access)";
  const std::string longPath = "/home/user/" + std::string(30, 'a') + "/" + std::string(30, 'b') +
                               "/Quarterly exports of the sales department/Sales.mdb";
  std::vector<std::function<wxDialog*()>> makers = {
      [] { return new CSelectTableMsgDlg(); },
      [] { return new CDoneMsgDlg(); },
      [&] {
        return new CDoneMsgDlg(nullptr, "Orders: 12 rows copied, then [22008] the value of column "
                                        "ShippedDate in row 13 is before the year 100, which a "
                                        "Date/Time column of an Access database cannot hold; " +
                                            longPath);
      },
      [&] {
        return new pages::MessageWindow(nullptr, "File Named " + longPath + " is Already Exist..",
                                        caption, wxYES_NO);
      },
      [] {
        return new pages::MessageWindow(nullptr, "Please Select a Database",
                                        pages::kPageMessageCaption, wxOK);
      },
  };
  for (std::size_t i = 0; i < makers.size(); ++i) {
    SCOPED_TRACE(i);
    std::unique_ptr<wxDialog> dialog(makers[i]());
    StepScript script;
    script.Then("shown", [&] { return dialog->IsShown(); })
        .Do("measure, close", [&] {
          const int captionWidth = pages::CaptionTextWidth(*dialog, dialog->GetTitle());
          EXPECT_GE(dialog->GetClientSize().x, captionWidth + pages::kTitleBarAllowance);
          EXPECT_LE(dialog->GetClientSize().x, 700) << "long texts wrap instead";
          for (wxWindow* child : dialog->GetChildren()) {
            if (auto* text = dynamic_cast<wxStaticText*>(child)) {
              EXPECT_LE(text->GetSize().x, pages::kMessageWrapWidth) << text->GetLabel();
            }
            if (auto* list = dynamic_cast<wxTextCtrl*>(child)) {
              EXPECT_FALSE(list->HasFlag(wxTE_DONTWRAP)) << "the failure list wraps";
            }
            // Every control lies inside the window.
            const wxRect inside(wxPoint(0, 0), dialog->GetClientSize());
            EXPECT_TRUE(inside.Contains(child->GetRect())) << child->GetName();
          }
          dialog->EndModal(wxID_OK);
        });
    Run(script, [&] { dialog->ShowModal(); });
  }
}

// The painted look read back from the rendered windows.
TEST_F(WizardGui, PagesAndMessagesPaintGradientStripsAndFrames) {
  auto pixel = [](const wxImage& image, int x, int y) {
    return pages::Rgb{image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
  };
  StepScript script;
  CConnectionDlg* page = nullptr;
  script.Then("first page", FirstPage(page))
      .Do("read the first page", [&] {
        const wxImage image = RenderWindow(*page);
        ASSERT_TRUE(image.IsOk());
        const std::vector<pages::Rgb> rows =
            pages::GradientRowColours(pages::GradientWindowHeight(*page), pages::GradientRule::Page);
        for (int y : {0, 3, 4, 60, 200, 400, 516}) EXPECT_EQ(pixel(image, 5, y), rows[y]) << y;
        EXPECT_NE(pixel(image, 5, 0), pixel(image, 5, 516)) << "the bands change colour";
        // The title strip's background at its right end, where the text does not reach.
        EXPECT_EQ(pixel(image, 655, 72), (pages::Rgb{240, 240, 218}));
        // "Server Name": its background above the letters' tops at the strip's right end.
        EXPECT_EQ(pixel(image, 345, 170), (pages::Rgb{240, 240, 181}));
        // Frame lines: the source box, its left edge and bottom edge; the gap for the caption.
        const pages::Rgb black{0, 0, 0};
        EXPECT_EQ(pixel(image, 49, 250), black);
        EXPECT_EQ(pixel(image, 620, 250), black);
        EXPECT_EQ(pixel(image, 300, 354), black);
        EXPECT_EQ(pixel(image, 619, 450), black);
        EXPECT_NE(pixel(image, 50, 250), black);
        EXPECT_EQ(pixel(image, 40, 354), rows[354]) << "nothing left of the box";
        PressKey(page, WXK_ESCAPE);
      });
  Run(script);

  StepScript messageScript;
  messageScript.Then("message", [] { return ShownWindow<CSelectTableMsgDlg>() != nullptr; })
      .Do("read the message dialog", [&] {
        auto* message = ShownWindow<CSelectTableMsgDlg>();
        const wxImage image = RenderWindow(*message);
        ASSERT_TRUE(image.IsOk());
        const std::vector<pages::Rgb> rows = pages::GradientRowColours(
            pages::GradientWindowHeight(*message), pages::GradientRule::Message);
        for (int y : {0, 1, 10, 60, 84}) EXPECT_EQ(pixel(image, 2, y), rows[y]) << y;
        // The heading has no box of its own: the gradient shows beside its letters.
        EXPECT_EQ(pixel(image, 10 + 121, 20), rows[20]);
        Click(message->FindWindow(ids::IDC_MSG_OK));
      });
  Run(messageScript, [] {
    CSelectTableMsgDlg message;
    message.ShowModal();
  });
}

}  // namespace
}  // namespace talvoro::test

namespace talvoro::test {
namespace {

// A server on another "machine" (127.0.0.2), named in the server field, with a
// database typed by name (there is no .mdf to browse), dots included.
TEST_F(WizardGui, TheServerFieldNamesAnotherMachineAndADatabaseTypedByName) {
  // FreeTDS would let TDSPORT (set for this machine's stand-in) override the named port.
  const std::string localPort = std::getenv("TDSPORT") ? std::getenv("TDSPORT") : "";
  unsetenv("TDSPORT");
  StandinProcess::Options options;
  options.listen = "127.0.0.2";
  StandinProcess remote(options);
  {
    odbc::Database master;
    master.OpenEx(remote.ConnectString("master"));
    master.ExecuteSQL("CREATE DATABASE [Remote.Sales]");
    odbc::Database sales;
    sales.OpenEx(remote.ConnectString("Remote.Sales"));
    sales.ExecuteSQL("CREATE TABLE Items (ItemID int NOT NULL PRIMARY KEY, Name nvarchar(20) NULL)");
    sales.ExecuteSQL("INSERT INTO Items VALUES (1, N'Nut'), (2, N'Bolt')");
  }

  TempDir dir;
  const std::string destination = dir.File("Remote.Sales.mdb");
  const std::string server = "127.0.0.2," + std::to_string(remote.port());
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  pages::MessageWindow* message = nullptr;
  StepScript script(60000);
  FillForSqlLogon(script, page, "Remote.Sales", destination);
  script.Do("type a server that does not exist",
            [&] { Find<wxTextCtrl>(page, ids::IDC_SERVER_NAME)->ChangeValue("nosuchhost.invalid"); })
      .Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("named", MessageSays("the server nosuchhost.invalid does not answer", "Kestrin1", message))
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("back on the page", [&] { return !ShownMessage(); })
      .Do("type the server by host and port",
          [&] { Find<wxTextCtrl>(page, ids::IDC_SERVER_NAME)->ChangeValue(server); })
      .Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("whole database", [&] { Click(second->FindWindow(ids::IDC_WHOLE_DATABASE)); })
      .Then("on", [&] { return Find<wxRadioButton>(second, ids::IDC_WHOLE_DATABASE)->GetValue(); })
      .Do("add all", [&] { Click(second->FindWindow(ids::IDC_ADD)); })
      .Then("the remote table", [&] {
        return Entries(Find<wxListBox>(second, ids::IDC_SELECTED_LIST)) ==
               std::vector<std::string>{"Items"};
      })
      .Do("convert", [&] { Click(second->FindWindow(ids::IDC_CONVERT)); })
      .Then("done", [&] {
        auto* done = ShownWindow<CDoneMsgDlg>();
        if (!done) return false;
        EXPECT_FALSE(done->ReportsFailures());
        return true;
      })
      .Do("close the completion dialog", [&] { Click(ShownWindow<CDoneMsgDlg>()->FindWindow(wxID_OK)); });
  Run(script);
  if (!localPort.empty()) setenv("TDSPORT", localPort.c_str(), 1);

  EXPECT_EQ(engine::g_conversionSettings.serverName, server);
  EXPECT_EQ(engine::g_strDatabaseName, "Remote.Sales");
  const MdbReaderRead reader = ReadWithMdbReader(destination);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* items = FindReaderTable(reader.document, "Items");
  ASSERT_NE(items, nullptr);
  ASSERT_EQ((*items)["rows"].size(), 2u);
  EXPECT_EQ((*items)["rows"][1]["Name"], "Bolt");
}

}  // namespace
}  // namespace talvoro::test

namespace talvoro::test {
namespace {

// The first page's Encrypt connection box reaches the connection: the stand-in's
// self-signed certificate is refused with the message that names it, and
// accepted once Trust server certificate is ticked too.
TEST_F(WizardGui, EncryptConnectionChecksTheCertificateAndTrustAcceptsIt) {
  const std::string localPort = std::getenv("TDSPORT") ? std::getenv("TDSPORT") : "";
  unsetenv("TDSPORT");
  StandinProcess::Options options;
  options.listen = "127.0.0.2";
  StandinProcess remote(options);
  {
    odbc::Database master;
    master.OpenEx(remote.ConnectString("master"));
    master.ExecuteSQL("CREATE DATABASE Vault");
    odbc::Database vault;
    vault.OpenEx(remote.ConnectString("Vault"));
    vault.ExecuteSQL("CREATE TABLE Items (ItemID int NOT NULL PRIMARY KEY, Name nvarchar(20) NULL)");
    vault.ExecuteSQL("INSERT INTO Items VALUES (1, N'Nut'), (2, N'Bolt')");
  }

  TempDir dir;
  const std::string destination = dir.File("Vault.mdb");
  const std::string server = "127.0.0.2," + std::to_string(remote.port());
  CConnectionDlg* page = nullptr;
  CConvertDlg* second = nullptr;
  pages::MessageWindow* message = nullptr;
  StepScript script(60000);
  FillForSqlLogon(script, page, "Vault", destination);
  script.Do("type the server", [&] { Find<wxTextCtrl>(page, ids::IDC_SERVER_NAME)->ChangeValue(server); })
      .Then("trust waits for encryption",
            [&] { return !page->FindWindow(ids::IDC_TRUST_SERVER_CERTIFICATE)->IsEnabled(); })
      .Do("tick encrypt", [&] { Click(page->FindWindow(ids::IDC_ENCRYPT)); })
      .Then("ticked", [&] {
        return Find<wxCheckBox>(page, ids::IDC_ENCRYPT)->GetValue() &&
               page->FindWindow(ids::IDC_TRUST_SERVER_CERTIFICATE)->IsEnabled();
      })
      .Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("the certificate is refused", [&] {
        message = ShownMessage();
        if (!message) return false;
        const std::string text = message->GetMessage().utf8_string();
        EXPECT_NE(text.find("the certificate of the server " + server +
                            " is refused: it is self-signed"),
                  std::string::npos) << text;
        EXPECT_NE(text.find("tick \"Trust server certificate\""), std::string::npos) << text;
        return true;
      })
      .Do("ok", [&] { Click(message->FindWindow(wxID_OK)); })
      .Then("back on the page", [&] { return !ShownMessage(); })
      .Do("tick trust", [&] { Click(page->FindWindow(ids::IDC_TRUST_SERVER_CERTIFICATE)); })
      .Then("trusted", [&] { return Find<wxCheckBox>(page, ids::IDC_TRUST_SERVER_CERTIFICATE)->GetValue(); })
      .Do("next", [&] { Click(page->FindWindow(ids::IDC_NEXT)); })
      .Then("second page", [&] { return (second = ShownWindow<CConvertDlg>()) != nullptr; })
      .Do("whole database", [&] { Click(second->FindWindow(ids::IDC_WHOLE_DATABASE)); })
      .Then("on", [&] { return Find<wxRadioButton>(second, ids::IDC_WHOLE_DATABASE)->GetValue(); })
      .Do("add all", [&] { Click(second->FindWindow(ids::IDC_ADD)); })
      .Then("the table", [&] {
        return Entries(Find<wxListBox>(second, ids::IDC_SELECTED_LIST)) == std::vector<std::string>{"Items"};
      })
      .Do("convert", [&] { Click(second->FindWindow(ids::IDC_CONVERT)); })
      .Then("done", [&] {
        auto* done = ShownWindow<CDoneMsgDlg>();
        if (!done) return false;
        EXPECT_FALSE(done->ReportsFailures());
        return true;
      })
      .Do("close the completion dialog", [&] { Click(ShownWindow<CDoneMsgDlg>()->FindWindow(wxID_OK)); });
  Run(script);
  if (!localPort.empty()) setenv("TDSPORT", localPort.c_str(), 1);

  EXPECT_TRUE(engine::g_conversionSettings.encryption.required);
  EXPECT_TRUE(engine::g_conversionSettings.encryption.trustServerCertificate);
  const MdbReaderRead reader = ReadWithMdbReader(destination);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* items = FindReaderTable(reader.document, "Items");
  ASSERT_NE(items, nullptr);
  ASSERT_EQ((*items)["rows"].size(), 2u);
}

}  // namespace
}  // namespace talvoro::test
