#include "sqlcmd_variables.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <set>

namespace sales_demo {
namespace {

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == '\'' || c == '$' || c == '(' || c == ')')
      return false;
  return true;
}

// A value as written after the name: "quoted ""text""" or a bare word.
std::string Unquote(std::string_view value, int line) {
  if (value.empty() || value.front() != '"') return std::string(value);
  std::string out;
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] != '"') {
      out += value[i];
      continue;
    }
    if (i + 1 < value.size() && value[i + 1] == '"') {
      out += '"';
      ++i;
      continue;
    }
    if (i + 1 != value.size()) break;
    return out;
  }
  throw ScriptVariableError("line " + std::to_string(line) + ": a quoted value of :setvar must end with its quote");
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool NameLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::pair<std::string, std::string> ParseVariableAssignment(std::string_view text) {
  const size_t eq = text.find('=');
  const std::string_view name = Trim(text.substr(0, eq == std::string_view::npos ? text.size() : eq));
  if (eq == std::string_view::npos || !ValidName(name))
    throw ScriptVariableError("-v wants Name=Value, not \"" + std::string(text) + "\"");
  return {std::string(name), Unquote(Trim(text.substr(eq + 1)), 0)};
}

std::string ExpandScriptVariables(std::string_view script, const ScriptVariables& commandLine, bool useEnvironment) {
  ScriptVariables setvar;            // :setvar values, above -v
  std::set<std::string, NameLess> removed;  // ":setvar Name" without a value
  auto lookup = [&](const std::string& name) -> const std::string* {
    if (auto it = setvar.find(name); it != setvar.end()) return &it->second;
    if (removed.count(name)) return nullptr;
    if (auto it = commandLine.find(name); it != commandLine.end()) return &it->second;
    return nullptr;
  };
  std::string environmentValue;
  std::string out;
  out.reserve(script.size());
  int lineNumber = 0;
  size_t start = 0;
  while (start < script.size()) {
    const size_t end = script.find('\n', start);
    std::string_view line = script.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? script.size() : end + 1;
    ++lineNumber;
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() > 7 && trimmed[0] == ':' && strncasecmp(trimmed.data() + 1, "setvar", 6) == 0 &&
        (trimmed[7] == ' ' || trimmed[7] == '\t')) {
      const std::string_view rest = Trim(trimmed.substr(7));
      const size_t gap = rest.find_first_of(" \t");
      const std::string name(rest.substr(0, gap));
      if (!ValidName(name))
        throw ScriptVariableError("line " + std::to_string(lineNumber) + ": \"" + name + "\" cannot name a variable");
      if (gap == std::string_view::npos) {
        setvar.erase(name);
        removed.insert(name);
      } else {
        setvar[name] = Unquote(Trim(rest.substr(gap)), lineNumber);
        removed.erase(name);
      }
      if (end != std::string_view::npos) out += '\n';
      continue;
    }
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '$' || i + 1 >= line.size() || line[i + 1] != '(') {
        out += line[i];
        continue;
      }
      const size_t close = line.find(')', i + 2);
      if (close == std::string_view::npos) {
        out += line[i];
        continue;
      }
      const std::string name(line.substr(i + 2, close - i - 2));
      const std::string* value = lookup(name);
      if (!value && useEnvironment && !removed.count(name) && ValidName(name)) {
        if (const char* env = std::getenv(name.c_str())) {
          environmentValue = env;
          value = &environmentValue;
        }
      }
      if (!value)
        throw ScriptVariableError("line " + std::to_string(lineNumber) + ": '" + name +
                                  "' scripting variable not defined.");
      out += *value;
      i = close;
    }
    if (end != std::string_view::npos) out += '\n';
  }
  return out;
}

}  // namespace sales_demo
