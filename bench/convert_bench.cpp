// convert_bench [--indexes] [--commit-interval MS] [ROWS]: converts one table
// of ROWS rows (default 1,000,000) from the stand-in into a new .mdb file and
// compares the time with reading the same rows through ODBC alone. Prints
// convert_s, read_only_s (medians of five rounds each), ratio, peak_rss_mb, and
// the CPU seconds each phase cost the converter and the stand-in.
// With --indexes the table has three secondary indexes besides its primary key
// (unique, descending, and one of two columns), which the conversion builds
// after the rows. --commit-interval sets the row copy's commit interval
// (default 2000 ms), to weigh what the commits cost; --rounds the number of
// rounds (default 5). --command also runs the Kestrin1 command line on the
// same table (median of the rounds) and prints its time, CPU and peak memory.
// --phases prints when each conversion reached its steps (to stderr);
// --convert-only leaves out the reading rounds (for a profiler).
//
// convert_bench --fill-2gb: converts one wide table (text columns of a few KB)
// holding more than the 2 GB a file can take, once. Prints fill_s, the outcome
// (the table fails at the size limit, naming the rows the file holds),
// file_bytes and peak_rss_mb.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>
#include <cstdlib>
#include <iostream>
#include <string>

#include "engine/conversion_run.h"
#include "engine/row_copy.h"
#include "odbc/data_sources.h"
#include "odbc/database.h"
#include "odbc_sandbox.h"
#include "standin_process.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU seconds (user + system) of this process and of the stand-in: on a shared
// machine these say more than wall-clock time about what a change saved.
double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto end = stat.rfind(')');  // the command name may hold blanks
  if (end == std::string::npos) return 0;
  std::istringstream fields(stat.substr(end + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

constexpr char kDatabase[] = "Bench";
constexpr char kTable[] = "BenchRows";
constexpr long kRowsPerBatch = 1000;

void Populate(talvoro::test::StandinProcess& server, long rows, bool indexes) {
  talvoro::odbc::Database master;
  master.OpenEx(server.ConnectString("master"));
  master.ExecuteSQL(std::string("CREATE DATABASE ") + kDatabase);
  talvoro::odbc::Database db;
  db.set_query_timeout(0);
  db.OpenEx(server.ConnectString(kDatabase));
  db.ExecuteSQL(std::string("CREATE TABLE ") + kTable +
                " (id int IDENTITY(1,1) PRIMARY KEY, name nvarchar(100) NOT NULL, "
                "created datetime NOT NULL, amount money NOT NULL, ratio float NOT NULL, "
                "flag bit NOT NULL)");
  std::string sql;
  char row[256];
  for (long done = 0; done < rows;) {
    sql = std::string("INSERT INTO ") + kTable + " (name, created, amount, ratio, flag) VALUES ";
    long batch = std::min(kRowsPerBatch, rows - done);
    for (long i = 0; i < batch; ++i, ++done) {
      std::snprintf(row, sizeof row, "%s(N'Customer name number %07ld', '20%02ld-%02ld-%02ld %02ld:%02ld:%02ld.%03ld', "
                    "%ld.%04ld, %.17g, %ld)",
                    i ? ", " : "", done, done % 30, done % 12 + 1, done % 28 + 1, done % 24,
                    done % 60, (done * 7) % 60, (done * 10) % 1000, done * 3, done % 10000,
                    done / 7.0, done % 2);
      sql += row;
    }
    db.ExecuteSQL(sql);
  }
  if (indexes) {
    db.ExecuteSQL(std::string("CREATE UNIQUE INDEX IX_Name ON ") + kTable + " (name)");
    db.ExecuteSQL(std::string("CREATE INDEX IX_Created ON ") + kTable + " (created DESC)");
    db.ExecuteSQL(std::string("CREATE INDEX IX_Flag_Amount ON ") + kTable + " (flag, amount)");
  }
}

constexpr char kWideTable[] = "WideRows";
constexpr int kWideTextColumns = 4;
constexpr int kWideTextLength = 3000;
constexpr long kWideSeedRows = 1000;
constexpr long kWideRows = 80000;  // 2.5 GB as the file stores text (UTF-16)
constexpr long kWideCopyChunk = 32000;

// The wide table: a few rows sent as text, then copied within the server in
// chunks (INSERT ... SELECT), which keeps the stand-in's memory bounded.
void PopulateWide(talvoro::test::StandinProcess& server) {
  talvoro::odbc::Database master;
  master.OpenEx(server.ConnectString("master"));
  master.ExecuteSQL(std::string("CREATE DATABASE ") + kDatabase);
  talvoro::odbc::Database db;
  db.set_query_timeout(0);
  db.OpenEx(server.ConnectString(kDatabase));
  std::string columns = "n, t";
  std::string create = std::string("CREATE TABLE ") + kWideTable +
                       " (id int IDENTITY(1,1) PRIMARY KEY, n float NOT NULL, t datetime NOT NULL";
  for (int c = 0; c < kWideTextColumns; ++c) {
    const std::string name = std::string(1, static_cast<char>('a' + c));
    create += ", " + name + " varchar(" + std::to_string(kWideTextLength) + ") NOT NULL";
    columns += ", " + name;
  }
  db.ExecuteSQL(create + ")");
  for (long done = 0; done < kWideSeedRows;) {
    std::string sql = std::string("INSERT INTO ") + kWideTable + " (" + columns + ") VALUES ";
    for (int i = 0; i < 20; ++i, ++done) {
      sql += std::string(i ? ", " : "") + "(" + std::to_string(done / 3.0) + ", '2020-01-01 10:00:00'";
      for (int c = 0; c < kWideTextColumns; ++c) {
        std::string text(kWideTextLength, static_cast<char>('a' + (done + c) % 26));
        char number[16];
        std::snprintf(number, sizeof number, "%011ld", done);
        text.replace(0, 11, number);
        sql += ", '" + text + "'";
      }
      sql += ")";
    }
    db.ExecuteSQL(sql);
  }
  for (long rows = kWideSeedRows; rows < kWideRows;) {
    const long chunk = std::min({rows, kWideCopyChunk, kWideRows - rows});
    db.ExecuteSQL(std::string("INSERT INTO ") + kWideTable + " (" + columns + ") SELECT " + columns + " FROM " +
                  kWideTable + " WHERE id <= " + std::to_string(chunk));
    rows += chunk;
  }
}

int FillTwoGigabytes() {
  talvoro::test::StandinProcess server;
  setenv("TDSPORT", std::to_string(server.port()).c_str(), 1);
  auto start = Clock::now();
  PopulateWide(server);
  std::cerr << "populated " << kWideRows << " wide rows in " << Seconds(start) << " s\n";
  talvoro::odbc::RegisterSourceDsn(kDatabase, "dsns");
  talvoro::engine::ConversionSettings settings;
  settings.databaseName = kDatabase;
  settings.authMode = "sql";
  settings.loginName = "sa";
  settings.password = "secret";
  talvoro::test::TempDir dir("talvoro-bench");
  settings.destPath = dir.File("wide.mdb");
  talvoro::engine::ConversionObserver quiet;
  start = Clock::now();
  talvoro::engine::ConversionResult result = talvoro::engine::RunConversion({kWideTable}, settings, quiet);
  const double fill = Seconds(start);
  const std::uintmax_t fileBytes = std::filesystem::file_size(settings.destPath);
  std::filesystem::remove(settings.destPath);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::string outcome = talvoro::engine::CompletionText(result);
  for (char& c : outcome) if (c == '\n') c = ' ';
  std::printf("rows=%ld\nfill_s=%.3f\nconverted=%d\nrows_copied=%ju\noutcome=%s\nfile_bytes=%ju\npeak_rss_mb=%.1f\n",
              kWideRows, fill, result.AllConverted() ? 1 : 0,
              static_cast<std::uintmax_t>(result.tables.empty() ? 0 : result.tables[0].rowsCopied), outcome.c_str(),
              fileBytes, usage.ru_maxrss / 1024.0);
  return 0;
}

// Runs the Kestrin1 command line on kTable into `dest`; wall seconds, its CPU
// seconds and peak memory (MB) through wait4.
struct CommandRun {
  double seconds = 0, cpu = 0, peakMb = 0;
  int status = -1;
};

CommandRun RunCommandLine(const std::string& dest) {
  CommandRun run;
#ifdef TALVORO_KESTRIN1_PATH
  setenv("KESTRIN1_PASSWORD", "secret", 1);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl(TALVORO_KESTRIN1_PATH, "Kestrin1", "--database", kDatabase, "--dest", dest.c_str(), "--table", kTable,
          "--sql-login", "sa", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child > 0 && wait4(child, &status, 0, &usage) == child) {
    run.seconds = Seconds(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMb = usage.ru_maxrss / 1024.0;
  }
#else
  (void)dest;
#endif
  return run;
}

// For --phases: when the table started, its status line came (its schema read
// and the table created), the row total arrived, the first and the last rows
// were copied, and the table ended.
struct PhaseClock final : talvoro::engine::ConversionObserver {
  Clock::time_point start = Clock::now();
  double started = 0, firstRows = 0, lastRows = 0, finished = 0, counted = 0;
  double status = 0;
  void OnTableStarted(std::size_t, std::size_t, const std::string&) override { started = Seconds(start); }
  void OnStatusText(const std::string&) override {
    if (started > 0 && status == 0) status = Seconds(start);
  }
  void OnTableRowCount(const std::string&, std::uint64_t) override { counted = Seconds(start); }
  void OnRowsCopied(const std::string&, std::uint64_t) override {
    if (firstRows == 0) firstRows = Seconds(start);
    lastRows = Seconds(start);
  }
  void OnTableFinished(const talvoro::engine::TableOutcome&) override { finished = Seconds(start); }
};

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  bool indexes = false;
  bool command = false;
  bool phases = false;
  bool readRounds = true;
  bool unknown = false;  // an option this program does not know: the usage, not a run
  long commitMs = 2000;
  int rounds = 5;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    const std::string option = argv[arg];
    if (option == "--indexes") {
      indexes = true;
    } else if (option == "--command") {
      command = true;
    } else if (option == "--phases") {
      phases = true;
    } else if (option == "--convert-only") {
      readRounds = false;
    } else if (option == "--commit-interval" && arg + 1 < argc) {
      commitMs = std::strtol(argv[++arg], nullptr, 10);
    } else if (option == "--rounds" && arg + 1 < argc) {
      rounds = static_cast<int>(std::strtol(argv[++arg], nullptr, 10));
    } else if (option == "--fill-2gb" && argc == 2) {
      talvoro::test::OdbcSandbox::Install();
      try {
        return FillTwoGigabytes();
      } catch (const std::exception& e) {
        std::cerr << "convert_bench: " << e.what() << "\n";
        return 1;
      }
    } else {
      unknown = true;
      break;
    }
  }
  const long rows = arg < argc ? std::strtol(argv[arg], nullptr, 10) : 1000000;
  if (unknown || rows <= 0 || commitMs <= 0 || rounds <= 0 || argc > arg + 1) {
    std::cerr << "usage: convert_bench [--indexes] [--command] [--phases] [--convert-only] [--commit-interval MS] "
                 "[--rounds N] [ROWS] | "
                 "convert_bench --fill-2gb\n";
    return 2;
  }
  talvoro::test::OdbcSandbox::Install();
  try {
    talvoro::test::StandinProcess server;
    setenv("TDSPORT", std::to_string(server.port()).c_str(), 1);
    auto start = Clock::now();
    Populate(server, rows, indexes);
    std::cerr << "populated " << rows << " rows in " << Seconds(start) << " s\n";

    // Windows authentication is not set up here: the source data source carries
    // the SQL login through the logon settings.
    talvoro::odbc::RegisterSourceDsn(kDatabase, "dsns");
    talvoro::engine::ConversionSettings settings;
    settings.databaseName = kDatabase;
    talvoro::test::TempDir dir("talvoro-bench");
    settings.authMode = "sql";
    settings.loginName = "sa";
    settings.password = "secret";
    settings.commitInterval = std::chrono::milliseconds(commitMs);

    // Reading and converting take turns, five times each (--rounds); the
    // medians are printed, so that one disturbed run on a shared machine does
    // not decide.
    std::vector<double> readTimes, convertTimes, readCpu, convertCpu, readServerCpu, convertServerCpu;
    std::uintmax_t fileBytes = 0;
    for (int round = 0; round < rounds; ++round) {
      start = Clock::now();
      double cpu = OwnCpuSeconds(), serverCpu = ProcessCpuSeconds(server.pid());
      long read = 0;
      if (!readRounds) read = rows; else {
        talvoro::odbc::Database db;
        db.set_query_timeout(0);
        db.OpenDataSource("dsns", "sa", "secret");
        talvoro::odbc::Recordset rs(db);
        rs.Open(std::string("Select * from [") + kTable + "]");
        std::int64_t i64;
        std::string text;
        SQL_TIMESTAMP_STRUCT ts;
        double d;
        while (rs.Fetch()) {
          rs.GetInt64(0, i64);
          rs.GetUtf8FromWide(1, text);
          rs.GetTimestamp(2, ts);
          rs.GetText(3, text);
          rs.GetDouble(4, d);
          rs.GetInt64(5, i64);
          ++read;
        }
      }
      readTimes.push_back(Seconds(start));
      readCpu.push_back(OwnCpuSeconds() - cpu);
      readServerCpu.push_back(ProcessCpuSeconds(server.pid()) - serverCpu);
      cpu = OwnCpuSeconds();
      serverCpu = ProcessCpuSeconds(server.pid());

      settings.destPath = dir.File("bench" + std::to_string(round) + ".mdb");
      PhaseClock quiet;
      start = Clock::now();
      talvoro::engine::ConversionResult result =
          talvoro::engine::RunConversion({kTable}, settings, quiet);
      convertTimes.push_back(Seconds(start));
      if (phases)
        std::fprintf(stderr, "started %.3f status %.3f counted %.3f first %.3f last %.3f finished %.3f end %.3f\n", quiet.started, quiet.status,
                     quiet.counted, quiet.firstRows, quiet.lastRows, quiet.finished, convertTimes.back());
      convertCpu.push_back(OwnCpuSeconds() - cpu);
      convertServerCpu.push_back(ProcessCpuSeconds(server.pid()) - serverCpu);
      if (!result.AllConverted() || result.tables[0].rowsCopied != static_cast<std::uint64_t>(rows) ||
          read != rows || !result.tables[0].notes.empty()) {
        std::cerr << "conversion incomplete: " << talvoro::engine::CompletionText(result) << "\n"
                  << talvoro::engine::ConversionNotesText(result) << "\n";
        return 1;
      }
      fileBytes = std::filesystem::file_size(settings.destPath);
      // CONVERT_BENCH_KEEP=FILE keeps the last round's file for the readers.
      if (const char* keep = std::getenv("CONVERT_BENCH_KEEP"))
        std::filesystem::copy_file(settings.destPath, keep, std::filesystem::copy_options::overwrite_existing);
      std::filesystem::remove(settings.destPath);
    }
    std::vector<double> commandTimes, commandCpu, commandServerCpu, commandPeak;
    for (int round = 0; command && round < rounds; ++round) {
      const std::string dest = dir.File("command" + std::to_string(round) + ".mdb");
      const double serverCpu = ProcessCpuSeconds(server.pid());
      const CommandRun run = RunCommandLine(dest);
      if (run.status != 0) {
        std::cerr << "Kestrin1 exited with " << run.status << "\n";
        return 1;
      }
      commandServerCpu.push_back(ProcessCpuSeconds(server.pid()) - serverCpu);
      commandTimes.push_back(run.seconds);
      commandCpu.push_back(run.cpu);
      commandPeak.push_back(run.peakMb);
      std::filesystem::remove(dest);
    }
    const double readOnly = Median(readTimes);
    const double convert = Median(convertTimes);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("commit_interval_ms=%ld\n", commitMs);
    std::printf("indexes=%d\nrows=%ld\nconvert_s=%.3f\nread_only_s=%.3f\nratio=%.2f\nfile_bytes=%ju\npeak_rss_mb=%.1f\n",
                indexes ? 3 : 0, rows, convert, readOnly, convert / readOnly, static_cast<std::uintmax_t>(fileBytes),
                usage.ru_maxrss / 1024.0);
    std::printf("convert_cpu_s=%.3f\nconvert_server_cpu_s=%.3f\nread_only_cpu_s=%.3f\nread_only_server_cpu_s=%.3f\n",
                Median(convertCpu), Median(convertServerCpu), Median(readCpu), Median(readServerCpu));
    if (command)
      std::printf("command_s=%.3f\ncommand_cpu_s=%.3f\ncommand_server_cpu_s=%.3f\ncommand_peak_rss_mb=%.1f\n",
                  Median(commandTimes), Median(commandCpu), Median(commandServerCpu), Median(commandPeak));
  } catch (const std::exception& e) {
    std::cerr << "convert_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
