#include "tsql/file_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace standin {

FileBytes::FileBytes(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) { error_ = errno; return; }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    error_ = errno;
    close(fd);
    return;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  // One byte more than the size said, so reaching the end needs no extra read into a grown buffer.
  if (!Reserve(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1)) {
    close(fd);
    return;
  }
  // Reads to the end, whatever the size said (the file may grow or shrink meanwhile).
  for (;;) {
    if (size_ == capacity_ && !Reserve(capacity_ * 2)) break;
    const ssize_t n = read(fd, data_ + size_, capacity_ - size_);
    if (n > 0) { size_ += static_cast<size_t>(n); continue; }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    break;
  }
  close(fd);
  if (error_) size_ = 0;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)),
      error_(other.error_) {}

FileBytes::~FileBytes() {
  if (data_) munmap(data_, capacity_);
}

bool FileBytes::Reserve(size_t capacity) {
  void* p = data_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                  : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    error_ = errno;
    return false;
  }
  data_ = static_cast<char*>(p);
  capacity_ = capacity;
  madvise(data_, capacity_, MADV_HUGEPAGE);  // advice only: ignored where huge pages are off
  return true;
}

}  // namespace standin
