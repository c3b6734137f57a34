// Names Access can hold. An Access object name has at most 64 characters, holds
// none of . ! ` [ ] and no control character, does not start with a blank, and
// names compare without regard to letter case. Source names that break a rule
// get a deterministic legal name instead; the conversion lists every such rename.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvoro::engine {

inline constexpr std::size_t kMaxAccessNameLength = 64;  // UTF-16 code units, as Jet counts

// `name` with each forbidden character (and a leading blank, and any byte that is
// not UTF-8) replaced by '_', cut to kMaxAccessNameLength characters; "_" for an
// empty name. A legal name comes back unchanged.
std::string LegalAccessName(std::string_view name);

// The names already given in one scope (the tables of a file, the columns or
// indexes of a table, the relationships of a file).
class AccessNameScope {
 public:
  // Names the scope holds from the start (system tables, "PrimaryKey").
  void Reserve(std::string_view name);

  // The legal form of `wanted`, made unique without regard to case by a suffix
  // "_2", "_3", ... (cutting the name so that it stays within 64 characters); the
  // name is then taken.
  std::string Claim(std::string_view wanted);

  bool Holds(std::string_view name) const;

 private:
  std::vector<std::u32string> taken_;  // folded
};

}  // namespace talvoro::engine
