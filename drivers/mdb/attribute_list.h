// Key/value lists the driver receives: ConfigDSN's "KEY=value\0KEY=value\0\0" and
// connection strings "KEY=value;KEY={value};".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mdb {

class AttributeList {
 public:
  // ConfigDSN's double-NUL list. Keys and values are trimmed of blanks: unixODBC
  // passes "DSN=dsna " unchanged, and an untrimmed name would break odbc.ini.
  static AttributeList FromInstallerList(const char* list);
  // A connection string; a value in braces may hold ';' and "}}" stands for '}'.
  static AttributeList FromConnectionString(std::string_view text);

  // The last value given for `key`, compared without regard to case.
  std::optional<std::string> Find(std::string_view key) const;
  const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

std::string TrimBlanks(std::string_view text);

// CREATE_DB's value: a path in double quotes (a sort order word may follow, as in
// "C:\a b.mdb" General) or a bare path, whose inner blanks are part of it.
std::string DatabasePathFromCreateValue(std::string_view value);

}  // namespace mdb
