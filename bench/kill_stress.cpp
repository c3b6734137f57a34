// kill_stress: kills writers at random moments, thousands of times, and checks every
// file they leave behind.
//
//   kill_stress [--kind engine|convert] [--kills N] [--seed S] [--strict-every K] [--keep DIR]
//
// engine   a process writing through the Jet engine directly: rows with long values
//          into a keyed table, rows into a wide table (its definition spans two
//          pages, with a secondary index), now and then a new table, an index on it
//          and a relationship, flushing after every batch (Written or Synced).
//          Every few kills the file starts again; otherwise the next writer goes
//          on with the file the last one left.
// convert  Kestrin1 converting several tables (keys, indexes, a relationship, long
//          values) from the SQL Server stand-in, committing every 20 ms.
//
// After every kill the file goes through the engine's integrity check, and the
// rows are checked against what the writer had reported flushed; every K-th
// survivor (default 10) is also read by mdbtools, mdb-reader and, when JETCHECK
// names it, `jetcheck --strict`. Prints one FAIL line per failed survivor with the
// seed that chose its moment (kept as DIR/failed-<kill>.mdb with --keep), then
// kills=, with_file=, strict_checked=, failures=. Exit 1 when anything failed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "independent_readers.h"
#include "jet/jet.h"
#include "odbc/database.h"
#include "odbc_sandbox.h"
#include "run_command.h"
#include "standin_process.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using jet::ColumnType;
using talvoro::test::RunCommand;

struct Options {
  std::string kind = "engine";
  long kills = 3000;
  unsigned seed = 1;
  long strictEvery = 10;
  std::string keep;
};

struct Tally {
  long kills = 0, withFile = 0, strict = 0, failures = 0;
};

// ---- The engine writer ------------------------------------------------------------

constexpr int kWideColumns = 150;

jet::TableDef LogTable() {
  jet::TableDef d;
  d.name = "Log";
  d.columns = {{"Seq", ColumnType::Long}, {"Text", ColumnType::Text, 40}, {"Memo", ColumnType::Memo}};
  d.primaryKey = {"Seq"};
  return d;
}

jet::TableDef WideTable() {
  jet::TableDef d;
  d.name = "Wide";
  d.columns.push_back({"Id", ColumnType::Long});
  for (int c = 1; c < kWideColumns; ++c) d.columns.push_back({"Column number " + std::to_string(c), ColumnType::Long});
  d.primaryKey = {"Id"};
  return d;
}

void CreateStart(const std::string& path) {
  auto db = jet::Database::Create(path);
  db->CreateTable(LogTable());
  db->CreateTable(WideTable());
  jet::IndexDef byValue;
  byValue.name = "ByValue";
  byValue.columns = {{"Column number 1", false}};
  db->CreateIndex("Wide", byValue);
  db->Flush();
}

std::string MemoFor(std::int64_t seq) {
  std::size_t length = seq % 11 == 0 ? 2000 + static_cast<std::size_t>(seq * 37 % 9000) : static_cast<std::size_t>(seq % 90);
  return std::string(length, static_cast<char>('a' + seq % 26));
}

