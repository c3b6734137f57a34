// sqlcmd's scripting variables: ":setvar Name Value" lines and $(Name)
// references, with values given on the command line (-v Name=Value) and the
// environment beneath them. As in sqlcmd, a :setvar in the script wins over
// -v, and -v over the environment; names ignore case; a reference to a
// variable nobody defined stops the script.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sales_demo {

// Case-insensitive variable names.
struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using ScriptVariables = std::map<std::string, std::string, NameLess>;

class ScriptVariableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses "Name=Value" of a -v argument; a quoted value loses its quotes.
// Throws ScriptVariableError for a malformed one.
std::pair<std::string, std::string> ParseVariableAssignment(std::string_view text);

// The script with each :setvar line applied (and left as an empty line, so
// line numbers stay) and every $(Name) replaced by its value. A ":r file" line
// is replaced by that file's lines, expanded the same way (nested files too;
// $(Name) in the path; relative to the current directory). ":on error exit"
// and ":on error ignore" stay as lines of their own for SplitSqlBatches. Any
// other ":command" is refused. `commandLine` holds the -v values;
// `useEnvironment` lets environment variables answer names nothing else
// defines. Throws ScriptVariableError naming the file and line. With
// `lineOrigins`, also tells for each line of the result where it came from
// ("line 3", "parts/a.sql line 7").
std::string ExpandScriptVariables(std::string_view script, const ScriptVariables& commandLine,
                                  bool useEnvironment = true, std::vector<std::string>* lineOrigins = nullptr);

}  // namespace sales_demo
