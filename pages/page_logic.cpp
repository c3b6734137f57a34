#include "page_logic.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "source_database.h"

namespace talvoro::pages {

std::string FileTitle(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::string DatabaseNameFromMdfPath(std::string_view mdfPath) {
  const std::string title = FileTitle(mdfPath);
  return title.substr(0, title.find('.'));
}

std::string DefaultDestinationPath(std::string_view folder, std::string_view databaseName) {
  if (databaseName.empty()) return {};
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += databaseName;
  path += ".mdb";
  return path;
}

std::string DestinationFileName(std::string_view destination) {
  const std::size_t slash = destination.find_last_of('/');
  return std::string(slash == std::string_view::npos ? destination : destination.substr(slash + 1));
}

std::string JoinFolderAndFileName(std::string_view folder, std::string_view currentDestination,
                                  std::string_view databaseName) {
  std::string fileName = DestinationFileName(currentDestination);
  if (fileName.empty() && !databaseName.empty()) fileName = std::string(databaseName) + ".mdb";
  std::string joined(folder);
  if (joined.empty() || joined.back() != '/') joined += '/';
  return joined + fileName;
}

std::string DestinationFolder(std::string_view preferred, std::string_view home) {
  return std::string(preferred.empty() ? home : preferred);
}

std::optional<std::string> ProposeDestinationForTypedSource(std::string_view sourcePath,
                                                            std::string_view currentDestination,
                                                            std::string_view lastProposal,
                                                            std::string_view folder) {
  if (!currentDestination.empty() && currentDestination != lastProposal) return std::nullopt;
  return DefaultDestinationPath(folder, SourceDatabaseName(sourcePath));
}

std::string FolderChooserStart(std::string_view destination, std::string_view workingFolder,
                               std::string_view home) {
  namespace fs = std::filesystem;
  if (destination.empty()) return std::string(home);
  fs::path path(destination);
  if (path.is_relative()) path = fs::path(workingFolder) / path;
  // "DIR/NAME" and "DIR/" both give DIR.
  fs::path folder = path.parent_path();
  std::error_code ec;
  while (!folder.empty()) {
    if (fs::is_directory(folder, ec)) return fs::path(folder).lexically_normal().string();
    if (folder == folder.root_path() || folder.parent_path() == folder) break;
    folder = folder.parent_path();
  }
  return std::string(home);
}

std::string MdfChooserStart(std::string_view currentSource, std::string_view workingFolder,
                            std::string_view demoDataFolder, std::string_view home) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!currentSource.empty()) {
    fs::path path(currentSource);
    if (path.is_relative()) path = fs::path(workingFolder) / path;
    const fs::path folder = path.lexically_normal().parent_path();
    if (!folder.empty() && fs::is_directory(folder, ec)) return folder.string();
  }
  if (!demoDataFolder.empty() && fs::is_directory(demoDataFolder, ec))
    return std::string(demoDataFolder);
  return std::string(home);
}

std::string MissingDatabaseMessage(std::string_view databaseName) {
  return "The Database \"" + std::string(databaseName) +
         "\" is not on the SQL Server.\n\nPlease Select the .mdf file of a database the server holds.";
}

std::optional<std::string> CheckNextFields(std::string_view sourcePath,
                                           std::string_view destinationPath) {
  if (sourcePath.empty()) return std::string("Please Select a Database");
  if (DestinationFileName(destinationPath).empty())
    return std::string("Please Choose a Destination File (a file name ending in .mdb)");
  return std::nullopt;
}

MovePlan PlanMove(SelectionMode mode, std::size_t sourceCount, std::optional<std::size_t> selected) {
  MovePlan plan;
  if (mode == SelectionMode::TableWise) {
    if (!selected || *selected >= sourceCount) {
      plan.result = MoveResult::NeedsSelection;
      return plan;
    }
    plan.result = MoveResult::Moved;
    plan.indices.push_back(*selected);
    return plan;
  }
  for (std::size_t i = 0; i < sourceCount; ++i) plan.indices.push_back(i);
  plan.result = sourceCount == 0 ? MoveResult::NothingToMove : MoveResult::Moved;
  return plan;
}

MoveResult MoveEntries(SelectionMode mode, std::vector<std::string>& from,
                       std::vector<std::string>& to, std::optional<std::size_t> selected) {
  const MovePlan plan = PlanMove(mode, from.size(), selected);
  for (std::size_t index : plan.indices) to.push_back(from[index]);
  // Erase from the back so the earlier indices stay valid.
  for (auto it = plan.indices.rbegin(); it != plan.indices.rend(); ++it)
    from.erase(from.begin() + static_cast<std::ptrdiff_t>(*it));
  return plan.result;
}

