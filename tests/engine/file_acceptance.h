// A converted file read by all three independent readers: mdbtools (every table
// exported), mdb-reader, and the strict Jackcess check named by the environment
// variable JETCHECK (else /work/shared/tools/jetcheck/jetcheck when it exists).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>

namespace talvoro::test {

struct FileAcceptance {
  bool ok = false;
  std::string problems;
  std::map<std::string, std::uint64_t> rowCounts;  // user table -> rows, as mdb-reader counts
  nlohmann::json document;                         // mdb-reader's, with every row
};

FileAcceptance ReadersAccept(const std::string& path);

}  // namespace talvoro::test
