#include "pages/page_logic.h"

#include <gtest/gtest.h>

namespace talvoro::pages {
namespace {

TEST(BrowseDerivation, DatabaseNameAndDefaultDestination) {
  struct Case {
    const char* mdf;
    const char* database;
    const char* destination;  // in /home/u
  };
  const Case cases[] = {
      {"/data/Sales.mdf", "Sales", "/home/u/Sales.mdb"},
      {"/data/Sales.2008.mdf", "Sales", "/home/u/Sales.mdb"},
      {"/data/LEGACY.MDF", "LEGACY", "/home/u/LEGACY.mdb"},
      {"/data/noext", "noext", "/home/u/noext.mdb"},
      {"/data.dir/Orders.mdf", "Orders", "/home/u/Orders.mdb"},  // dots in folders do not count
      {"/data/.hidden.mdf", "", ""},                             // no name before the first dot
      {"Relative.mdf", "Relative", "/home/u/Relative.mdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mdf);
    EXPECT_EQ(DatabaseNameFromMdfPath(c.mdf), c.database);
    EXPECT_EQ(DefaultDestinationPath("/home/u", DatabaseNameFromMdfPath(c.mdf)), c.destination);
  }
  EXPECT_EQ(FileTitle("/data/Sales.2008.mdf"), "Sales.2008");
  EXPECT_EQ(DefaultDestinationPath("/", "Sales"), "/Sales.mdb");
}

TEST(BrowseDerivation, LongNamesAreNotCut) {
  const std::string name(300, 'n');
  EXPECT_EQ(DatabaseNameFromMdfPath("/d/" + name + ".mdf"), name);
}

TEST(FolderBrowse, JoinsFolderAndFileName) {
  struct Case {
    const char* folder;
    const char* destination;
    const char* database;
    const char* joined;
  };
  const Case cases[] = {
      {"/media/e", "/old/Sales.mdb", "Sales", "/media/e/Sales.mdb"},
      {"/", "/old/Sales.mdb", "Sales", "/Sales.mdb"},  // a root already ends in "/"
      {"/media/e/", "/old/Sales.mdb", "", "/media/e/Sales.mdb"},
      {"/work", "Sales.mdb", "", "/work/Sales.mdb"},            // no folder in the destination
      {"/work", "", "Orders", "/work/Orders.mdb"},              // used before Browse
      {"/work", "/old/", "Orders", "/work/Orders.mdb"},         // destination names no file
      {"/work", "", "", "/work/"},                              // nothing to name the file by
      {"/a b/c", "/x/My File.mdb", "", "/a b/c/My File.mdb"},   // blanks survive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " + " + c.destination);
    EXPECT_EQ(JoinFolderAndFileName(c.folder, c.destination, c.database), c.joined);
  }
}

TEST(NextChecks, EmptySourceThenUnusableDestination) {
  EXPECT_EQ(CheckNextFields("", "/tmp/a.mdb"), "Please Select a Database");
  EXPECT_EQ(CheckNextFields("", ""), "Please Select a Database");
  const auto noFile = CheckNextFields("/d/Sales.mdf", "");
  ASSERT_TRUE(noFile.has_value());
  EXPECT_NE(noFile->find("Destination"), std::string::npos);
  EXPECT_TRUE(CheckNextFields("/d/Sales.mdf", "/tmp/").has_value());
  EXPECT_EQ(CheckNextFields("/d/Sales.mdf", "/tmp/Sales.mdb"), std::nullopt);
}

using Lists = std::vector<std::string>;

TEST(ListMoves, TableWiseMovesTheSelectedEntryToTheEnd) {
  Lists left{"A", "B", "C"}, right{"X"};
  EXPECT_EQ(MoveEntries(SelectionMode::TableWise, left, right, 1), MoveResult::Moved);
  EXPECT_EQ(left, (Lists{"A", "C"}));
  EXPECT_EQ(right, (Lists{"X", "B"}));
  // And back: it lands at the end, not at its former place.
  EXPECT_EQ(MoveEntries(SelectionMode::TableWise, right, left, 1), MoveResult::Moved);
  EXPECT_EQ(left, (Lists{"A", "C", "B"}));
  EXPECT_EQ(right, (Lists{"X"}));
}

TEST(ListMoves, TableWiseWithoutSelectionChangesNothing) {
  Lists left{"A", "B"}, right;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(MoveEntries(SelectionMode::TableWise, left, right, std::nullopt),
              MoveResult::NeedsSelection);
  EXPECT_EQ(MoveEntries(SelectionMode::TableWise, left, right, 7), MoveResult::NeedsSelection);
  Lists none;
  EXPECT_EQ(MoveEntries(SelectionMode::TableWise, none, right, std::nullopt),
            MoveResult::NeedsSelection);
  EXPECT_EQ(left, (Lists{"A", "B"}));
  EXPECT_TRUE(right.empty());
}

TEST(ListMoves, WholeDatabaseMovesEverythingInOrderBothWays) {
  Lists left{"A", "B", "C"}, right{"X"};
  // The selection does not matter in this mode.
  EXPECT_EQ(MoveEntries(SelectionMode::WholeDatabase, left, right, 2), MoveResult::Moved);
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(right, (Lists{"X", "A", "B", "C"}));
  EXPECT_EQ(MoveEntries(SelectionMode::WholeDatabase, left, right, std::nullopt),
            MoveResult::NothingToMove);
  EXPECT_EQ(MoveEntries(SelectionMode::WholeDatabase, right, left, std::nullopt),
            MoveResult::Moved);
  EXPECT_EQ(left, (Lists{"X", "A", "B", "C"}));
  EXPECT_TRUE(right.empty());
}

TEST(Progress, RisesWithEachTableAndEndsFull) {
  EXPECT_EQ(ProgressPosition(0, 3), 40);
  EXPECT_EQ(ProgressPosition(1, 3), 243);
  EXPECT_EQ(ProgressPosition(2, 3), 446);
  EXPECT_EQ(ProgressPosition(3, 3), 650);
  EXPECT_EQ(ProgressPosition(1, 1), 650);
  EXPECT_EQ(ProgressPosition(0, 0), 650);
  int last = 0;
  for (std::size_t done = 0; done <= 700; ++done) {
    const int position = ProgressPosition(done, 700);
    EXPECT_GE(position, last) << done;  // never starts over
    EXPECT_LE(position, 650);
    last = position;
  }
  EXPECT_EQ(last, 650);
}

TEST(PageChainRules, WebPageOpensOnlyWhenLeavingByCancelFromTheRightPage) {
  struct Case {
    const char* story;
    std::vector<PageExit> exits;
    std::vector<bool> opens;  // one per exit
  };
  using E = PageExit;
  const Case cases[] = {
      {"cancel the first page at once", {E::Cancel}, {true}},
      {"cancel the second page", {E::Next, E::Cancel}, {false, true}},
      {"next, prev, cancel the new first page", {E::Next, E::Previous, E::Cancel},
       {false, false, false}},
      {"finished conversion", {E::Next, E::Finished}, {false, false}},
      {"next, prev, next, cancel the second page",
       {E::Next, E::Previous, E::Next, E::Cancel}, {false, false, false, true}},
      {"next, prev, next, finished", {E::Next, E::Previous, E::Next, E::Finished},
       {false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.story);
    PageChain chain;
    EXPECT_EQ(chain.current(), Page::Connection);
    for (std::size_t i = 0; i < c.exits.size(); ++i) {
      ASSERT_NE(chain.current(), Page::Closed);
      EXPECT_EQ(chain.Advance(c.exits[i]), c.opens[i]) << "step " << i;
    }
    EXPECT_EQ(chain.current(), Page::Closed);
  }
}

TEST(PageChainRules, PagesAlternate) {
  PageChain chain;
  chain.Advance(PageExit::Next);
  EXPECT_EQ(chain.current(), Page::Convert);
  chain.Advance(PageExit::Previous);
  EXPECT_EQ(chain.current(), Page::Connection);
  EXPECT_FALSE(chain.outermost());
}

}  // namespace
}  // namespace talvoro::pages
