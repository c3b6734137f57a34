#include "source_failure.h"

#include "odbc/data_sources.h"

namespace talvoro::engine {

bool ServerDoesNotAnswer(const odbc::DBException& e) {
  for (const odbc::DiagnosticRecord& r : e.records()) {
    if (r.sqlState == "HYT00" || r.sqlState == "HYT01" || r.sqlState == "08S01" ||
        r.sqlState == "08001") {
      return true;
    }
    // FreeTDS's own numbers, for a lost connection it reports under 01000: time-out,
    // read error, write error, cannot connect, end of file from the server.
    switch (r.nativeError) {
      case 20003: case 20004: case 20006: case 20009: case 20017:
        return true;
      default:
        break;
    }
  }
  return false;
}

std::string ServerNotAnsweringText() {
  return std::string("the server ") + odbc::kLocalServer + " does not answer";
}

}  // namespace talvoro::engine
