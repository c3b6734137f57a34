#include "server_options.h"

#include <cctype>
#include <cstdlib>

namespace standin {

namespace {

constexpr char kUsageLine[] =
    "usage: sqlstandin --data DIR [--listen ADDRESS] [--port N] [--instance NAME]\n"
    "                  [--login NAME:PASSWORD]... [--keytab FILE]\n"
    "                  [--tls-cert FILE --tls-key FILE] [--force-encryption | --no-encryption]";

// SQL Server instance names: 1 to 16 letters, digits, '_', '$', '#' or '&'.
bool IsInstanceName(const std::string& name) {
  if (name.empty() || name.size() > 16) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#' && c != '&')
      return false;
  }
  return true;
}

}  // namespace

std::string ServerUsageText() {
  return std::string(kUsageLine) +
         "\n\n"
         "A SQL Server stand-in (TDS 7.4 over SQLite) for tests and demonstrations.\n"
         "\n"
         "  --data DIR           folder of the databases (NAME.mdf files), created if missing\n"
         "  --listen ADDRESS     numeric IPv4 or IPv6 address to listen on (default 127.0.0.1;\n"
         "                       any of 127.0.0.0/8 makes another \"machine\" on this one)\n"
         "  --port N             TCP port (default 1433; 0 picks a free one)\n"
         "  --instance NAME      be the named instance NAME: answer the SQL Server Browser\n"
         "                       protocol on UDP port 1434 of the listen address\n"
         "  --login NAME:PASSWORD  a SQL Server login (may repeat)\n"
         "  --keytab FILE        Kerberos key table for Windows authentication\n"
         "  --tls-cert FILE, --tls-key FILE\n"
         "                       the server's certificate and key (PEM) for TDS encryption;\n"
         "                       without them a self-signed certificate is made on the first\n"
         "                       start in DIR (standin-tls-cert.pem, standin-tls-key.pem)\n"
         "  --force-encryption   encrypt every connection; refuse clients that cannot\n"
         "  --no-encryption      answer that the server cannot encrypt\n"
         "\n"
         "Encryption as SQL Server does it: the login only, unless the client asks for\n"
         "full encryption or --force-encryption is given.\n"
         "  --help               print this text\n";
}

std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& error) {
  ServerOptions o;
  const std::string usage = kUsageLine;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    } else if (arg == "--listen") {
      const char* v = value();
      if (!v || *v == '\0') {
        error = "sqlstandin: --listen needs an IPv4 or IPv6 address";
        return std::nullopt;
      }
      o.listenAddress = v;
    } else if (arg == "--instance") {
      const char* v = value();
      if (!v || !IsInstanceName(v)) {
        error = "sqlstandin: --instance needs a name of 1 to 16 letters, digits, _ $ # &";
        return std::nullopt;
      }
      o.instanceName = v;
    } else if (arg == "--tls-cert" || arg == "--tls-key") {
      const char* v = value();
      if (!v || *v == '\0') {
        error = "sqlstandin: " + arg + " needs a PEM file";
        return std::nullopt;
      }
      (arg == "--tls-cert" ? o.tlsCertFile : o.tlsKeyFile) = v;
    } else if (arg == "--force-encryption") {
      o.forceEncryption = true;
    } else if (arg == "--no-encryption") {
      o.noEncryption = true;
    } else if (arg == "--data") {
      const char* v = value();
      if (!v) { error = usage; return std::nullopt; }
      o.dataDir = v;
    } else if (arg == "--port") {
      const char* v = value();
      char* end = nullptr;
      const long port = v ? std::strtol(v, &end, 10) : -1;
      if (!v || *end != '\0' || port < 0 || port > 65535) {
        error = "sqlstandin: --port needs a number from 0 to 65535";
        return std::nullopt;
      }
      o.port = static_cast<int>(port);
    } else if (arg == "--login") {
      const char* v = value();
      const std::string login = v ? v : "";
      const size_t colon = login.find(':');
      if (colon == std::string::npos || colon == 0) {
        error = "sqlstandin: --login needs NAME:PASSWORD";
        return std::nullopt;
      }
      std::string name = login.substr(0, colon);
      for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      o.logins[name] = login.substr(colon + 1);
    } else if (arg == "--keytab") {
      const char* v = value();
      if (!v) { error = usage; return std::nullopt; }
      o.keytab = v;
    } else {
      error = "sqlstandin: unknown argument '" + arg + "'\n" + usage;
      return std::nullopt;
    }
  }
  if (o.dataDir.empty()) {
    error = usage;
    return std::nullopt;
  }
  if (o.tlsCertFile.empty() != o.tlsKeyFile.empty()) {
    error = "sqlstandin: --tls-cert and --tls-key go together";
    return std::nullopt;
  }
  if (o.noEncryption && (o.forceEncryption || !o.tlsCertFile.empty())) {
    error = "sqlstandin: --no-encryption excludes --force-encryption and --tls-cert";
    return std::nullopt;
  }
  return o;
}

}  // namespace standin
