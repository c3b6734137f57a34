// The source field names a database by its .mdf file or by the name typed by hand.
#include <gtest/gtest.h>

#include <fstream>

#include "pages/source_database.h"

namespace talvoro::pages {
namespace {

TEST(SourceDatabase, FileOrTypedName) {
  struct Case {
    const char* field;
    bool existingFile;
    const char* database;
  };
  const Case cases[] = {
      {"/data/Sales.mdf", true, "Sales"},
      {"/data/Sales.2008.mdf", true, "Sales"},
      {"/data/Sales.2008.mdf", false, "Sales"},  // a path stays a path
      {"Sales.MDF", false, "Sales"},
      {"Sales", false, "Sales"},
      {"Sales.2008", false, "Sales.2008"},  // typed by hand: dots are part of the name
      {"Shop.eu.archive", false, "Shop.eu.archive"},
      {"Sales.2008", true, "Sales"},  // a file of that name: the .mdf rule
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SourceDatabaseName(c.field, c.existingFile), c.database) << c.field;
  }
}

TEST(SourceDatabase, AskTheFileSystem) {
  const std::string dir = testing::TempDir();
  const std::string file = dir + "/Kept.2008";
  std::ofstream(file) << "x";
  EXPECT_EQ(SourceDatabaseName(file), "Kept");
  EXPECT_EQ(SourceDatabaseName("Kept.2008"), "Kept.2008");  // relative, not here: a name
  std::remove(file.c_str());
}

}  // namespace
}  // namespace talvoro::pages
