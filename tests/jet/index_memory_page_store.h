// A PageStore kept in memory, for the index tests: pages are allocated at the end,
// optionally starting from the pages of a file.
#pragma once

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/page_store.h"

namespace jet::testing {

class MemoryPageStore : public PageStore {
 public:
  MemoryPageStore() : pages_(1) {}  // page 0 stands for the header page

  static MemoryPageStore FromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryPageStore store;
    store.pages_.resize(bytes.size() / kPageSize);
    for (std::size_t i = 0; i < store.pages_.size(); ++i)
      std::memcpy(store.pages_[i].data(), bytes.data() + i * kPageSize, kPageSize);
    return store;
  }

  std::uint32_t AllocatePage() override {
    pages_.emplace_back();
    pages_.back().fill(0);
    ++allocated_;
    return static_cast<std::uint32_t>(pages_.size() - 1);
  }
  const std::uint8_t* ReadPage(std::uint32_t page) override { return At(page).data(); }
  std::uint8_t* WritablePage(std::uint32_t page) override { return At(page).data(); }
  void ReleasePage(std::uint32_t) override {}

  std::size_t pageCount() const { return pages_.size(); }
  std::size_t allocatedCount() const { return allocated_; }

 private:
  std::array<std::uint8_t, kPageSize>& At(std::uint32_t page) {
    if (page >= pages_.size()) throw std::out_of_range("page " + std::to_string(page) + " does not exist");
    return pages_[page];
  }

  std::vector<std::array<std::uint8_t, kPageSize>> pages_;
  std::size_t allocated_ = 0;
};

}  // namespace jet::testing
