// The destination's folder: named in the message when missing or not a folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "engine/destination_folder.h"

namespace talvoro::engine {
namespace {

namespace fs = std::filesystem;

TEST(DestinationFolder, FolderOfAbsoluteAndRelativeDestinations) {
  EXPECT_EQ(DestinationFolderOf("/a/b/x.mdb", "/w"), "/a/b");
  EXPECT_EQ(DestinationFolderOf("x.mdb", "/w"), "/w");
  EXPECT_EQ(DestinationFolderOf("sub/../out/x.mdb", "/w"), "/w/out");
}

TEST(DestinationFolder, MissingFolderOrAFileInItsPlaceIsNamed) {
  const fs::path dir = fs::temp_directory_path() / ("destfolder-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "plain.txt") << "x";
  const std::string base = dir.string();

  EXPECT_EQ(DestinationFolderProblem(base + "/x.mdb", "/"), std::nullopt);
  EXPECT_EQ(DestinationFolderProblem("x.mdb", base), std::nullopt);
  EXPECT_EQ(DestinationFolderProblem(base + "/nodir/x.mdb", "/"),
            "The folder \"" + base + "/nodir\" does not exist.\n\n"
            "Please choose a destination in an existing folder.");
  EXPECT_EQ(DestinationFolderProblem("nodir/x.mdb", base),
            "The folder \"" + base + "/nodir\" does not exist.\n\n"
            "Please choose a destination in an existing folder.");
  EXPECT_EQ(DestinationFolderProblem(base + "/plain.txt/x.mdb", "/"),
            "\"" + base + "/plain.txt\" is not a folder.\n\n"
            "Please choose a destination in an existing folder.");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talvoro::engine
