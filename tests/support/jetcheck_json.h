// The strict Jackcess-based checker (`jetcheck --strict --json`) run on a file, for
// tests that assert schema facts only it reports (AutoNumber flags, DefaultValue
// properties, indexes, relationships). The checker is found through the environment
// variable JETCHECK, else at /work/shared/tools/jetcheck/jetcheck.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "run_command.h"

namespace talvoro::test {

struct JetCheckJson {
  bool ran = false;      // false: no checker on this machine
  bool ok = false;       // exit 0, every table and index accepted
  std::string output;    // its OK/FAIL lines
  nlohmann::json document;
};

inline std::string JetCheckProgram() {
  const char* fromEnvironment = std::getenv("JETCHECK");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  const char* shared = "/work/shared/tools/jetcheck/jetcheck";
  return ::access(shared, X_OK) == 0 ? shared : "";
}

inline JetCheckJson RunJetCheckJson(const std::string& path) {
  JetCheckJson result;
  std::string program = JetCheckProgram();
  if (program.empty()) return result;
  std::string jsonPath = path + ".jetcheck.json";
  CommandResult run = RunCommand({program, "--strict", "--json", jsonPath, path});
  result.ran = true;
  result.ok = run.exitCode == 0;
  result.output = run.out + run.err;
  std::ifstream in(jsonPath);
  if (in) {
    try {
      result.document = nlohmann::json::parse(in);
    } catch (const std::exception& e) {
      result.ok = false;
      result.output += std::string("\nunreadable JSON: ") + e.what();
    }
  }
  ::unlink(jsonPath.c_str());
  return result;
}

// The table, column or index of that name in a jetcheck document (nullptr if none).
inline const nlohmann::json* JetCheckNamed(const nlohmann::json& list, const std::string& name) {
  if (!list.is_array()) return nullptr;
  for (const auto& item : list)
    if (item.contains("name") && item["name"] == name) return &item;
  return nullptr;
}

}  // namespace talvoro::test
