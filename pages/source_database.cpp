#include "source_database.h"

#include <strings.h>

#include <filesystem>
#include <system_error>

#include "page_logic.h"

namespace talvoro::pages {
namespace {

bool EndsWithMdf(std::string_view text) {
  constexpr std::string_view kMdf = ".mdf";
  return text.size() >= kMdf.size() &&
         strncasecmp(text.data() + text.size() - kMdf.size(), kMdf.data(), kMdf.size()) == 0;
}

}  // namespace

std::string SourceDatabaseName(std::string_view sourceField, bool namesExistingFile) {
  if (namesExistingFile || sourceField.find('/') != std::string_view::npos ||
      EndsWithMdf(sourceField)) {
    return DatabaseNameFromMdfPath(sourceField);
  }
  return std::string(sourceField);
}

std::string SourceDatabaseName(std::string_view sourceField) {
  std::error_code ec;
  const bool exists =
      !sourceField.empty() && std::filesystem::is_regular_file(std::string(sourceField), ec);
  return SourceDatabaseName(sourceField, exists);
}

}  // namespace talvoro::pages