// Writes until killed; after every flush sends the rows of Log flushed so far.
[[noreturn]] void EngineWriter(const std::string& path, int progressFd, unsigned seed) {
  try {
    std::mt19937 random(seed);
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* log = db->FindTable("Log");
    jet::Table* wide = db->FindTable("Wide");
    auto next = static_cast<std::int64_t>(log->rowCount());
    auto nextWide = static_cast<std::int64_t>(wide->rowCount());
    std::vector<jet::Value> wideRow(kWideColumns);
    for (;;) {
      int batch = 1 + static_cast<int>(random() % 60);
      for (int i = 0; i < batch; ++i, ++next)
        log->Insert({next, std::string("row ") + std::to_string(next), MemoFor(next)});
      int wideRows = static_cast<int>(random() % 8);
      for (int i = 0; i < wideRows; ++i, ++nextWide) {
        wideRow[0] = nextWide;
        for (int c = 1; c < kWideColumns; ++c) wideRow[c] = std::int64_t{nextWide * c % 1000};
        wide->Insert(wideRow);
      }
      if (random() % 10 == 0) {
        jet::TableDef side;
        side.name = "Side " + std::to_string(seed) + "_" + std::to_string(next);
        side.columns = {{"Id", ColumnType::Long}, {"Seq", ColumnType::Long}, {"Note", ColumnType::Memo}};
        side.primaryKey = {"Id"};
        jet::Table& t = db->CreateTable(side);
        for (std::int64_t r = 0; r < 20; ++r) t.Insert({r, next - 1, std::string(50, 's')});
        if (random() % 2) {
          jet::IndexDef index;
          index.name = "BySeq";
          index.columns = {{"Seq", true}};
          db->CreateIndex(side.name, index);
        }
        if (random() % 2) {
          jet::RelationshipDef rel;
          rel.name = "Rel" + std::to_string(seed) + "_" + std::to_string(next);
          rel.table = side.name;
          rel.columns = {"Seq"};
          rel.referencedTable = "Log";
          rel.referencedColumns = {"Seq"};
          db->CreateRelationship(rel);
        }
      }
      db->Flush(random() % 2 ? jet::Durability::Written : jet::Durability::Synced);
      std::int64_t flushed = next;
      if (write(progressFd, &flushed, sizeof flushed) != sizeof flushed) _exit(3);
    }
  } catch (const std::exception& e) {
    std::cerr << "writer: " << e.what() << "\n";
    _exit(2);
  }
}

// Log holds rows 0..n-1 in order, whole, with n at least the rows flushed.
std::string CheckLogRows(const std::string& path, std::int64_t flushed) {
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  jet::Table* log = db->FindTable("Log");
  if (!log) return "table Log is missing";
  auto cursor = log->Scan();
  std::vector<jet::Value> row;
  std::int64_t n = 0;
  while (cursor->Next(row)) {
    auto* seq = std::get_if<std::int64_t>(&row[0]);
    auto* memo = std::get_if<std::string>(&row[2]);
    if (!seq || *seq != n) return "row " + std::to_string(n) + " of Log has another Seq";
    if (!memo || *memo != MemoFor(n)) return "row " + std::to_string(n) + " of Log has another Memo";
    ++n;
  }
  if (n < flushed) return "Log holds " + std::to_string(n) + " rows, " + std::to_string(flushed) + " were flushed";
  if (static_cast<std::uint64_t>(n) != log->rowCount()) return "Log counts " + std::to_string(log->rowCount()) + " rows, holds " + std::to_string(n);
  return {};
}

// ---- Independent readers ------------------------------------------------------------

std::string ReadersProblems(const std::string& path) {
  std::string problems;
  auto tools = talvoro::test::ReadWithMdbTools(path);
  if (!tools.ok) problems += "mdbtools: " + tools.problems + "\n";
  for (const auto& table : tools.tables) {
    auto exported = talvoro::test::ExportWithMdbTools(path, table);
    if (!exported.ok) problems += "mdb-export " + table + ": " + exported.problems + "\n";
  }
  // mdb-reader, then jetverify and (with JETCHECK) jetcheck --strict.
  auto reader = talvoro::test::ReadWithMdbReader(path, true);
  if (!reader.ok) problems += reader.problems + "\n";
  return problems;
}

std::string IntegrityProblems(const std::string& path) {
  std::string problems;
  try {
    for (const auto& p : jet::CheckIntegrity(path)) problems += p + "\n";
  } catch (const std::exception& e) {
    problems = std::string("cannot open: ") + e.what();
  }
  return problems;
}

void Report(Tally& tally, const Options& o, const std::string& path, long kill, unsigned seed, long delayUs,
            const std::string& problems) {
  ++tally.failures;
  std::cout << "FAIL kind=" << o.kind << " kill=" << kill << " seed=" << seed << " delay_us=" << delayUs << ": "
            << problems.substr(0, 2000) << std::endl;
  if (!o.keep.empty()) {
    std::filesystem::create_directories(o.keep);
    std::filesystem::copy_file(path, o.keep + "/failed-" + std::to_string(kill) + ".mdb",
                               std::filesystem::copy_options::overwrite_existing);
  }
}

