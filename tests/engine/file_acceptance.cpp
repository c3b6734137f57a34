#include "file_acceptance.h"

#include <cstdlib>
#include <filesystem>

#include "independent_readers.h"
#include "run_command.h"

namespace talvoro::test {

FileAcceptance ReadersAccept(const std::string& path) {
  FileAcceptance result;
  MdbToolsRead tools = ReadWithMdbTools(path);
  if (!tools.ok) result.problems += "mdbtools: " + tools.problems + "\n";
  for (const std::string& table : tools.tables) {
    MdbExport exported = ExportWithMdbTools(path, table);
    if (!exported.ok) result.problems += "mdb-export " + table + ": " + exported.problems + "\n";
  }
  MdbReaderRead reader = ReadWithMdbReader(path);
  if (!reader.ok) result.problems += "mdb-reader: " + reader.problems + "\n";
  result.document = reader.document;
  if (reader.document.contains("tables")) {
    for (const auto& t : reader.document["tables"]) {
      if (!t.value("system", false)) result.rowCounts[t["name"]] = t["rows"].size();
    }
  }
  const char* fromEnvironment = std::getenv("JETCHECK");
  std::string jetcheck = fromEnvironment ? fromEnvironment : "/work/shared/tools/jetcheck/jetcheck";
  if (std::filesystem::exists(jetcheck)) {
    CommandResult strict = RunCommand({jetcheck, "--strict", path});
    if (strict.exitCode != 0) result.problems += "jetcheck --strict: " + strict.out + strict.err + "\n";
  }
  result.ok = result.problems.empty();
  return result;
}

}  // namespace talvoro::test
