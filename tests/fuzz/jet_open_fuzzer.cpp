// Opens the input as a .mdb file, read-only, lists its tables and reads every
// row of each. A damaged file may be refused with jet::Error; anything else (a
// crash, a sanitizer report, another exception) is a fault.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace {

// The input lives in an anonymous memory file, reached by path, so the fuzzer
// writes nothing to disk and each process has its own.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("jet-fuzz-input", MFD_CLOEXEC)) {}
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  bool Fill(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0) return false;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

void ReadEverything(const std::string& path) {
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  std::vector<jet::Value> row;
  for (const std::string& name : db->TableNames()) {
    jet::Table* table = db->FindTable(name);
    if (table == nullptr) continue;
    (void)table->rowCount();
    auto cursor = table->Scan();
    // A damaged row chain could loop; a file of N pages cannot hold more rows
    // than N pages of the smallest rows.
    for (std::uint64_t n = 0; n < (std::uint64_t{1} << 22) && cursor->Next(row); ++n) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  if (!file.Fill(data, size)) return 0;
  try {
    ReadEverything(file.path());
  } catch (const jet::Error&) {
    // Refused: the expected answer for a damaged file.
  }
  return 0;
}