void RunEngine(const Options& o, Tally& tally) {
  talvoro::test::TempDir dir("talvoro-kill-stress");
  const std::string path = dir.File("killed.mdb");
  std::mt19937 random(o.seed);
  std::int64_t flushed = 0;
  for (long kill = 1; kill <= o.kills; ++kill) {
    // A fresh file every 40 kills keeps files small and covers the first flushes.
    if (kill % 40 == 1) {
      std::filesystem::remove(path);
      CreateStart(path);
      flushed = 0;
    }
    const unsigned seed = static_cast<unsigned>(random());
    const long delayUs = 2000 + static_cast<long>(seed % 60000);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      EngineWriter(path, fds[1], seed);
    }
    close(fds[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::int64_t value;
    while (read(fds[0], &value, sizeof value) == sizeof value) flushed = value;
    close(fds[0]);
    ++tally.kills;
    ++tally.withFile;
    if (!WIFSIGNALED(status)) {
      Report(tally, o, path, kill, seed, delayUs, "the writer stopped on its own, status " + std::to_string(status));
      std::filesystem::remove(path);
      CreateStart(path);
      flushed = 0;
      continue;
    }
    std::string problems = IntegrityProblems(path);
    if (problems.empty()) problems = CheckLogRows(path, flushed);
    if (problems.empty() && kill % o.strictEvery == 0) {
      ++tally.strict;
      problems = ReadersProblems(path);
    }
    if (!problems.empty()) {
      Report(tally, o, path, kill, seed, delayUs, problems);
      // The next writer would start from a damaged file: start again.
      std::filesystem::remove(path);
      CreateStart(path);
      flushed = 0;
    }
    if (kill % 250 == 0) std::cerr << kill << " kills, " << tally.failures << " failures\n";
  }
}

// ---- Kestrin1 ---------------------------------------------------------------------------

constexpr char kDatabase[] = "Killable";
constexpr int kRowsPerTable = 6000;

void PopulateSource(talvoro::test::StandinProcess& server) {
  talvoro::odbc::Database master;
  master.OpenEx(server.ConnectString("master"));
  master.ExecuteSQL(std::string("CREATE DATABASE ") + kDatabase);
  talvoro::odbc::Database db;
  db.set_query_timeout(0);
  db.OpenEx(server.ConnectString(kDatabase));
  db.ExecuteSQL("CREATE TABLE Parent (id int IDENTITY(1,1) PRIMARY KEY, name nvarchar(60) NOT NULL, note ntext NULL)");
  db.ExecuteSQL("CREATE UNIQUE INDEX IX_Parent_Name ON Parent (name)");
  db.ExecuteSQL("CREATE TABLE Child (id int NOT NULL PRIMARY KEY, parent int NOT NULL REFERENCES Parent(id), "
                "amount money NULL, created datetime NULL)");
  db.ExecuteSQL("CREATE INDEX IX_Child_Created ON Child (created DESC)");
  db.ExecuteSQL("CREATE TABLE Plain (k nvarchar(20) NOT NULL PRIMARY KEY, v float NULL, blob varbinary(max) NULL)");
  for (int done = 0; done < kRowsPerTable;) {
    std::string parents = "INSERT INTO Parent (name, note) VALUES ", children = "INSERT INTO Child VALUES ",
                plain = "INSERT INTO Plain VALUES ";
    for (int i = 0; i < 500; ++i, ++done) {
      const std::string n = std::to_string(done);
      const std::string note = done % 53 == 0 ? std::string(2500, 'n') : "note " + n;
      parents += (i ? ",(N'" : "(N'") + std::string("parent ") + n + "',N'" + note + "')";
      children += (i ? ",(" : "(") + n + "," + std::to_string(done / 3 + 1) + "," + n + ".5,'2020-01-01')";
      plain += (i ? ",(N'k" : "(N'k") + n + "'," + n + ".25," + (done % 41 == 0 ? "0x" + std::string(6000, 'a') : "NULL") + ")";
    }
    db.ExecuteSQL(parents);
    db.ExecuteSQL(children);
    db.ExecuteSQL(plain);
  }
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void RunConvert(const Options& o, Tally& tally) {
  talvoro::test::OdbcSandbox::Install();
  talvoro::test::StandinProcess server;
  setenv("TDSPORT", std::to_string(server.port()).c_str(), 1);
  setenv("KESTRIN1_PASSWORD", "secret", 1);
  PopulateSource(server);
  talvoro::test::TempDir dir("talvoro-kill-stress");
  const std::string dest = dir.File("killed.mdb"), out = dir.File("out.txt"), err = dir.File("err.txt");
  const std::string program = TALVORO_BUILD_DIR "/app/Kestrin1";
  std::vector<std::string> argv = {program, "--database", kDatabase, "--dest", dest, "--sql-login", "sa", "--all",
                                   "--overwrite", "--commit-interval", "20"};
  auto start = [&]() -> pid_t {
    pid_t child = fork();
    if (child == 0) {
      if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(4);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(program.c_str(), args.data());
      _exit(127);
    }
    return child;
  };
  // One whole run, for how long a conversion takes.
  auto began = Clock::now();
  pid_t whole = start();
  int status = 0;
  waitpid(whole, &status, 0);
  const long durationUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("a whole conversion failed:\n" + ReadText(out) + ReadText(err));
  std::cerr << "a whole conversion takes " << durationUs / 1000 << " ms\n";
  std::mt19937 random(o.seed);
  const std::regex converted(R"(\] (\w+) converted, (\d+) rows)");
  for (long kill = 1; kill <= o.kills; ++kill) {
    const unsigned seed = static_cast<unsigned>(random());
    const long delayUs = static_cast<long>(seed % static_cast<unsigned>(durationUs));
    std::filesystem::remove(dest);
    pid_t child = start();
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    ::kill(child, SIGKILL);
    waitpid(child, &status, 0);
    ++tally.kills;
    if (!std::filesystem::exists(dest)) continue;
    ++tally.withFile;
    std::string problems = IntegrityProblems(dest);
    const bool strict = tally.withFile % o.strictEvery == 0;
    if (problems.empty() && strict) {
      ++tally.strict;
      problems = ReadersProblems(dest);
    }
    // Tables reported converted hold every row.
    if (problems.empty()) {
      const std::string printed = ReadText(out);
      try {
        auto db = jet::Database::Open(dest, jet::OpenMode::ReadOnly);
        for (auto it = std::sregex_iterator(printed.begin(), printed.end(), converted); it != std::sregex_iterator(); ++it) {
          jet::Table* t = db->FindTable((*it)[1].str());
          if (!t || t->rowCount() != std::stoull((*it)[2]))
            problems += "table " + (*it)[1].str() + " was reported converted with " + (*it)[2].str() + " rows\n";
        }
      } catch (const std::exception& e) {
        problems += std::string("cannot open: ") + e.what();
      }
    }
    if (!problems.empty()) Report(tally, o, dest, kill, seed, delayUs, problems);
    if (kill % 100 == 0) std::cerr << kill << " kills, " << tally.failures << " failures\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--kind") o.kind = value();
      else if (a == "--kills") o.kills = std::stol(value());
      else if (a == "--seed") o.seed = static_cast<unsigned>(std::stoul(value()));
      else if (a == "--strict-every") o.strictEvery = std::max(1L, std::stol(value()));
      else if (a == "--keep") o.keep = value();
      else throw std::invalid_argument("unknown argument " + a);
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\nusage: kill_stress [--kind engine|convert] [--kills N] [--seed S] "
                               "[--strict-every K] [--keep DIR]\n";
      return 2;
    }
  }
  if (o.kind != "engine" && o.kind != "convert") {
    std::cerr << "--kind is engine or convert\n";
    return 2;
  }
  Tally tally;
  const auto began = Clock::now();
  try {
    if (o.kind == "engine")
      RunEngine(o, tally);
    else
      RunConvert(o, tally);
  } catch (const std::exception& e) {
    std::cerr << "kill_stress: " << e.what() << "\n";
    return 2;
  }
  std::cout << "kind=" << o.kind << " seed=" << o.seed << " kills=" << tally.kills << " with_file=" << tally.withFile
            << " strict_checked=" << tally.strict << " failures=" << tally.failures << " seconds="
            << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count() << std::endl;
  return tally.failures ? 1 : 0;
}
