// Which database the first page's source field names. On this machine the user
// browses to the database's .mdf file; for a server on another machine there is
// no file to browse, and the field takes the database's name typed by hand.
#pragma once

#include <string>
#include <string_view>

namespace talvoro::pages {

// A path (it holds a '/'), a name ending in ".mdf" (any case) or an existing
// file gives the .mdf rule (DatabaseNameFromMdfPath: the file title up to its
// first "."). Anything else is a database name typed by hand and is taken
// whole, dots included ("Sales.2008" is the database Sales.2008).
std::string SourceDatabaseName(std::string_view sourceField, bool namesExistingFile);

// The same, asking the file system whether the field names an existing file.
std::string SourceDatabaseName(std::string_view sourceField);

}  // namespace talvoro::pages
