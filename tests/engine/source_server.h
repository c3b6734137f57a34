// The stand-in SQL Server of the engine tests: one server process per test
// program, reached by the "dsns" data source (FreeTDS's TDSPORT points
// "(local)" at it), with helpers to build fixture databases and to read a
// source table back as the driver's text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "standin_process.h"

namespace talvoro::test {

inline constexpr char kSqlLogin[] = "sa";
inline constexpr char kSqlPassword[] = "secret";

using SourceRow = std::vector<std::optional<std::string>>;

struct SourceTable {
  std::vector<std::string> columns;
  std::vector<SourceRow> rows;
};

class SourceServer {
 public:
  explicit SourceServer(StandinProcess::Options options = {});

  // Runs statements in `database` ("master" when empty) as the SQL login.
  void Execute(const std::string& database, const std::vector<std::string>& statements);
  // Every row of `Select * from [table]`, each value as SQL_C_CHAR text.
  SourceTable Read(const std::string& database, const std::string& table);

  StandinProcess& process() { return *process_; }
  int port() const { return process_->port(); }

 private:
  std::unique_ptr<StandinProcess> process_;
};

}  // namespace talvoro::test
