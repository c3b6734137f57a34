// Reads an odbc.ini as written by unixODBC, for checking what a setup library wrote.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace talvoro::test {

// Section name → its key=value lines in file order. Sections that occur twice
// are kept twice so a test can see a duplicated data source.
using IniSections = std::vector<std::pair<std::string, std::map<std::string, std::string>>>;

inline IniSections ReadIniFile(const std::string& path) {
  IniSections sections;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      sections.push_back({line.substr(1, line.find(']') - 1), {}});
    } else if (const auto equals = line.find('='); equals != std::string::npos && !sections.empty()) {
      auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(' '));
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
      };
      sections.back().second[trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
  }
  return sections;
}

}  // namespace talvoro::test
