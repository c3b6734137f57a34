#include "command_line.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>

#include "command_line_options.h"
#include "command_line_password.h"
#include "engine/conversion_run.h"
#include "engine/destination_folder.h"
#include "odbc/data_sources.h"
#include "odbc/login_check.h"
#include "odbc/server_name.h"
#include "odbc/source_tables.h"

namespace talvoro::app {
namespace {

// Prints the run's progress: a line per table, and the row count updated in
// place while a terminal is watching.
class ConsoleProgress : public engine::ConversionObserver {
 public:
  ConsoleProgress() : live_(isatty(STDOUT_FILENO) == 1) {}

  void OnTableStarted(std::size_t index, std::size_t count, const std::string& name) override {
    prefix_ = "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + name;
    expected_.reset();
    std::cout << prefix_ << std::flush;
  }
  void OnTableRowCount(const std::string&, std::uint64_t rows) override { expected_ = rows; }
  void OnRowsCopied(const std::string&, std::uint64_t rows) override {
    if (!live_) return;
    std::cout << "\r\033[K" << prefix_ << ": " << rows;
    if (expected_) std::cout << " of " << *expected_;
    std::cout << " rows" << std::flush;
  }
  void OnTableFinished(const engine::TableOutcome& t) override {
    if (live_) std::cout << "\r\033[K" << prefix_;
    if (t.converted) {
      std::cout << " converted, " << t.rowsCopied << " rows";
      if (t.destName != t.sourceName) std::cout << " (as " << t.destName << ")";
      std::cout << "\n";
    } else {
      std::cout << " FAILED";
      if (t.created && !t.rowsNotSaved) std::cout << " after " << t.rowsCopied << " rows";
      std::cout << ": " << t.failure << "\n";
    }
    std::cout << std::flush;
  }
  void OnDataSourceFailure(const std::string& message) override {
    std::cerr << message << "\n";
  }

 private:
  bool live_;
  std::string prefix_;  // "[i/n] name"
  std::optional<std::uint64_t> expected_;  // the table's row count, when the source said
};

// What the Access file holds differently from the source, under the completion text.
void PrintNotes(const std::string& notes) {
  if (notes.empty()) return;
  std::cout << "Notes:\n";
  std::size_t start = 0;
  while (start <= notes.size()) {
    const std::size_t end = std::min(notes.find('\n', start), notes.size());
    std::cout << "  " << notes.substr(start, end - start) << "\n";
    start = end + 1;
  }
  std::cout << std::flush;
}

int UsageError(const std::string& error) {
  std::cerr << "Kestrin1: " << error << "\n\n" << UsageText();
  return kExitUsageOrLogon;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.options) return UsageError(parsed.error);
  const CommandLineOptions& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return kExitConverted;
  }

  engine::ConversionSettings settings;
  settings.serverName = options.server;
  settings.encryption.required = options.encrypt;
  settings.encryption.trustServerCertificate = options.trustServerCertificate;
  settings.encryption.caFile = options.caFile;
  settings.databaseName = options.database;
  if (options.sourceTimeoutSeconds) settings.sourceTimeoutSeconds = *options.sourceTimeoutSeconds;
  if (options.commitIntervalMs) settings.commitInterval = std::chrono::milliseconds(*options.commitIntervalMs);
  std::error_code ec;
  std::filesystem::path dest = std::filesystem::absolute(options.dest, ec);
  settings.destPath = ec ? options.dest : dest.lexically_normal().string();

  odbc::AuthChoice choice = odbc::AuthChoice::Windows;
  if (options.sqlLogin) {
    choice = odbc::AuthChoice::SqlServer;
    settings.loginName = *options.sqlLogin;
    std::optional<std::string> password = ObtainPassword(settings.loginName);
    if (!password) {
      std::cerr << "Kestrin1: no password: set " << kPasswordVariable
                << " or run at a terminal to be asked for it\n";
      return kExitUsageOrLogon;
    }
    settings.password = *password;
  }

  // The destination is checked before anything is registered.
  if (std::optional<std::string> problem =
          engine::DestinationFolderProblem(settings.destPath, std::filesystem::current_path(ec).string())) {
    std::cerr << "Kestrin1: " << *problem << "\n";
    return kExitUsageOrLogon;
  }
  if (std::filesystem::exists(settings.destPath, ec)) {
    if (!options.overwrite) {
      std::cerr << "Kestrin1: " << settings.destPath
                << " exists; give --overwrite to replace it\n";
      return kExitUsageOrLogon;
    }
  }

  odbc::LoginCheckResult login =
      odbc::TestSourceLogin(choice, settings.loginName, settings.password, settings.databaseName,
                            settings.serverName, settings.sourceTimeoutSeconds,
                            settings.encryption);
  settings.authMode = login.authMode;
  if (login.databaseMissing) {
    std::cerr << "Kestrin1: the database " << settings.databaseName << " is not on the server "
              << odbc::ServerDisplayName(settings.serverName) << " (the logon itself worked)\n";
    return kExitUsageOrLogon;
  }
  if (!login.passed) {
    std::cerr << (login.message.empty() ? "Kestrin1: ODBC is not usable" : login.message) << "\n";
    if (!login.refusal.empty()) std::cerr << login.refusal << "\n";
    if (!login.diagnostics.empty()) std::cerr << odbc::FormatDiagnostics(login.diagnostics) << "\n";
    return kExitUsageOrLogon;
  }

  // As the table page does when it opens: the source now names the database.
  std::string registrationError;
  if (!odbc::RegisterSourceDsn(settings.databaseName, odbc::kSourceDsn, settings.serverName,
                               settings.encryption, &registrationError)) {
    std::cerr << "Kestrin1: cannot register the source data source: " << registrationError << "\n";
    return kExitUsageOrLogon;
  }
  odbc::SourceTableList available = odbc::ListSourceTables(settings.logon());
  if (!available.error.empty()) {
    std::cerr << "Kestrin1: cannot list the tables of " << settings.databaseName << ": "
              << available.error << "\n";
    return kExitUsageOrLogon;
  }
  // Tables as the list shows them: "Schema.Table", a dbo table by its bare name.
  std::vector<odbc::SourceTable> tables;
  if (options.allTables) {
    tables = available.tables;
  } else {
    for (const std::string& name : options.tables) {
      const odbc::SourceTable* table = available.Find(name);
      if (!table) {
        std::cerr << "Kestrin1: the database " << settings.databaseName << " has no table \""
                  << name << "\"\n";
        return kExitUsageOrLogon;
      }
      tables.push_back(*table);
    }
  }
  if (tables.empty()) {
    std::cerr << engine::kSelectTableMessage << "\n";
    return kExitUsageOrLogon;
  }

  // The old file stays until the run has created the new one (destination_replacement.h).
  if (options.overwrite) settings.replaceableDestPath = settings.destPath;

  ConsoleProgress progress;
  engine::ConversionResult result = engine::RunConversion(tables, settings, progress);
  std::cout << engine::CompletionText(result) << "\n";
  PrintNotes(engine::ConversionNotesText(result));
  return result.AllConverted() ? kExitConverted : kExitSomeFailed;
}

}  // namespace talvoro::app
