#include "sql_batches.h"

#include <charconv>
#include <optional>

namespace sales_demo {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The repeat count when `line` is a GO line.
std::optional<int> GoLine(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || (line[0] != 'G' && line[0] != 'g') || (line[1] != 'O' && line[1] != 'o')) {
    return std::nullopt;
  }
  const std::string_view rest = Trim(line.substr(2));
  if (rest.empty()) return 1;
  if (line[2] != ' ' && line[2] != '\t') return std::nullopt;  // "GOTO", "GOx"
  int count = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), count);
  if (error != std::errc() || end != rest.data() + rest.size() || count < 1) return std::nullopt;
  return count;
}

// ":on error exit" → true, ":on error ignore" → false.
std::optional<bool> OnErrorLine(std::string_view line) {
  line = Trim(line);
  if (line == ":on error exit") return true;
  if (line == ":on error ignore") return false;
  return std::nullopt;
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

}  // namespace

std::vector<SqlBatch> SplitSqlBatches(std::string_view script) {
  std::vector<SqlBatch> batches;
  SqlBatch current;
  bool stopOnError = true;
  int lineNumber = 0;
  size_t start = 0;
  while (start < script.size()) {
    const size_t end = script.find('\n', start);
    const std::string_view line =
        script.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    ++lineNumber;
    start = end == std::string_view::npos ? script.size() : end + 1;

    if (const auto stop = OnErrorLine(line)) {
      stopOnError = *stop;
      continue;
    }
    if (const auto repeat = GoLine(line)) {
      current.repeat = *repeat;
      current.stopOnError = stopOnError;
      if (!IsBlank(current.text)) batches.push_back(std::move(current));
      current = SqlBatch{};
      current.firstLine = lineNumber + 1;
      continue;
    }
    if (IsBlank(current.text)) {
      current.text.clear();
      current.firstLine = lineNumber;
    }
    current.text.append(line);
    current.text += '\n';
  }
  current.stopOnError = stopOnError;
  if (!IsBlank(current.text)) batches.push_back(std::move(current));
  return batches;
}

}  // namespace sales_demo
