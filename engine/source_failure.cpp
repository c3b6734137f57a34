#include "source_failure.h"

#include "odbc/server_messages.h"

namespace talvoro::engine {

bool ServerDoesNotAnswer(const odbc::DBException& e) { return odbc::ServerDidNotAnswer(e.records()); }

std::string ServerNotAnsweringText(std::string_view server) {
  return odbc::ServerNotAnsweringText(server);
}

}  // namespace talvoro::engine
