// Failures of requests to the source, told apart from the destination's: when
// the source server stops answering, the run fails the remaining tables at once
// instead of letting each wait for it again.
#pragma once

#include <string>
#include <string_view>

#include "odbc/database.h"
#include "odbc/source_logon.h"

namespace talvoro::engine {

// A request to the source failed; carries the driver's diagnostics.
class SourceFailure : public odbc::DBException {
 public:
  explicit SourceFailure(const odbc::DBException& e) : odbc::DBException(e) {}
};

// Whether the diagnostics say the server did not answer (odbc::ServerDidNotAnswer).
bool ServerDoesNotAnswer(const odbc::DBException& e);

// Whether a statement ran out of its time-out (HYT00/HYT01, FreeTDS 20003):
// the server may be silent, or only busy (a lock another session holds).
bool QueryTimedOut(const odbc::DBException& e);

// A table's reason when its query timed out but the server still answers.
std::string QueryTimedOutText(int timeoutSeconds);

// Whether the source server answers a trivial query within a few seconds (at
// most `logon.timeoutSeconds`), on a connection of its own.
bool SourceAnswersProbe(const odbc::SourceLogon& logon);

// "the server <server> does not answer" (empty: "(local)"): what the tables
// after such a failure are told, and the start of the failing table's own message.
std::string ServerNotAnsweringText(std::string_view server);

}  // namespace talvoro::engine
