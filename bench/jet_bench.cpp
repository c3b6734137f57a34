// Inserts ROWS rows (Long primary key, Text(100), Date/Time, Currency, Double,
// Yes/No) into a new table and prints rows_per_s, file_bytes, peak_rss_mb and
// the CPU it took (cpu_s, rows_per_cpu_s).
// Usage: jet_bench [ROWS] [FILE]   (FILE is kept when given)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/jet.h"

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  bool keep = argc > 2;
  std::string path = keep ? argv[2] : "/tmp/jet_bench_" + std::to_string(::getpid()) + ".mdb";
  if (rows < 0) {
    std::fprintf(stderr, "usage: jet_bench [ROWS] [FILE]\n");
    return 2;
  }
  ::unlink(path.c_str());
  try {
    auto start = std::chrono::steady_clock::now();
    auto db = jet::Database::Create(path);
    jet::TableDef def;
    def.name = "Bench";
    def.columns = {{"Id", jet::ColumnType::Long},       {"Name", jet::ColumnType::Text, 100},
                   {"Stamp", jet::ColumnType::DateTime}, {"Amount", jet::ColumnType::Currency},
                   {"Ratio", jet::ColumnType::Double},   {"Active", jet::ColumnType::Boolean}};
    def.primaryKey = {"Id"};
    jet::Table& table = db->CreateTable(def);
    std::vector<jet::Value> row(6);
    std::string name;
    for (long i = 0; i < rows; ++i) {
      name = "Customer name number " + std::to_string(i);
      row[0] = static_cast<std::int64_t>(i + 1);
      row[1] = name;
      row[2] = jet::DateTime{36526.0 + static_cast<double>(i % 20000) + 0.25};
      row[3] = jet::Currency{static_cast<std::int64_t>(i) * 12345};
      row[4] = static_cast<double>(i) / 7.0;
      row[5] = (i % 3) == 0;
      table.Insert(row);
    }
    db->Flush();
    db.reset();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat st {};
    ::stat(path.c_str(), &st);
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%ld\nseconds=%.3f\n", rows, seconds);
    std::printf("rows_per_s=%.0f\n", seconds > 0 ? rows / seconds : 0.0);
    std::printf("file_bytes=%lld\n", static_cast<long long>(st.st_size));
    std::printf("peak_rss_mb=%ld\n", (usage.ru_maxrss + 1023) / 1024);
    // CPU apart from the wait for the disk: the file is made durable (fdatasync)
    // before the database closes, which on a busy disk dominates the wall time.
    const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("cpu_s=%.3f\nrows_per_cpu_s=%.0f\n", cpu, cpu > 0 ? rows / cpu : 0.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jet_bench: %s\n", e.what());
    if (!keep) ::unlink(path.c_str());
    return 1;
  }
  if (!keep) ::unlink(path.c_str());
  return 0;
}
