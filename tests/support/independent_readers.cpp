#include "independent_readers.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "run_command.h"

namespace talvoro::test {
namespace {

// Separators no test value contains, so rows split without quoting rules.
constexpr char kFieldSeparator = '\x1f';
constexpr char kRowSeparator = '\x1e';
constexpr char kNullMark = '\x1d';

std::string Describe(const std::vector<std::string>& argv, const CommandResult& r) {
  std::ostringstream s;
  for (const auto& a : argv) s << a << ' ';
  s << "-> exit " << r.exitCode;
  if (!r.err.empty()) s << ", stderr: " << r.err.substr(0, 2000);
  s << '\n';
  return s.str();
}

bool Clean(const CommandResult& r) { return r.exitCode == 0 && r.err.empty(); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == separator) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

}  // namespace

MdbToolsRead ReadWithMdbTools(const std::string& path) {
  MdbToolsRead read;
  std::vector<std::string> tablesArgv{"mdb-tables", "-1", path};
  CommandResult tables = RunCommand(tablesArgv);
  std::vector<std::string> schemaArgv{"mdb-schema", path};
  CommandResult schema = RunCommand(schemaArgv);
  read.ok = Clean(tables) && Clean(schema);
  if (!Clean(tables)) read.problems += Describe(tablesArgv, tables);
  if (!Clean(schema)) read.problems += Describe(schemaArgv, schema);
  read.tables = Split(tables.out, '\n');
  read.schema = schema.out;
  return read;
}

MdbExport ExportWithMdbTools(const std::string& path, const std::string& table) {
  MdbExport result;
  std::vector<std::string> argv{"mdb-export",
                                "-H",
                                "-Q",
                                "-d", std::string(1, kFieldSeparator),
                                "-R", std::string(1, kRowSeparator),
                                "-0", std::string(1, kNullMark),
                                "-b", "hex",
                                "-D", "%Y-%m-%d %H:%M:%S",
                                "-T", "%Y-%m-%d %H:%M:%S",
                                path,
                                table};
  CommandResult r = RunCommand(argv);
  result.ok = Clean(r);
  if (!result.ok) result.problems = Describe(argv, r);
  for (const std::string& line : Split(r.out, kRowSeparator)) {
    ExportedRow row;
    // A trailing empty field is a real (empty) value, so split keeping it.
    std::string current;
    for (std::size_t i = 0; i <= line.size(); ++i) {
      if (i == line.size() || line[i] == kFieldSeparator) {
        if (current.size() == 1 && current[0] == kNullMark)
          row.push_back(std::nullopt);
        else
          row.push_back(current);
        current.clear();
      } else {
        current += line[i];
      }
    }
    result.rows.push_back(std::move(row));
  }
  return result;
}

StrictRead CheckStrictly(const std::string& path) {
  StrictRead read;
  std::vector<std::string> verify{TALVORO_BUILD_DIR "/jet/jetverify", path};
  CommandResult own = RunCommand(verify);
  if (own.exitCode != 0 || !own.err.empty()) {
    read.ok = false;
    read.problems += Describe(verify, own) + own.out.substr(0, 4000);
  }
  const char* jetcheck = std::getenv("JETCHECK");
  if (jetcheck == nullptr || *jetcheck == '\0') {
    static std::once_flag said;
    std::call_once(said, [] { std::fprintf(stderr, "JETCHECK is not set: the strict Jackcess check is skipped\n"); });
    return read;
  }
  std::vector<std::string> strict{jetcheck, "--strict", path};
  CommandResult r = RunCommand(strict);
  if (r.exitCode != 0) {
    read.ok = false;
    read.problems += Describe(strict, r) + r.out.substr(0, 4000);
  }
  return read;
}

MdbReaderRead ReadWithMdbReader(const std::string& path, bool withRows) {
  MdbReaderRead read;
  std::vector<std::string> argv{"node", TALVORO_MDBCHECK, path};
  if (!withRows) argv.push_back("--no-rows");
  CommandResult r = RunCommand(argv);
  read.ok = Clean(r);
  if (!read.ok) read.problems = Describe(argv, r);
  try {
    read.document = nlohmann::json::parse(r.out);
  } catch (const std::exception& e) {
    read.ok = false;
    read.problems += std::string("mdbcheck printed no JSON: ") + e.what() + "\n";
  }
  StrictRead strict = CheckStrictly(path);
  read.ok = read.ok && strict.ok;
  read.problems += strict.problems;
  return read;
}

const nlohmann::json* FindReaderTable(const nlohmann::json& document, const std::string& name) {
  if (!document.contains("tables")) return nullptr;
  for (const auto& t : document["tables"]) {
    if (t.value("name", "") == name && !t.value("system", false)) return &t;
  }
  return nullptr;
}

}  // namespace talvoro::test
