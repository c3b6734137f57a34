#include "command_line_options.h"

#include "odbc/server_name.h"

namespace talvoro::app {
namespace {

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// A whole number from `low` to `high`, nothing else.
std::optional<int> BoundedNumber(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int n = std::stoi(text);
  if (n < low || n > high) return std::nullopt;
  return n;
}

}  // namespace

std::string UsageText() {
  return "Usage:\n"
         "  Kestrin1 [--server NAME] [--encrypt] [--trust-server-certificate | --ca-file FILE]\n"
         "           --database NAME --dest FILE.mdb\n"
         "           (--table NAME... | --all)\n"
         "           [--overwrite] [--sql-login NAME] [--source-timeout SECONDS]\n"
         "           [--commit-interval MILLISECONDS]\n"
         "  Kestrin1 --help\n"
         "\n"
         "Copies tables of a SQL Server database into a new Access (.mdb) file.\n"
         "\n"
         "  --server NAME      the SQL Server: host, host\\INSTANCE, host,port,\n"
         "                     tcp:host,port or an IP address (default: this machine's\n"
         "                     default instance, also named localhost, (local) or .)\n"
         "  --encrypt          encrypt the whole connection to SQL Server, or fail; without\n"
         "                     it the logon is encrypted whenever the server can encrypt;\n"
         "                     the server's certificate is then checked against this\n"
         "                     machine's trusted certificates and the server's name\n"
         "  --trust-server-certificate\n"
         "                     accept the server's certificate unchecked (a self-signed\n"
         "                     one too): encrypted, but not proof against a man in the\n"
         "                     middle\n"
         "  --ca-file FILE     check the server's certificate against the authorities'\n"
         "                     certificates in FILE (PEM) instead, whenever the\n"
         "                     connection is encrypted\n"
         "  --database NAME    the source database on that server\n"
         "  --dest FILE.mdb    the Access file to create\n"
         "  --table NAME...    the tables to copy, in this order (the option may repeat);\n"
         "                     Schema.Table for a table outside dbo\n"
         "  --all              copy every table of the database\n"
         "  --overwrite        replace FILE.mdb when it exists\n"
         "  --sql-login NAME   log on with this SQL Server login instead of Windows\n"
         "                     authentication; the password comes from the environment\n"
         "                     variable KESTRIN1_PASSWORD or is asked for at the terminal\n"
         "  --source-timeout SECONDS\n"
         "                     how long one request to SQL Server may wait for an answer\n"
         "                     (1-3600, default 30); once the server has not answered,\n"
         "                     the remaining tables are not tried\n"
         "  --commit-interval MILLISECONDS\n"
         "                     the rows copied so far are saved to the file at most this\n"
         "                     often (10-3600000, default 2000); saves of a large table\n"
         "                     are spaced further apart\n"
         "\n"
         "Exit status: 0 every table converted, 1 some tables failed, 2 wrong arguments\n"
         "or the logon failed.\n";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLineOptions options;
  auto fail = [&parsed](std::string error) {
    parsed.error = std::move(error);
    return parsed;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg.resize(eq);
      }
    }
    // The value of an option: "--opt=value" or the next argument.
    auto value = [&](std::string& out) -> bool {
      if (inlineValue) {
        out = *inlineValue;
      } else {
        if (i + 1 >= args.size()) return false;
        out = args[++i];
      }
      return !out.empty();
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--server") {
      if (!value(options.server)) return fail("--server needs a server name");
      if (const auto parsed = odbc::ParseServerName(options.server); !parsed.name) {
        return fail(parsed.error);
      }
    } else if (arg == "--encrypt") {
      options.encrypt = true;
    } else if (arg == "--trust-server-certificate") {
      options.trustServerCertificate = true;
    } else if (arg == "--ca-file") {
      if (!value(options.caFile)) return fail("--ca-file needs the path of a PEM file");
    } else if (arg == "--database") {
      if (!value(options.database)) return fail("--database needs a database name");
    } else if (arg == "--dest") {
      if (!value(options.dest)) return fail("--dest needs the path of the .mdb file");
    } else if (arg == "--table") {
      std::string name;
      if (!value(name)) return fail("--table needs a table name");
      options.tables.push_back(name);
      // Further names may follow without repeating the option.
      while (!inlineValue && i + 1 < args.size() && !IsOption(args[i + 1])) {
        options.tables.push_back(args[++i]);
      }
    } else if (arg == "--all") {
      options.allTables = true;
    } else if (arg == "--overwrite") {
      options.overwrite = true;
    } else if (arg == "--sql-login") {
      std::string login;
      if (!value(login)) return fail("--sql-login needs a login name");
      options.sqlLogin = login;
    } else if (arg == "--source-timeout") {
      std::string text;
      value(text);
      options.sourceTimeoutSeconds = BoundedNumber(text, 1, 3600);
      if (!options.sourceTimeoutSeconds) return fail("--source-timeout needs a number of seconds from 1 to 3600");
    } else if (arg == "--commit-interval") {
      std::string text;
      value(text);
      options.commitIntervalMs = BoundedNumber(text, 10, 3600000);
      if (!options.commitIntervalMs) {
        return fail("--commit-interval needs a number of milliseconds from 10 to 3600000");
      }
    } else if (arg == "--password" || arg == "-p") {
      return fail(std::string("a password is never taken as an argument: set ") +
                  kPasswordVariable + " or type it when asked");
    } else {
      return fail("unknown argument: " + args[i]);
    }
    if (inlineValue && (arg == "--all" || arg == "--overwrite" || arg == "--help" || arg == "--encrypt" ||
                        arg == "--trust-server-certificate")) {
      return fail(arg + " takes no value");
    }
  }
  if (options.help) {
    parsed.options = std::move(options);
    return parsed;
  }
  if (options.trustServerCertificate && !options.caFile.empty()) {
    return fail("--ca-file and --trust-server-certificate contradict each other: the first "
                "checks the server's certificate, the second accepts it unchecked");
  }
  if (options.database.empty()) return fail("--database is required");
  if (options.dest.empty()) return fail("--dest is required");
  if (options.allTables && !options.tables.empty()) return fail("give either --table or --all, not both");
  if (!options.allTables && options.tables.empty()) return fail("give the tables with --table NAME or --all");
  parsed.options = std::move(options);
  return parsed;
}

}  // namespace talvoro::app
