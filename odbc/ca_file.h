// The CA file a user gives (--ca-file): checked before anything connects, so a
// mistyped path is named as such and not taken for a refused certificate.
#pragma once

#include <string>

namespace talvoro::odbc {

// Empty when `path` can be read and holds at least one PEM certificate;
// otherwise why not, in words for the user.
std::string CaFileProblem(const std::string& path);

}  // namespace talvoro::odbc
