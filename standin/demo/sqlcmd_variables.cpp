#include "sqlcmd_variables.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

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
std::string Unquote(std::string_view value, const std::string& at) {
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
  throw ScriptVariableError(at + ": a quoted value of :setvar must end with its quote");
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
  return {std::string(name), Unquote(Trim(text.substr(eq + 1)), "-v")};
}

namespace {

// One expansion: the variables as :setvar leaves them, across :r files.
class Expander {
 public:
  Expander(const ScriptVariables& commandLine, bool useEnvironment)
      : commandLine_(commandLine), useEnvironment_(useEnvironment) {}

  // `where` names the file in errors ("" for the main script).
  void Run(std::string_view script, const std::string& where, int depth, std::string& out) {
    int lineNumber = 0;
    size_t start = 0;
    while (start < script.size()) {
      const size_t end = script.find('\n', start);
      std::string_view line =
          script.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
      start = end == std::string_view::npos ? script.size() : end + 1;
      ++lineNumber;
      const std::string at = where.empty() ? "line " + std::to_string(lineNumber)
                                           : where + " line " + std::to_string(lineNumber);
      const std::string_view trimmed = Trim(line);
      if (!trimmed.empty() && trimmed[0] == ':') {
        Command(trimmed, at, depth, out);
      } else {
        out += Substitute(line, at);
      }
      if (end != std::string_view::npos) {
        out += '\n';
        if (origins) origins->push_back(at);
      } else if (origins && depth == 0) {
        origins->push_back(at);  // the last line, without a line break
      }
    }
  }

  std::vector<std::string>* origins = nullptr;  // where each line of the result came from

 private:
  static bool IsCommand(std::string_view text, const char* name) {
    const size_t n = std::strlen(name);
    return text.size() >= n + 1 && strncasecmp(text.data() + 1, name, n) == 0 &&
           (text.size() == n + 1 || text[n + 1] == ' ' || text[n + 1] == '\t');
  }

  // A line starting with ':' is a sqlcmd command: :setvar, :r and :on error are
  // carried out; any other stops the script rather than reach the server.
  void Command(std::string_view line, const std::string& at, int depth, std::string& out) {
    if (IsCommand(line, "setvar")) return SetVariable(Trim(line.substr(7)), at);
    if (IsCommand(line, "r")) return Include(Trim(line.substr(2)), at, depth, out);
    if (IsCommand(line, "on")) {
      std::string words = Substitute(Trim(line.substr(3)), at);
      for (auto& c : words) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::string_view rest = Trim(words);
      if (rest.substr(0, 5) == "error") {
        const std::string_view action = Trim(rest.substr(5));
        if (action == "exit" || action == "ignore") {
          out += ":on error ";  // kept for the batch splitter, which applies it
          out += action;
          return;
        }
      }
      throw ScriptVariableError(at + ": :on error wants exit or ignore");
    }
    const size_t gap = line.find_first_of(" \t");
    throw ScriptVariableError(at + ": unknown sqlcmd command '" + std::string(line.substr(0, gap)) + "'");
  }

  void SetVariable(std::string_view rest, const std::string& at) {
    const size_t gap = rest.find_first_of(" \t");
    const std::string name(rest.substr(0, gap));
    if (!ValidName(name)) throw ScriptVariableError(at + ": \"" + name + "\" cannot name a variable");
    if (gap == std::string_view::npos) {
      setvar_.erase(name);
      removed_.insert(name);
    } else {
      setvar_[name] = Unquote(Trim(rest.substr(gap)), at);
      removed_.erase(name);
    }
  }

  // :r file: its lines take the command's place; a relative path is read from
  // the current directory, as sqlcmd reads it.
  void Include(std::string_view rest, const std::string& at, int depth, std::string& out) {
    std::string path = Substitute(rest, at);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (path.empty()) throw ScriptVariableError(at + ": :r wants a file name");
    if (depth >= kMaxDepth) throw ScriptVariableError(at + ": :r files nest too deeply (" + path + ")");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScriptVariableError(at + ": cannot read " + path + ": " + std::strerror(errno));
    const std::string text(std::istreambuf_iterator<char>(in), {});
    Run(text, path, depth + 1, out);
  }

  std::string Substitute(std::string_view line, const std::string& at) {
    std::string out;
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
      const std::string* value = Lookup(name);
      if (!value) throw ScriptVariableError(at + ": '" + name + "' scripting variable not defined.");
      out += *value;
      i = close;
    }
    return out;
  }

  const std::string* Lookup(const std::string& name) {
    if (auto it = setvar_.find(name); it != setvar_.end()) return &it->second;
    if (removed_.count(name)) return nullptr;
    if (auto it = commandLine_.find(name); it != commandLine_.end()) return &it->second;
    if (useEnvironment_ && ValidName(name)) {
      if (const char* env = std::getenv(name.c_str())) {
        environmentValue_ = env;
        return &environmentValue_;
      }
    }
    return nullptr;
  }

  static constexpr int kMaxDepth = 32;  // a file that includes itself stops here
  const ScriptVariables& commandLine_;
  const bool useEnvironment_;
  ScriptVariables setvar_;                   // :setvar values, above -v
  std::set<std::string, NameLess> removed_;  // ":setvar Name" without a value
  std::string environmentValue_;
};

}  // namespace

std::string ExpandScriptVariables(std::string_view script, const ScriptVariables& commandLine, bool useEnvironment,
                                  std::vector<std::string>* lineOrigins) {
  std::string out;
  out.reserve(script.size());
  Expander expander(commandLine, useEnvironment);
  expander.origins = lineOrigins;
  expander.Run(script, "", 0, out);
  return out;
}

}  // namespace sales_demo
