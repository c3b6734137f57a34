// BULK INSERT of a 10-column tab-separated UTF-8 file by sqlstandin, sent
// through unixODBC and FreeTDS like any statement; prints the load rate.
// Usage: bulk_insert_bench [rows]   (default 500,000)
// Besides the wall-clock rate it prints the rate over the server's own CPU
// time, which holds still when other processes share the machine.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_bench_connection.h"
#include "odbc_sandbox.h"
#include "process_cpu.h"
#include "standin_process.h"

namespace {

using bench::Connection;
using bench::CpuSeconds;
using Clock = std::chrono::steady_clock;


void WriteFile(const std::string& path, long rows) {
  std::ofstream out(path, std::ios::binary);
  char line[300];
  for (long id = 1; id <= rows; ++id) {
    const int n = std::snprintf(line, sizeof line,
                                "%ld\tcustomer n\xC3\xA4me %07ld\tcity %ld\t%ld\t%ld\t%ld.%02ld\t%ld.25\t"
                                "2024-%02ld-%02ld %02ld:%02ld:%02ld\t%ld\t2023-%02ld-%02ld\r\n",
                                id, id, id % 977, id % 1000, id * 7919, id % 100000, id % 100, id % 313, 1 + id % 12,
                                1 + id % 28, id % 24, id % 60, (id / 60) % 60, id % 2, 1 + id % 12, 1 + id % 28);
    out.write(line, n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 500000;
  try {
    talvoro::test::OdbcSandbox::Install();
    talvoro::test::StandinProcess server;
    {
      Connection master(server.ConnectString("master"));
      master.Run("CREATE DATABASE bench");
    }
    WriteFile(server.dataDir() + "/rows.tsv", rows);
    Connection c(server.ConnectString("bench"));
    c.Run("CREATE TABLE BulkRows (id int NOT NULL PRIMARY KEY, name nvarchar(40), city varchar(20), small int, "
          "big bigint, amount decimal(10,2), ratio float, created datetime, flag bit, day date)");
    std::vector<double> runs, cpu;
    for (int i = 0; i < 3; ++i) {
      c.Run("TRUNCATE TABLE BulkRows");
      const auto start = Clock::now();
      const double cpuStart = CpuSeconds(server.pid());
      c.Run("BULK INSERT BulkRows FROM 'rows.tsv' WITH (CODEPAGE = '65001', TABLOCK)");
      runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      cpu.push_back(CpuSeconds(server.pid()) - cpuStart);
      if (c.Scalar("SELECT COUNT(*) FROM BulkRows") != std::to_string(rows))
        throw std::runtime_error("the table does not hold every row");
    }
    std::sort(runs.begin(), runs.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = runs[runs.size() / 2];
    std::printf("rows=%ld columns=10 load_s=%.3f server_cpu_s=%.3f (medians of %zu)\n", rows, median,
                cpu[cpu.size() / 2], runs.size());
    std::printf("rows_per_s=%.0f\n", rows / median);
    std::printf("rows_per_server_cpu_s=%.0f\n", rows / cpu[cpu.size() / 2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bulk_insert_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
