// The attribute list that SQLConfigDataSource hands to ConfigDSN:
// "KEY=value\0KEY=value\0\0".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsetup {

struct DsnAttribute {
  std::string key;    // as given, blanks trimmed
  std::string value;  // blanks trimmed, one pair of surrounding double quotes removed
  bool hasEquals = true;
};

class DsnAttributes {
 public:
  // Reads a double-NUL terminated list; a null pointer is an empty list.
  // Entries without '=' are kept (hasEquals false) so that they can be
  // reported instead of silently dropped.
  static DsnAttributes Parse(const char* list);

  // Last value given for `key` (compared without regard to case).
  std::optional<std::string> Find(std::string_view key) const;

  const std::vector<DsnAttribute>& entries() const { return entries_; }

 private:
  std::vector<DsnAttribute> entries_;
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace sqlsetup
