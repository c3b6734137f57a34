// Reads a .mdb file with the independent readers the product is checked against:
// mdbtools (mdb-tables, mdb-schema, mdb-export), the npm package mdb-reader
// (tools/mdbcheck/mdbcheck.mjs) and, when the environment variable JETCHECK names
// it, the strict Jackcess-based checker (`jetcheck --strict`), plus the engine's own
// integrity check (build/jet/jetverify). Any output on stderr counts as a failure.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace talvoro::test {

// A cell as mdb-export prints it; nullopt is NULL. Binary as lower-case hex,
// dates as "YYYY-MM-DD HH:MM:SS", booleans as 0/1.
using ExportedRow = std::vector<std::optional<std::string>>;

struct MdbToolsRead {
  bool ok = false;          // every command exited 0 with nothing on stderr
  std::string problems;     // what went wrong, for the failure message
  std::vector<std::string> tables;  // user tables, as mdb-tables lists them
  std::string schema;               // mdb-schema output
};

// mdb-tables -1 and mdb-schema on the file.
MdbToolsRead ReadWithMdbTools(const std::string& path);

struct MdbExport {
  bool ok = false;
  std::string problems;
  std::vector<ExportedRow> rows;
};

// mdb-export of one table, every row.
MdbExport ExportWithMdbTools(const std::string& path, const std::string& table);

struct MdbReaderRead {
  bool ok = false;          // exit 0, nothing on stderr, no problems listed
  std::string problems;
  nlohmann::json document;  // mdbcheck's JSON: format, tables[] {name, system, columns, rows}
};

struct StrictRead {
  bool ok = true;
  std::string problems;
};

// jetverify FILE, and $JETCHECK --strict FILE when JETCHECK is set (one line on
// stderr says once that it was skipped otherwise).
StrictRead CheckStrictly(const std::string& path);

// node tools/mdbcheck/mdbcheck.mjs FILE [--no-rows], then CheckStrictly: every test
// that reads a written file with mdb-reader also has it checked strictly.
MdbReaderRead ReadWithMdbReader(const std::string& path, bool withRows = true);

// The user table of that name in mdbcheck's document, or nullptr.
const nlohmann::json* FindReaderTable(const nlohmann::json& document, const std::string& name);

}  // namespace talvoro::test
