// Opens the input as a .mdb file for writing, as the Access driver does, reads
// every row, adds one row to each table and flushes. A damaged file may be
// refused with jet::Error at any step; anything else is a fault. The file is an
// anonymous memory file, so the writes stay in memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace {

int FillMemoryFile(const std::uint8_t* data, std::size_t size) {
  static const int fd = memfd_create("jet-fuzz-input", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, 0) != 0) return -1;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return fd;
}

// A value every column type accepts (a NULL for a column that allows one).
jet::Value SampleValue(const jet::ColumnDef& column) {
  using T = jet::ColumnType;
  switch (column.type) {
    case T::Boolean: return true;
    case T::Byte: case T::Integer: case T::Long: return std::int64_t{7};
    case T::Currency: return jet::Currency{12345};
    case T::Single: case T::Double: return 1.5;
    case T::DateTime: return jet::DateTime{40000.25};
    case T::Binary: return jet::Bytes{1, 2};
    case T::Ole: return jet::Bytes(5000, 0xAB);
    case T::Text: return std::string("x");
    case T::Memo: return std::string(3000, 'm');
    case T::Guid: return jet::Guid{};
    case T::Decimal: return jet::Decimal{};
  }
  return jet::Null{};
}

void ReadAndWrite(const std::string& path) {
  auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
  std::vector<jet::Value> row;
  for (const std::string& name : db->TableNames()) {
    jet::Table* table = db->FindTable(name);
    if (table == nullptr) continue;
    auto cursor = table->Scan();
    for (std::uint64_t n = 0; n < (std::uint64_t{1} << 22) && cursor->Next(row); ++n) {
    }
    row.clear();
    for (const jet::ColumnDef& column : table->definition().columns) row.push_back(SampleValue(column));
    try {
      table->Insert(row);
    } catch (const jet::Error&) {
    }
  }
  db->Flush(jet::Durability::Written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = FillMemoryFile(data, size);
  if (fd < 0) return 0;
  try {
    ReadAndWrite("/proc/self/fd/" + std::to_string(fd));
  } catch (const jet::Error&) {
  }
  return 0;
}