int ProgressPosition(std::size_t done, std::size_t total) {
  if (total == 0 || done >= total) return kProgressHigh;
  const long long span = kProgressHigh - kProgressLow;
  return kProgressLow + static_cast<int>(span * static_cast<long long>(done) /
                                         static_cast<long long>(total));
}

void RunProgress::TableStarted(std::size_t index, std::size_t count) {
  index_ = index;
  count_ = count;
  rowsExpected_ = 0;
  Update(ProgressPosition(index, count));
}

void RunProgress::RowCountKnown(std::uint64_t rows) { rowsExpected_ = rows; }

void RunProgress::RowsCopied(std::uint64_t rows) {
  if (count_ == 0 || rowsExpected_ == 0) return;
  const std::uint64_t copied = std::min(rows, rowsExpected_);
  const int start = ProgressPosition(index_, count_);
  const int end = ProgressPosition(index_ + 1, count_);
  // The share of this table, in proportion to its rows (no overflow: the share is
  // at most 610 and the row count fits 53 bits of a double without harm).
  const double done = static_cast<double>(copied) / static_cast<double>(rowsExpected_);
  Update(start + static_cast<int>(done * (end - start)));
}

void RunProgress::TableFinished() {
  if (count_ != 0) Update(ProgressPosition(index_ + 1, count_));
}

void RunProgress::RunFinished() { Update(kProgressHigh); }

void RunProgress::Update(int candidate) {
  position_ = std::clamp(std::max(position_, candidate), kProgressLow, kProgressHigh);
}

int ProgressFillWidth(int value, int range, int width) {
  if (range <= 0 || width <= 0) return 0;
  const long long clamped = std::clamp(value, 0, range);
  return static_cast<int>(clamped * width / range);
}

namespace {

// The longest prefix of `word` (at least one character, whole UTF-8 sequences)
// that fits, ending after a "/" when one fits.
std::size_t FittingPrefix(std::string_view word, int maxWidth,
                          const std::function<int(std::string_view)>& measure) {
  std::size_t fit = 0;
  std::size_t slash = 0;
  for (std::size_t i = 1; i <= word.size(); ++i) {
    if (i < word.size() && (static_cast<unsigned char>(word[i]) & 0xC0) == 0x80) continue;
    if (measure(word.substr(0, i)) > maxWidth) break;
    fit = i;
    if (word[i - 1] == '/') slash = i;
  }
  if (fit == 0) {  // not even one character fits: take one anyway
    fit = 1;
    while (fit < word.size() && (static_cast<unsigned char>(word[fit]) & 0xC0) == 0x80) ++fit;
  }
  return slash > 0 && fit < word.size() ? slash : fit;
}

}  // namespace

std::string WrapText(std::string_view text, int maxWidth,
                     const std::function<int(std::string_view)>& measure) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t newline = text.find('\n', start);
    const std::string_view paragraph = text.substr(
        start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
    std::string line;
    bool lineStarted = false;
    std::size_t at = 0;
    while (at <= paragraph.size()) {
      std::size_t blank = paragraph.find(' ', at);
      if (blank == std::string_view::npos) blank = paragraph.size();
      std::string_view word = paragraph.substr(at, blank - at);
      at = blank + 1;
      if (lineStarted) {
        std::string candidate = line + ' ' + std::string(word);
        if (measure(candidate) <= maxWidth) {
          line = std::move(candidate);
          continue;
        }
        lines.push_back(line);  // the blank becomes the line break
      }
      while (word.size() > 1 && measure(word) > maxWidth) {
        const std::size_t cut = FittingPrefix(word, maxWidth, measure);
        lines.emplace_back(word.substr(0, cut));
        word.remove_prefix(cut);
      }
      line = std::string(word);
      lineStarted = true;
    }
    lines.push_back(line);
    if (newline == std::string_view::npos) break;
    start = newline + 1;
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) out += '\n';
    out += lines[i];
  }
  return out;
}

int MessageClientWidth(int contentWidth, int captionTextWidth) {
  return std::max(contentWidth, captionTextWidth + kTitleBarAllowance);
}

bool PageChain::Advance(PageExit exit) {
  bool openWebPage = false;
  switch (current_) {
    case Page::Connection:
      if (exit == PageExit::Next) {
        current_ = Page::Convert;
      } else {
        openWebPage = exit == PageExit::Cancel && outermost_;
        current_ = Page::Closed;
      }
      break;
    case Page::Convert:
      if (exit == PageExit::Previous) {
        current_ = Page::Connection;
        outermost_ = false;
      } else {
        openWebPage = exit == PageExit::Cancel;
        current_ = Page::Closed;
      }
      break;
    case Page::Closed:
      break;
  }
  return openWebPage;
}

}  // namespace talvoro::pages
