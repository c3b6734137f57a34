// The whole of a file on the server's disk read into memory for a bulk load.
// Read, not mapped: a file cut short by another program while it is loaded
// must not take the server down. The buffer is anonymous memory asked for in
// huge pages, so filling it costs a few page faults instead of one per 4 KiB.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace standin {

class FileBytes {
 public:
  // Reads `path`; on failure bytes() is empty and error() is the errno.
  explicit FileBytes(const std::string& path);
  ~FileBytes();
  FileBytes(FileBytes&& other) noexcept;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  FileBytes& operator=(FileBytes&&) = delete;

  int error() const { return error_; }
  std::string_view bytes() const { return {data_, size_}; }

 private:
  bool Reserve(size_t capacity);

  char* data_ = nullptr;
  size_t capacity_ = 0;  // bytes mapped at data_
  size_t size_ = 0;
  int error_ = 0;
};

}  // namespace standin
