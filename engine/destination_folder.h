// The folder a destination .mdb file goes in must exist before a run starts: the
// Access driver creates the file but never its folder, so a missing folder would
// fail every table. The wizard's first page and the command line both ask here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvoro::engine {

// The folder that holds `destination` (a relative path counts from
// `workingFolder`), made absolute and normal.
std::string DestinationFolderOf(std::string_view destination, std::string_view workingFolder);

// A plain message naming the folder when it does not exist or is no folder;
// nullopt when the file can go there.
std::optional<std::string> DestinationFolderProblem(std::string_view destination,
                                                    std::string_view workingFolder);

}  // namespace talvoro::engine
