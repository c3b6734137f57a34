#include "server_options.h"

#include <cctype>
#include <cstdlib>

namespace standin {

std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& error) {
  ServerOptions o;
  const std::string usage =
      "usage: sqlstandin --data DIR [--port N] [--login NAME:PASSWORD]... [--keytab FILE]";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--data") {
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
  return o;
}

}  // namespace standin
