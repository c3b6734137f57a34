// The first page's proposals, the run's progress bar and the message windows'
// width: plain decisions, tested without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "app/startup_environment.h"
#include "pages/page_logic.h"

namespace talvoro::pages {
namespace {

namespace fs = std::filesystem;

TEST(Proposals, TheDemoFolderOrHome) {
  EXPECT_EQ(DestinationFolder("", "/home/u"), "/home/u");
  EXPECT_EQ(DestinationFolder("/srv/demo/var/out", "/home/u"), "/srv/demo/var/out");
}

TEST(Proposals, ATypedSourceProposesLikeBrowseUnlessTheUserChoseADestination) {
  struct Case {
    const char* story;
    const char* source;
    const char* destination;   // in the field now
    const char* lastProposal;  // what the page last put there
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"empty field", "/d/Sales.mdf", "", "", "/out/Sales.mdb"},
      {"still our proposal", "/d/Orders.2008.mdf", "/out/Sales.mdb", "/out/Sales.mdb",
       "/out/Orders.mdb"},
      {"the user's own destination stays", "/d/Orders.mdf", "/mine/x.mdb", "/out/Sales.mdb",
       std::nullopt},
      {"typed before any proposal", "/d/Orders.mdf", "/mine/x.mdb", "", std::nullopt},
      {"no name yet clears our proposal", "/d/", "/out/Sales.mdb", "/out/Sales.mdb", ""},
      {"a half-typed name", "/d/Sa", "", "", "/out/Sa.mdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.story);
    EXPECT_EQ(ProposeDestinationForTypedSource(c.source, c.destination, c.lastProposal, "/out"),
              c.expected);
  }
}

TEST(Proposals, TheFolderChooserStartsAtTheDestinationsFolder) {
  const fs::path root = fs::temp_directory_path() / ("chooser-start-" + std::to_string(::getpid()));
  fs::create_directories(root / "out");
  const std::string out = (root / "out").string();
  struct Case {
    std::string destination;
    std::string expected;
  };
  const Case cases[] = {
      {out + "/Sales.mdb", out},                    // the file need not exist
      {out + "/", out},                             // a folder named outright
      {out + "/gone/deeper/Sales.mdb", out},        // nearest existing folder above
      {"out/Sales.mdb", out},                       // relative to the working folder
      {"", "/home/u"},                              // nothing yet
      {"Sales.mdb", root.string()},                 // the working folder itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    EXPECT_EQ(FolderChooserStart(c.destination, root.string(), "/home/u"), c.expected);
  }
  fs::remove_all(root);
}

TEST(Proposals, TheMissingDatabaseMessageNamesIt) {
  const std::string message = MissingDatabaseMessage("Salse");
  EXPECT_NE(message.find("\"Salse\""), std::string::npos);
  EXPECT_EQ(message.find("Login failed"), std::string::npos);
}

TEST(RunProgressBar, AdvancesWithRowsAndTablesAndEndsFull) {
  RunProgress p;
  EXPECT_EQ(p.position(), kProgressLow);
  p.TableStarted(0, 2);
  EXPECT_EQ(p.position(), 40);
  p.RowCountKnown(1'500'000);
  p.RowsCopied(750'000);
  EXPECT_EQ(p.position(), 40 + 305 / 2);  // half of the first table's share
  p.RowsCopied(1'500'000);
  EXPECT_EQ(p.position(), 345);
  p.TableFinished();
  EXPECT_EQ(p.position(), 345);
  // The second table fails at once: its share still fills when it ends.
  p.TableStarted(1, 2);
  EXPECT_EQ(p.position(), 345);
  p.TableFinished();
  EXPECT_EQ(p.position(), 650);
  p.RunFinished();
  EXPECT_EQ(p.position(), 650);
}

TEST(RunProgressBar, NeverMovesBackOrPastTheEnd) {
  struct Case {
    const char* story;
    std::uint64_t expected;  // row count the source gave (0: none)
    std::uint64_t copied;
    int position;            // after the rows, in a first table of 3
  };
  const Case cases[] = {
      {"no count: stays at the table's start", 0, 5000, 40},
      {"more rows than counted: stops at the table's end", 10, 25, 243},
      {"a quarter", 1000, 250, 40 + 203 / 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.story);
    RunProgress p;
    p.TableStarted(0, 3);
    if (c.expected) p.RowCountKnown(c.expected);
    p.RowsCopied(c.copied);
    EXPECT_EQ(p.position(), c.position);
    p.RowsCopied(0);  // a lower count later does not move it back
    EXPECT_EQ(p.position(), c.position);
  }
  RunProgress single;
  single.TableStarted(0, 1);
  single.RunFinished();
  EXPECT_EQ(single.position(), 650);
}

TEST(RunProgressBar, FilledWidth) {
  EXPECT_EQ(ProgressFillWidth(0, 610, 608), 0);
  EXPECT_EQ(ProgressFillWidth(305, 610, 608), 304);
  EXPECT_EQ(ProgressFillWidth(610, 610, 608), 608);
  EXPECT_EQ(ProgressFillWidth(9999, 610, 608), 608);
  EXPECT_EQ(ProgressFillWidth(-5, 610, 608), 0);
  EXPECT_EQ(ProgressFillWidth(5, 0, 608), 0);
}

TEST(MessageWindows, WideEnoughForTheirCaption) {
  EXPECT_EQ(MessageClientWidth(179, 400), 400 + kTitleBarAllowance);
  EXPECT_EQ(MessageClientWidth(600, 400), 600);
  EXPECT_EQ(MessageClientWidth(179, 0), 179);
}

TEST(StartUp, MemorySettingsOnlyWithoutASessionBusAndUnlessChosen) {
  struct Case {
    const char* backend;
    const char* bus;
    bool socket;
    bool memory;
  };
  const Case cases[] = {
      {nullptr, nullptr, false, true},
      {"", "", false, true},
      {"dconf", nullptr, false, false},  // the user's choice stands
      {nullptr, "unix:path=/run/user/1000/bus", false, false},
      {nullptr, nullptr, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::UseMemorySettingsBackend(c.backend, c.bus, c.socket), c.memory)
        << (c.backend ? c.backend : "-") << " " << (c.bus ? c.bus : "-") << " " << c.socket;
  }
}

}  // namespace
}  // namespace talvoro::pages

namespace talvoro::pages {
namespace {

// Every character 10 pixels wide.
int Monospace(std::string_view s) { return static_cast<int>(s.size()) * 10; }

TEST(MessageWindows, LongTextsWrapAtBlanksThenInsideLongWords) {
  struct Case {
    const char* text;
    const char* wrapped;  // at 100 pixels: 10 characters a line
  };
  const Case cases[] = {
      {"short", "short"},
      {"File Named x is Already", "File Named\nx is\nAlready"},
      {"a\n\nb", "a\n\nb"},                                    // line breaks stay
      {"/home/user/data/Sales.mdb", "/home/\nuser/data/\nSales.mdb"},  // paths break after "/"
      {"abcdefghijklmnopqrstuvwxyz", "abcdefghij\nklmnopqrst\nuvwxyz"},
      {"see /very/long/path/x.mdb now", "see\n/very/\nlong/path/\nx.mdb now"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string wrapped = WrapText(c.text, 100, Monospace);
    EXPECT_EQ(wrapped, c.wrapped);
    std::size_t from = 0;
    while (from <= wrapped.size()) {
      std::size_t end = wrapped.find('\n', from);
      if (end == std::string::npos) end = wrapped.size();
      EXPECT_LE(Monospace(std::string_view(wrapped).substr(from, end - from)), 100);
      from = end + 1;
    }
  }
  // Multi-byte letters are never split.
  EXPECT_EQ(WrapText("ääääää", 30, Monospace), "ä\nä\nä\nä\nä\nä");
}

}  // namespace
}  // namespace talvoro::pages

namespace talvoro::pages {
namespace {

TEST(MdfChooserStart, SourceFolderThenDemoDataThenHome) {
  namespace fs = std::filesystem;
  const std::string tmp = fs::temp_directory_path().string();
  struct Case {
    std::string source, demo, expected;
  };
  const Case cases[] = {
      {tmp + "/Sales.mdf", "/nonexistent-demo", tmp},        // the current source's folder
      {"Sales.mdf", "", tmp},                                // relative: from the working folder
      {"/nonexistent-dir/Sales.mdf", tmp, tmp},              // gone: the demo's data folder
      {"", "/nonexistent-demo", "/home/someone"},            // neither: home
  };
  for (const Case& c : cases)
    EXPECT_EQ(MdfChooserStart(c.source, tmp, c.demo, "/home/someone"), c.expected) << c.source;
}

}  // namespace
}  // namespace talvoro::pages

#include "app/url_opener.h"

namespace talvoro::app {
namespace {

TEST(ManualOpenMessage, GivesTheAddressOrTheDecodedPath) {
  EXPECT_EQ(ManualOpenMessage("https://www.talvoro.example/kestrin1/"),
            "No web browser could be started on this computer.\n\nPlease open this address in a "
            "browser by hand:\nhttps://www.talvoro.example/kestrin1/");
  EXPECT_EQ(ManualOpenMessage("file:///opt/my%20help/index.html"),
            "No web browser could be started on this computer.\n\nPlease open this file in a "
            "browser by hand:\n/opt/my help/index.html");
}

}  // namespace
}  // namespace talvoro::app
