// The key/value lists of ConfigDSN and of connection strings.
#include <gtest/gtest.h>

#include "attribute_list.h"

namespace mdb {
namespace {

TEST(InstallerList, TrimsKeysAndValuesAndKeepsTheLastOfAKey) {
  const char list[] = "DSN=dsna \0 DESCRIPTION= \0DBQ=/tmp/a b.mdb\0dbq=/tmp/c.mdb \0NOEQUALS\0";
  AttributeList attributes = AttributeList::FromInstallerList(list);
  EXPECT_EQ(attributes.Find("dsn"), "dsna");
  EXPECT_EQ(attributes.Find("DESCRIPTION"), "");
  EXPECT_EQ(attributes.Find("DBQ"), "/tmp/c.mdb");
  EXPECT_EQ(attributes.Find("NOEQUALS"), "");
  EXPECT_EQ(attributes.Find("CREATE_DB"), std::nullopt);
  EXPECT_TRUE(AttributeList::FromInstallerList(nullptr).entries().empty());
}

TEST(CreateDbValue, QuotedOrBarePaths) {
  struct Case {
    std::string value, path;
  };
  for (const Case& c : {Case{"\"/tmp/my file.mdb\"", "/tmp/my file.mdb"},
                        Case{"\"/tmp/my file.mdb\" General", "/tmp/my file.mdb"},
                        Case{"/tmp/my file.mdb", "/tmp/my file.mdb"},
                        Case{"  /tmp/x.mdb  ", "/tmp/x.mdb"},
                        Case{"\"/tmp/unterminated.mdb", "/tmp/unterminated.mdb"}}) {
    EXPECT_EQ(DatabasePathFromCreateValue(c.value), c.path) << c.value;
  }
}

TEST(ConnectionString, BracesHoldSemicolonsAndDoubledBraces) {
  AttributeList attributes = AttributeList::FromConnectionString(
      "DRIVER={Microsoft Access Driver (*.mdb)};DBQ={/tmp/a;b}}.mdb}; UID = admin ;PWD=;ExtendedAnsiSQL");
  EXPECT_EQ(attributes.Find("driver"), "Microsoft Access Driver (*.mdb)");
  EXPECT_EQ(attributes.Find("DBQ"), "/tmp/a;b}.mdb");
  EXPECT_EQ(attributes.Find("UID"), "admin");
  EXPECT_EQ(attributes.Find("PWD"), "");
  EXPECT_EQ(attributes.Find("ExtendedAnsiSQL"), "");
  EXPECT_EQ(AttributeList::FromConnectionString("DSN=dsna").Find("DSN"), "dsna");
}

}  // namespace
}  // namespace mdb
