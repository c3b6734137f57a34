#include "source_table.h"

#include <strings.h>

namespace talvoro::odbc {
namespace {

std::string Bracketed(const std::string& part) {
  std::string quoted = "[";
  for (char c : part) {
    quoted.push_back(c);
    if (c == ']') quoted.push_back(c);
  }
  return quoted + "]";
}

}  // namespace

bool SourceTable::InDefaultSchema() const { return schema.empty() || strcasecmp(schema.c_str(), "dbo") == 0; }

std::string SourceTable::Display() const { return InDefaultSchema() ? name : schema + "." + name; }

std::string SourceTable::QuotedSql() const {
  return schema.empty() ? Bracketed(name) : Bracketed(schema) + "." + Bracketed(name);
}

}  // namespace talvoro::odbc
