// INSERT statements per second through the driver manager and our driver:
//   100,000 single-row INSERTs on one connection, and
//   10,000 with a connect and a disconnect around each (the converter's row copy).
// The figures include flushing the file (on disconnect). Prints
//   stmts_per_s_one_conn=N
//   stmts_per_s_conn_per_row=N
// Uses a private ODBC configuration, never the user's.
#include <odbcinst.h>
#include <sql.h>
#include <sys/resource.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "odbc_sandbox.h"
#include "temp_dir.h"

namespace {

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  if (SQL_SUCCEEDED(rc)) return;
  SQLCHAR state[6] = "", text[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
  std::fprintf(stderr, "driver_bench: %s failed: %s %s\n", what, state, text);
  std::exit(1);
}

std::string Row(int id) {
  return "INSERT INTO Bench values(" + std::to_string(id) + ", 'Customer " + std::to_string(id % 977) +
         " O''Brien', '" + std::to_string(id % 28 + 1) + "/" + std::to_string(id % 12 + 1) +
         "/2004', 12.3400, " + std::to_string(id % 1000) + " )";
}

SQLHDBC Connect(SQLHENV env, const std::string& connection) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  Check(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connection.c_str())), SQL_NTS,
                         nullptr, 0, nullptr, SQL_DRIVER_COMPLETE),
        SQL_HANDLE_DBC, dbc, "connect");
  return dbc;
}

void Disconnect(SQLHDBC dbc) {
  Check(SQLDisconnect(dbc), SQL_HANDLE_DBC, dbc, "disconnect");
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

void Execute(SQLHSTMT stmt, const std::string& sql) {
  Check(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS), SQL_HANDLE_STMT,
        stmt, "insert");
}

// CPU time of the process: the machine may be shared, so this shows the cost
// without the waiting.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  talvoro::test::OdbcSandbox::Install();
  talvoro::test::TempDir dir("talvoro-driver-bench");
  std::string path = dir.File("bench.mdb");
  std::string create = "CREATE_DB=\"" + path + "\"";
  create += '\0';
  std::string dsn = "DSN=bench ";
  dsn += '\0';
  dsn += "DESCRIPTION= ";
  dsn += '\0';
  dsn += "DBQ=" + path;
  dsn += '\0';
  if (!SQLConfigDataSource(nullptr, ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)", create.c_str()) ||
      !SQLConfigDataSource(nullptr, ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)", dsn.c_str())) {
    std::fprintf(stderr, "driver_bench: cannot create the database or its data source\n");
    return 1;
  }

  SQLHENV env = SQL_NULL_HENV;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);

  constexpr int kOneConnection = 100000;
  constexpr int kConnectionPerRow = 10000;

  SQLHDBC dbc = Connect(env, "DSN=bench");
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  Execute(stmt,
          "Create Table Bench(\"id\" int PRIMARY KEY , \"name\" VARCHAR(40) NULL, \"placed\" datetime  NULL, "
          "\"amount\" Money  NULL, \"score\" int  NULL)");
  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= kOneConnection; ++i) Execute(stmt, Row(i));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  Disconnect(dbc);
  double oneConnection = Seconds(start);
  double oneConnectionCpu = CpuSeconds() - cpu;

  cpu = CpuSeconds();
  start = std::chrono::steady_clock::now();
  for (int i = kOneConnection + 1; i <= kOneConnection + kConnectionPerRow; ++i) {
    SQLHDBC rowDbc = Connect(env, "DSN=bench");
    SQLHSTMT rowStmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, rowDbc, &rowStmt);
    Execute(rowStmt, Row(i));
    SQLFreeHandle(SQL_HANDLE_STMT, rowStmt);
    Disconnect(rowDbc);
  }
  double perRow = Seconds(start);
  double perRowCpu = CpuSeconds() - cpu;
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::printf("stmts_per_s_one_conn=%.0f\n", kOneConnection / oneConnection);
  std::printf("stmts_per_s_conn_per_row=%.0f\n", kConnectionPerRow / perRow);
  std::printf("cpu_us_per_stmt_one_conn=%.1f\n", oneConnectionCpu * 1e6 / kOneConnection);
  std::printf("cpu_us_per_stmt_conn_per_row=%.1f\n", perRowCpu * 1e6 / kConnectionPerRow);
  std::printf("file_bytes=%lld\n", static_cast<long long>(std::filesystem::file_size(path)));
  return 0;
}
