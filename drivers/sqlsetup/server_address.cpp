#include "server_address.h"

#include <charconv>

#include "dsn_attributes.h"

namespace sqlsetup {
namespace {

constexpr std::string_view kLoopback = "127.0.0.1";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsThisMachine(std::string_view host) {
  return host.empty() || host == "." || EqualsIgnoreCase(host, "(local)");
}

bool IsPortNumber(std::string_view text) {
  int number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  return !text.empty() && error == std::errc() && stop == end && number >= 1 && number <= 65535;
}

}  // namespace

std::optional<FreeTdsServer> ToFreeTdsServer(std::string_view value) {
  std::string_view host = Trim(value);
  std::string_view port;
  const auto comma = host.find(',');
  const bool has_port = comma != std::string_view::npos;
  if (has_port) {
    port = Trim(host.substr(comma + 1));
    host = Trim(host.substr(0, comma));
    if (!IsPortNumber(port)) return std::nullopt;
  }
  std::string_view instance;
  if (const auto slash = host.find('\\'); slash != std::string_view::npos) {
    instance = host.substr(slash);  // keeps the backslash
    host = host.substr(0, slash);
  }

  FreeTdsServer result;
  result.server = IsThisMachine(host) ? std::string(kLoopback) : std::string(host);
  result.server += instance;
  if (has_port) {
    result.port = port;
  } else if (instance.empty()) {
    result.port = std::to_string(kDefaultInstancePort);
  }
  return result;
}

}  // namespace sqlsetup
