// A private directory under $TMPDIR (or /tmp), removed with everything in it.
#pragma once

#include <string>

namespace talvoro::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "talvoro-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace talvoro::test
