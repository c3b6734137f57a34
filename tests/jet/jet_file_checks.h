// Checks shared by the Jet engine tests: a file must be read without complaint by
// mdbtools and mdb-reader, and our own reader must return what was written.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "independent_readers.h"
#include "jet/jet.h"

namespace talvoro::test {

// Every table read by mdb-tables, mdb-schema, mdb-export and mdb-reader without a
// complaint. Returns mdb-reader's document for further checks.
inline nlohmann::json ExpectReadersAccept(const std::string& path, bool withRows = true) {
  MdbToolsRead tools = ReadWithMdbTools(path);
  EXPECT_TRUE(tools.ok) << tools.problems;
  if (withRows) {
    for (const auto& table : tools.tables) {
      MdbExport exported = ExportWithMdbTools(path, table);
      EXPECT_TRUE(exported.ok) << exported.problems;
    }
  }
  MdbReaderRead reader = ReadWithMdbReader(path, withRows);
  EXPECT_TRUE(reader.ok) << reader.problems << reader.document.dump().substr(0, 2000);
  return reader.document;
}

// For files made by Access: mdb-reader cannot decode Access's own MSysAccessObjects
// and says so on stderr, which mdbcheck reports as a warning, not a problem.
inline nlohmann::json ReadForeignFile(const std::string& path) {
  MdbReaderRead reader = ReadWithMdbReader(path);
  EXPECT_TRUE(reader.document.contains("problems") && reader.document["problems"].empty())
      << reader.problems << reader.document.dump().substr(0, 2000);
  return reader.document;
}

// All rows of a table through our own reader.
inline std::vector<std::vector<jet::Value>> ReadAll(const jet::Table& table) {
  std::vector<std::vector<jet::Value>> rows;
  auto cursor = table.Scan();
  std::vector<jet::Value> row;
  while (cursor->Next(row)) rows.push_back(row);
  return rows;
}

}  // namespace talvoro::test
