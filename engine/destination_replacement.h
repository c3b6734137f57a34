// Replacing an existing destination file without losing it before its time. The
// user's consent (the wizard's Yes, the command line's --overwrite) only marks the
// file as replaceable; it stays where and as it is until a run starts. The run then
// moves it aside under a hidden name in the same folder, creates the new file, and
// removes the old one only once the new one exists; when the new file cannot be
// created the old one is put back.
#pragma once

#include <optional>
#include <string>

#include "conversion_settings.h"

namespace talvoro::engine {

// A file moved out of the way. Unless Discard() or Restore() ran, the destructor
// puts it back, so every way out of a failed start keeps the user's file.
class SetAsideFile {
 public:
  // Renames `path` to a free hidden sibling ("DIR/.NAME.kestrin1-old[-N]"). The
  // same folder keeps it on the same file system, so nothing is copied. nullopt
  // with `error` set when the rename fails.
  static std::optional<SetAsideFile> MoveAside(const std::string& path, std::string* error);

  SetAsideFile(SetAsideFile&& other) noexcept;
  SetAsideFile& operator=(SetAsideFile&&) = delete;
  SetAsideFile(const SetAsideFile&) = delete;
  ~SetAsideFile();

  // Puts the file back under its name; false (and the file left aside) when
  // something else took the name meanwhile.
  bool Restore();
  // The replacement stands: the old file is removed.
  void Discard();

  const std::string& originalPath() const { return original_; }
  const std::string& asidePath() const { return aside_; }

 private:
  SetAsideFile(std::string original, std::string aside);
  std::string original_;
  std::string aside_;  // empty once settled
};

// Creates the empty destination file of `settings` through the Access driver. When
// a file is already there and it is the one the user agreed to replace
// (settings.replaceableDestPath), it is set aside first and removed only after the
// new file was created, or put back when creation failed. false with `error` set
// when no new file was created.
bool CreateDestinationReplacing(const ConversionSettings& settings, std::string* error);

}  // namespace talvoro::engine
