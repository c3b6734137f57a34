// Decisions of the wizard pages that need no window: what Browse derives from a
// chosen .mdf file, how the folder Browse joins a folder and a file name, how the
// two table lists exchange entries, where the progress bar stands, and which page
// follows which (with the rule for opening the maker's web page).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvoro::pages {

// --- First page -----------------------------------------------------------

// The file's name with its last extension removed ("Sales.2008.mdf" -> "Sales.2008").
std::string FileTitle(std::string_view path);

// The source database name: the file title up to its first "." ("Sales.2008" -> "Sales").
std::string DatabaseNameFromMdfPath(std::string_view mdfPath);

// The destination offered after Browse: folder, "/", database name, ".mdb".
// Empty when there is no database name to build it from.
std::string DefaultDestinationPath(std::string_view folder, std::string_view databaseName);

// The part of a destination path after its last "/" (the whole text without one).
std::string DestinationFileName(std::string_view destination);

// The folder Browse: the chosen folder, a "/" unless it already ends with one, and
// the file name of the current destination. When the current destination names no
// file, the database name plus ".mdb" stands in; failing that the result is the
// folder alone (ending in "/"), which Next then refuses as a destination.
std::string JoinFolderAndFileName(std::string_view folder, std::string_view currentDestination,
                                  std::string_view databaseName);

// The folder a proposed destination goes in: `preferred` (KESTRIN1_DEST_DIR, which
// the demo sets) when given, else the home folder.
std::string DestinationFolder(std::string_view preferred, std::string_view home);

// A source path typed by hand proposes the destination as Browse does, unless the
// user has put a destination of their own in the field: the new text of the
// destination field, or nullopt to leave it. `lastProposal` is what the page itself
// last put there.
std::optional<std::string> ProposeDestinationForTypedSource(std::string_view sourcePath,
                                                            std::string_view currentDestination,
                                                            std::string_view lastProposal,
                                                            std::string_view folder);

// Where the folder chooser opens: the destination's folder when it exists (a
// relative destination counts from `workingFolder`), else the nearest existing
// folder above it, else `home`.
std::string FolderChooserStart(std::string_view destination, std::string_view workingFolder,
                               std::string_view home);

// Where the Open dialog for the .mdf starts: the folder of the current source when
// it exists (a relative source counts from `workingFolder`), else `demoDataFolder`
// (KESTRIN1_DATA_DIR, which ./run.sh sets) when it exists, else `home`.
std::string MdfChooserStart(std::string_view currentSource, std::string_view workingFolder,
                            std::string_view demoDataFolder, std::string_view home);

// The message shown when the server holds no database of the name the .mdf gives.
std::string MissingDatabaseMessage(std::string_view databaseName);

// What Next refuses before it tests the logon; nullopt when the fields are usable.
// The texts are the ones the page shows.
std::optional<std::string> CheckNextFields(std::string_view sourcePath,
                                           std::string_view destinationPath);

// --- Second page: moving tables between the two lists ----------------------

enum class SelectionMode { TableWise, WholeDatabase };

enum class MoveResult {
  Moved,            // entries went over
  NothingToMove,    // whole database with an empty source list
  NeedsSelection,   // table wise with nothing selected: "Please Select a Table"
};

// Indices of the source list that move, in the order they are appended to the
// destination list.
struct MovePlan {
  MoveResult result = MoveResult::NothingToMove;
  std::vector<std::size_t> indices;
};

MovePlan PlanMove(SelectionMode mode, std::size_t sourceCount, std::optional<std::size_t> selected);

// Applies a plan to plain lists: the moved entries are appended at the end of `to`
// and removed from `from`. Used by the page through its list boxes and by the tests.
MoveResult MoveEntries(SelectionMode mode, std::vector<std::string>& from,
                       std::vector<std::string>& to, std::optional<std::size_t> selected);

// --- Second page: progress -------------------------------------------------

// The progress bar runs from 40 to 650.
inline constexpr int kProgressLow = 40;
inline constexpr int kProgressHigh = 650;

// Position after `done` of `total` tables: rises in proportion and reaches the top
// exactly with the last table (never runs past it and starts over).
int ProgressPosition(std::size_t done, std::size_t total);

// The bar during a run: each table owns an equal share of the range, filled as
// its rows are copied (when the source said how many there are) and full when
// the table ends, whatever became of it. It never moves backwards and stands at
// the top when the run ends.
class RunProgress {
 public:
  void TableStarted(std::size_t index, std::size_t count);
  void RowCountKnown(std::uint64_t rows);
  void RowsCopied(std::uint64_t rows);
  void TableFinished();
  void RunFinished();
  int position() const { return position_; }

 private:
  void Update(int candidate);

  std::size_t index_ = 0;
  std::size_t count_ = 0;
  std::uint64_t rowsExpected_ = 0;  // 0: unknown or empty
  int position_ = kProgressLow;
};

// How many of `width` pixels of the bar are filled at `value` of `range` (clamped).
int ProgressFillWidth(int value, int range, int width);

// --- Message windows ----------------------------------------------------------

// Space a title bar needs beside its text (window buttons and margins) and the
// width long message texts wrap at.
inline constexpr int kTitleBarAllowance = 96;
inline constexpr int kMessageWrapWidth = 460;

// Breaks `text` into lines no wider than `maxWidth` as `measure` counts width:
// at blanks where it can, inside a word longer than a line (a long path) after
// its last "/" that fits, else between letters. Existing line breaks stay; a
// blank where a line is broken becomes the break.
std::string WrapText(std::string_view text, int maxWidth,
                     const std::function<int(std::string_view)>& measure);

// The client width a message window needs so that the window manager shows its
// whole caption: the wider of the content and the caption with its title bar.
int MessageClientWidth(int contentWidth, int captionTextWidth);

// --- The chain of pages ------------------------------------------------------

enum class Page { Connection, Convert, Closed };
enum class PageExit { Next, Previous, Cancel, Finished };

// Which page shows next and whether the maker's web page opens on the way. The
// web page opens once when the user leaves from the second page by Cancel, once
// when the very first page of the run is cancelled, and never otherwise (not for
// a first page reached through "prev", not after a finished conversion).
class PageChain {
 public:
  Page current() const { return current_; }
  bool outermost() const { return outermost_; }

  // Moves on after the current page ended with `exit`; returns true when the
  // maker's web page is to be opened now.
  bool Advance(PageExit exit);

 private:
  Page current_ = Page::Connection;
  bool outermost_ = true;  // the first page of the run, not one reached by "prev"
};

}  // namespace talvoro::pages
