#include "engine/destination_folder.h"

#include <filesystem>
#include <system_error>

namespace talvoro::engine {

namespace fs = std::filesystem;

std::string DestinationFolderOf(std::string_view destination, std::string_view workingFolder) {
  fs::path path(destination);
  if (path.is_relative()) path = fs::path(workingFolder) / path;
  fs::path folder = path.lexically_normal().parent_path();
  if (folder.empty()) folder = fs::path(workingFolder);
  return folder.string();
}

std::optional<std::string> DestinationFolderProblem(std::string_view destination,
                                                    std::string_view workingFolder) {
  const std::string folder = DestinationFolderOf(destination, workingFolder);
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (fs::is_directory(status)) return std::nullopt;
  if (fs::exists(status))
    return "\"" + folder + "\" is not a folder.\n\nPlease choose a destination in an existing folder.";
  return "The folder \"" + folder +
         "\" does not exist.\n\nPlease choose a destination in an existing folder.";
}

}  // namespace talvoro::engine
