#include "sql_names.h"

namespace talvoro::engine {
namespace {

std::string Enclose(std::string_view name, char open, char close) {
  std::string quoted;
  quoted.reserve(name.size() + 2);
  quoted.push_back(open);
  for (char c : name) {
    quoted.push_back(c);
    if (c == close) quoted.push_back(c);
  }
  quoted.push_back(close);
  return quoted;
}

}  // namespace

std::string QuoteDestinationName(std::string_view name) { return Enclose(name, '"', '"'); }

std::string QuoteSourceName(std::string_view name) { return Enclose(name, '[', ']'); }

}  // namespace talvoro::engine
