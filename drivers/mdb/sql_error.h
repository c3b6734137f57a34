// A statement the driver refuses: the SQLSTATE the application sees and a message
// that names the cause. Thrown by the parser, the literal conversion and the
// statement executor; turned into a diagnostic record at the ODBC boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace mdb {

class SqlError : public std::runtime_error {
 public:
  SqlError(std::string sqlstate, const std::string& message)
      : std::runtime_error(message), sqlstate_(std::move(sqlstate)) {}
  const std::string& sqlstate() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

}  // namespace mdb
