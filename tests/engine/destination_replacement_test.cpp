// Setting an existing destination aside until its replacement exists.
#include "engine/destination_replacement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace talvoro::engine {
namespace {

namespace fs = std::filesystem;

class SetAsideFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("set-aside-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Old Sales.mdb").string();
    Write(path_, "old");
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(SetAsideFileTest, MovedAsideBesideItAndRemovedOnDiscard) {
  std::string error;
  std::optional<SetAsideFile> aside = SetAsideFile::MoveAside(path_, &error);
  ASSERT_TRUE(aside) << error;
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(fs::path(aside->asidePath()).parent_path(), dir_);
  EXPECT_EQ(fs::path(aside->asidePath()).filename().string().front(), '.') << "hidden";
  EXPECT_EQ(Read(aside->asidePath()), "old");
  Write(path_, "new");
  aside->Discard();
  EXPECT_EQ(Read(path_), "new");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(SetAsideFileTest, PutBackByRestoreOrWhenLeftUnsettled) {
  {
    std::optional<SetAsideFile> aside = SetAsideFile::MoveAside(path_, nullptr);
    ASSERT_TRUE(aside);
    EXPECT_TRUE(aside->Restore());
    EXPECT_EQ(Read(path_), "old");
  }
  {
    std::optional<SetAsideFile> aside = SetAsideFile::MoveAside(path_, nullptr);
    ASSERT_TRUE(aside);
    // Leaving without a decision (an exception, an early return) puts it back.
  }
  EXPECT_EQ(Read(path_), "old");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(SetAsideFileTest, AFileThatTookTheNameIsNotOverwrittenAndLeftoversAreKept) {
  const std::string leftover = (dir_ / ".Old Sales.mdb.kestrin1-old").string();
  Write(leftover, "an older leftover");
  std::optional<SetAsideFile> aside = SetAsideFile::MoveAside(path_, nullptr);
  ASSERT_TRUE(aside);
  EXPECT_NE(aside->asidePath(), leftover);
  EXPECT_EQ(Read(leftover), "an older leftover");
  Write(path_, "someone else's");
  EXPECT_FALSE(aside->Restore());
  EXPECT_EQ(Read(path_), "someone else's");
  EXPECT_EQ(Read(aside->asidePath()), "old");  // still safe aside
  aside->Discard();
}

TEST_F(SetAsideFileTest, AMissingFileCannotBeSetAside) {
  std::string error;
  EXPECT_FALSE(SetAsideFile::MoveAside((dir_ / "none.mdb").string(), &error));
  EXPECT_NE(error.find("none.mdb"), std::string::npos) << error;
}

}  // namespace
}  // namespace talvoro::engine
