#include "server_name.h"

#include <charconv>
#include <strings.h>

namespace talvoro::odbc {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool IsThisMachine(std::string_view host) {
  return host.empty() || host == "." || EqualsIgnoreCase(host, "(local)") ||
         EqualsIgnoreCase(host, "localhost");
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Host names (letters, digits, '-', '_', '.') and IPv4/IPv6 addresses (with a
// zone after '%'). Anything else could not name a machine and, written to
// odbc.ini, could smuggle in another key.
bool IsHostText(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (!IsAsciiAlnum(c) && c != '-' && c != '_' && c != '.' && c != ':' && c != '%') return false;
  }
  return true;
}

// SQL Server instance names: up to 16 letters, digits, '_', '$', '#' or '&'.
bool IsInstanceName(std::string_view name) {
  if (name.empty() || name.size() > 16) return false;
  for (char c : name) {
    if (!IsAsciiAlnum(c) && c != '_' && c != '$' && c != '#' && c != '&') return false;
  }
  return true;
}

std::optional<int> PortNumber(std::string_view text) {
  int number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  if (text.empty() || error != std::errc() || stop != end || number < 1 || number > 65535) {
    return std::nullopt;
  }
  return number;
}

ParsedServerName Refuse(std::string error) {
  ParsedServerName parsed;
  parsed.error = std::move(error);
  return parsed;
}

}  // namespace

ParsedServerName ParseServerName(std::string_view text) {
  const std::string_view whole = Trim(text);
  std::string_view rest = whole;
  const std::string quoted = "'" + std::string(whole) + "'";

  if (StartsWithIgnoreCase(rest, "tcp:")) {
    rest = Trim(rest.substr(4));
  } else if (StartsWithIgnoreCase(rest, "np:") || StartsWithIgnoreCase(rest, "lpc:") ||
             StartsWithIgnoreCase(rest, "admin:")) {
    return Refuse("The server name " + quoted +
                  " asks for a connection other than TCP; only TCP (\"tcp:\") is possible here");
  }

  ServerName name;
  if (const auto comma = rest.find(','); comma != std::string_view::npos) {
    const auto port = PortNumber(Trim(rest.substr(comma + 1)));
    if (!port) {
      return Refuse("The server name " + quoted + " has no port from 1 to 65535 after the comma");
    }
    name.port = *port;
    rest = Trim(rest.substr(0, comma));
  }

  std::string_view host = rest;
  std::string_view instance;
  bool hasInstance = false;
  if (!rest.empty() && rest.front() == '[') {  // [IPv6 address]
    const auto close = rest.find(']');
    if (close == std::string_view::npos) {
      return Refuse("The server name " + quoted + " opens '[' for an IPv6 address but never closes it");
    }
    host = rest.substr(1, close - 1);
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != '\\') return Refuse("The server name " + quoted + " has text after ']'");
      instance = after.substr(1);
      hasInstance = true;
    }
    if (host.empty()) return Refuse("The server name " + quoted + " has an empty IPv6 address");
  } else if (const auto slash = rest.find('\\'); slash != std::string_view::npos) {
    host = rest.substr(0, slash);
    instance = rest.substr(slash + 1);
    hasInstance = true;
  }

  if (hasInstance && !IsInstanceName(instance)) {
    return Refuse("The server name " + quoted +
                  " has no valid instance name after '\\' (up to 16 letters, digits, _ $ # &)");
  }
  name.instance = instance;
  name.thisMachine = IsThisMachine(host);
  if (!name.thisMachine) {
    if (!IsHostText(host)) {
      return Refuse("The server name " + quoted +
                    " is not a host name or address (letters, digits, '-', '.', or an IP address)");
    }
    name.host = host;
  }
  ParsedServerName parsed;
  parsed.name = std::move(name);
  return parsed;
}

std::string ServerDisplayName(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  return trimmed.empty() ? std::string("(local)") : std::string(trimmed);
}

FreeTdsServer ToFreeTdsServer(const ServerName& name) {
  FreeTdsServer result;
  result.server = name.thisMachine ? std::string(kThisMachineAddress) : name.host;
  if (name.port != 0) {
    result.port = std::to_string(name.port);
  } else if (!name.instance.empty()) {
    result.server += "\\" + name.instance;
  } else {
    result.port = std::to_string(kDefaultInstancePort);
  }
  return result;
}

}  // namespace talvoro::odbc
