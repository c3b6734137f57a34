// Names Access can hold, made from any source name. Access object names have at
// most 64 characters, no '.', '!', '`', '[', ']' or control characters, do not
// start with a blank, and compare without regard to letter case. A source name
// that breaks a rule gets a deterministic legal name: each forbidden character
// becomes '_', leading blanks are dropped, the name is cut to 64 characters; a
// name that then equals an earlier one (ignoring case) gets "_2", "_3", ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvoro::engine {

// The legal form of one name (UTF-8 in and out); equal to `name` when it is legal.
std::string LegalAccessName(std::string_view name);

// Hands out legal names unique among those handed out before (one set per table
// for columns, one per run for tables).
class AccessNameSet {
 public:
  // The legal, unique name for `name`.
  std::string Claim(std::string_view name);
  // True when an earlier Claim returned a name equal to `name` without regard to case.
  bool Contains(std::string_view name) const;

 private:
  std::vector<std::u32string> folded_;
};

}  // namespace talvoro::engine
