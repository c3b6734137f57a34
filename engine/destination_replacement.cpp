#include "destination_replacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "odbc/data_sources.h"

namespace talvoro::engine {
namespace {

namespace fs = std::filesystem;

std::string AsideCandidate(const fs::path& original, int attempt) {
  std::string name = "." + original.filename().string() + ".kestrin1-old";
  if (attempt > 0) name += "-" + std::to_string(attempt);
  return (original.parent_path() / name).string();
}

}  // namespace

SetAsideFile::SetAsideFile(std::string original, std::string aside)
    : original_(std::move(original)), aside_(std::move(aside)) {}

SetAsideFile::SetAsideFile(SetAsideFile&& other) noexcept
    : original_(std::move(other.original_)), aside_(std::exchange(other.aside_, std::string())) {}

SetAsideFile::~SetAsideFile() {
  if (!aside_.empty()) Restore();
}

std::optional<SetAsideFile> SetAsideFile::MoveAside(const std::string& path, std::string* error) {
  const fs::path original(path);
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside = AsideCandidate(original, attempt);
    if (fs::exists(fs::symlink_status(aside, ec))) continue;  // an older leftover: keep it
    if (std::rename(path.c_str(), aside.c_str()) == 0) return SetAsideFile(path, aside);
    if (error) *error = "cannot move " + path + " aside: " + std::strerror(errno);
    return std::nullopt;
  }
  if (error) *error = "cannot move " + path + " aside: no free name beside it";
  return std::nullopt;
}

bool SetAsideFile::Restore() {
  if (aside_.empty()) return true;
  std::error_code ec;
  // rename() would replace whatever took the name; a file that appeared meanwhile wins.
  if (fs::exists(fs::symlink_status(original_, ec))) return false;
  if (std::rename(aside_.c_str(), original_.c_str()) != 0) return false;
  aside_.clear();
  return true;
}

void SetAsideFile::Discard() {
  if (aside_.empty()) return;
  std::error_code ec;
  fs::remove(aside_, ec);
  aside_.clear();
}

bool CreateDestinationReplacing(const ConversionSettings& settings, std::string* error) {
  std::error_code ec;
  const bool replacing = !settings.replaceableDestPath.empty() &&
                         settings.replaceableDestPath == settings.destPath &&
                         fs::is_regular_file(settings.destPath, ec);
  if (!replacing) return odbc::CreateDestinationFile(settings.destPath, error);

  std::optional<SetAsideFile> old = SetAsideFile::MoveAside(settings.destPath, error);
  if (!old) return false;
  const bool created = odbc::CreateDestinationFile(settings.destPath, error);
  if (created) old->Discard();
  else old->Restore();
  return created;
}

}  // namespace talvoro::engine
