// Reads a 1,000,000-row table from sqlstandin through unixODBC and FreeTDS the
// way the converter's row copy does (SQLFetch, then SQLGetData per column:
// text for numbers and strings, a double for float, a timestamp structure for
// datetime) and prints the rate. Usage: standin_bench [rows]
// Besides the wall-clock rate it prints the rates over the server's and this
// client's own CPU time, which hold still when other processes share the machine.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
using bench::OwnCpuSeconds;
using Clock = std::chrono::steady_clock;


// The row shape FreeTDS's own figures were measured with: int, nvarchar with 20
// ASCII characters, datetime, money, float, bit.
void Load(Connection& c, long rows) {
  c.Run("CREATE TABLE BenchRows (id int NOT NULL PRIMARY KEY, name nvarchar(100), created datetime, "
        "amount money, ratio float, flag bit)");
  constexpr long kPerStatement = 1000;
  for (long first = 0; first < rows; first += kPerStatement) {
    std::string sql = "INSERT INTO BenchRows VALUES ";
    const long last = std::min(rows, first + kPerStatement);
    char row[200];
    for (long id = first; id < last; ++id) {
      std::snprintf(row, sizeof row, "%s(%ld, N'customer name %07ld', '2024-%02ld-%02ld %02ld:%02ld:%02ld.%03ld', %ld.%04ld, %ld.25, %ld)",
                    id == first ? "" : ",", id, id, 1 + id % 12, 1 + id % 28, id % 24, id % 60, (id / 60) % 60,
                    id % 1000, id * 7 % 100000, id % 10000, id % 977, id % 2);
      sql += row;
    }
    c.Run(sql);
  }
}

// One full read; returns seconds.
double ReadAll(Connection& c, long expectedRows) {
  const auto start = Clock::now();
  if (!SQL_SUCCEEDED(SQLExecDirect(c.stmt(), (SQLCHAR*)"Select * from BenchRows", SQL_NTS)))
    throw std::runtime_error(Connection::Diagnostic(SQL_HANDLE_STMT, c.stmt()));
  char text[256];
  double real = 0;
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN indicator = 0;
  long rows = 0;
  while (SQL_SUCCEEDED(SQLFetch(c.stmt()))) {
    SQLGetData(c.stmt(), 1, SQL_C_CHAR, text, sizeof text, &indicator);
    SQLGetData(c.stmt(), 2, SQL_C_CHAR, text, sizeof text, &indicator);
    SQLGetData(c.stmt(), 3, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
    SQLGetData(c.stmt(), 4, SQL_C_CHAR, text, sizeof text, &indicator);
    SQLGetData(c.stmt(), 5, SQL_C_DOUBLE, &real, sizeof real, &indicator);
    SQLGetData(c.stmt(), 6, SQL_C_CHAR, text, sizeof text, &indicator);
    ++rows;
  }
  SQLFreeStmt(c.stmt(), SQL_CLOSE);
  if (rows != expectedRows)
    throw std::runtime_error("read " + std::to_string(rows) + " rows, expected " + std::to_string(expectedRows));
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  try {
    talvoro::test::OdbcSandbox::Install();
    talvoro::test::StandinProcess server;
    {
      Connection master(server.ConnectString("master"));
      master.Run("CREATE DATABASE bench");
    }
    Connection c(server.ConnectString("bench"));
    const auto loadStart = Clock::now();
    Load(c, rows);
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - loadStart).count();

    std::printf("rows=%ld load_s=%.2f\n", rows, loadSeconds);
    std::fflush(stdout);  // a profiler may start on the server now

    std::vector<double> runs, serverCpu, clientCpu;
    for (int i = 0; i < 3; ++i) {
      const double serverStart = CpuSeconds(server.pid()), clientStart = OwnCpuSeconds();
      runs.push_back(ReadAll(c, rows));
      serverCpu.push_back(CpuSeconds(server.pid()) - serverStart);
      clientCpu.push_back(OwnCpuSeconds() - clientStart);
    }
    for (auto* v : {&runs, &serverCpu, &clientCpu}) std::sort(v->begin(), v->end());
    const double median = runs[runs.size() / 2];
    const double server_s = serverCpu[serverCpu.size() / 2], client_s = clientCpu[clientCpu.size() / 2];
    std::printf("read_s=%.3f server_cpu_s=%.3f client_cpu_s=%.3f (medians of %zu)\n", median, server_s, client_s,
                runs.size());
    std::printf("rows_per_s=%.0f\n", rows / median);
    std::printf("rows_per_server_cpu_s=%.0f\n", rows / server_s);
    std::printf("rows_per_client_cpu_s=%.0f\n", rows / client_s);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "standin_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
