// run_sql_script: runs a T-SQL script (batches ended by GO lines) on a SQL Server
// through FreeTDS's ODBC driver, with sqlcmd's scripting variables (:setvar,
// $(Name), -v Name=Value), ":r file" and ":on error exit|ignore". Unlike
// sqlcmd without -b, an error stops the script with exit status 1 unless the
// script said ":on error ignore": a failed install must not look finished. The demo uses it to build "Sales" in the stand-in:
//   run_sql_script --port 1433 --user sa --password secret --sales
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "odbc_batch_runner.h"
#include "sales_script.h"
#include "sql_batches.h"
#include "sqlcmd_variables.h"

namespace {

constexpr const char* kUsage =
    "usage: run_sql_script [--server HOST] [--port N] [--database DB]\n"
    "                      (--user NAME --password PASSWORD | --windows) [-b] [-v NAME=VALUE...] (--sales | FILE | -)\n"
    "       run_sql_script --dsn NAME [--user NAME --password PASSWORD] [-v NAME=VALUE...] (--sales | FILE | -)\n"
    "  --sales     the demo database script (creates the database Sales)\n"
    "  --windows   Windows authentication: the Kerberos ticket of the caller\n"
    "  FILE / -    a script file, or standard input\n"
    "  -v          scripting variables for $(NAME) in the script, as sqlcmd takes them\n"
    "              (a :setvar in the script wins, the environment answers the rest)\n"
    "  The script may hold :setvar, :r FILE and :on error exit|ignore lines. An error\n"
    "  stops it with exit status 1 unless :on error ignore is in effect.\n";

struct Options {
  std::string server = "127.0.0.1", port = "1433", database, user, password, dsn, file;
  bool windows = false, sales = false;
  sales_demo::ScriptVariables variables;
};

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= argc) return false;
      target = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--server") ok = value(options.server);
    else if (arg == "--port") ok = value(options.port);
    else if (arg == "--database") ok = value(options.database);
    else if (arg == "--user") ok = value(options.user);
    else if (arg == "--password") ok = value(options.password);
    else if (arg == "--dsn") ok = value(options.dsn);
    else if (arg == "--windows") options.windows = true;
    else if (arg == "--sales") options.sales = true;
    else if (arg == "-b") {}  // sqlcmd's "stop at the first error": already so here
    else if (arg == "-v") {
      // sqlcmd takes several: -v A=1 B=2
      ok = i + 1 < argc;
      while (i + 1 < argc && argv[i + 1][0] != '-' && std::strchr(argv[i + 1], '=')) {
        try {
          auto [name, value] = sales_demo::ParseVariableAssignment(argv[++i]);
          options.variables[name] = value;
        } catch (const sales_demo::ScriptVariableError& e) {
          std::cerr << "run_sql_script: " << e.what() << "\n";
          return false;
        }
      }
    }
    else if ((arg == "-" || arg[0] != '-') && options.file.empty()) options.file = arg;
    else ok = false;
    if (!ok) return false;
  }
  const bool oneScript = options.sales != !options.file.empty();
  const bool login = options.windows ? options.user.empty() : (!options.user.empty() || !options.dsn.empty());
  return oneScript && login;
}

// Connection string values that contain ';' or braces must be braced.
std::string Braced(const std::string& value) {
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

class Connection {
 public:
  Connection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Connection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Open(const Options& options) {
    SQLRETURN rc;
    if (!options.dsn.empty()) {
      auto text = [](const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); };
      rc = SQLConnect(dbc_, text(options.dsn), SQL_NTS, text(options.user), SQL_NTS,
                      text(options.password), SQL_NTS);
    } else {
      // An empty UID makes FreeTDS log on with the caller's Kerberos ticket.
      std::string in = "DRIVER=" + Braced(TALVORO_FREETDS_DRIVER) + ";SERVER=" + Braced(options.server) +
                       ";PORT=" + options.port + ";ClientCharset=UTF-8;UID=" + Braced(options.user) +
                       ";PWD=" + Braced(options.password);
      if (!options.database.empty()) in += ";DATABASE=" + Braced(options.database);
      // FreeTDS 1.3 misreads a braced value that ends the string: always end with ';'.
      in += ";";
      SQLCHAR out[1024];
      SQLSMALLINT outLength = 0;
      rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out,
                            sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    }
    if (!SQL_SUCCEEDED(rc)) {
      throw std::runtime_error("cannot log on: " + sales_demo::DiagnosticText(SQL_HANDLE_DBC, dbc_));
    }
    connected_ = true;
  }
  SQLHDBC get() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  std::string script;
  if (options.sales) {
    std::ostringstream out;
    sales_demo::WriteSalesScript(out);
    script = out.str();
  } else if (options.file == "-") {
    script.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(options.file, std::ios::binary);
    if (!in) {
      std::cerr << "run_sql_script: cannot read " << options.file << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    script.assign(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> origins;  // where each line of the expanded script came from
  // "batch at line N" of the expanded script → the file and line it came from.
  auto where = [&](const sales_demo::ScriptError& e) {
    std::string text = e.what();
    const std::string prefix = "batch at line " + std::to_string(e.line());
    if (e.line() >= 1 && static_cast<size_t>(e.line()) <= origins.size() && text.rfind(prefix, 0) == 0)
      text = "batch at " + origins[static_cast<size_t>(e.line()) - 1] + text.substr(prefix.size());
    return text;
  };
  try {
    Connection connection;
    connection.Open(options);
    const auto batches =
        sales_demo::SplitSqlBatches(sales_demo::ExpandScriptVariables(script, options.variables, true, &origins));
    size_t lastTenth = 0;
    sales_demo::RunSqlBatches(connection.get(), batches, [&](size_t done, size_t total) {
      const size_t tenth = done * 10 / total;
      if (tenth != lastTenth) {
        std::cerr << "run_sql_script: " << done << " of " << total << " batches\n";
        lastTenth = tenth;
      }
    }, [&](const sales_demo::ScriptError& e) { std::cerr << "run_sql_script: " << where(e) << " (ignored)\n"; });
    std::cerr << "run_sql_script: done, " << batches.size() << " batches\n";
    return 0;
  } catch (const sales_demo::ScriptError& error) {
    std::cerr << "run_sql_script: " << where(error) << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "run_sql_script: " << error.what() << "\n";
    return 1;
  }
}
