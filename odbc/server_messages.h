// How failures to reach or log on to the source server are told: always
// naming the server the user gave, so that a mistyped or stopped server is not
// mistaken for a wrong password.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "database.h"

namespace talvoro::odbc {

// Whether the diagnostics say the server did not answer: a time-out (HYT00,
// HYT01), a broken connection (08S01), one that could not be made (08001, also
// a host name that does not resolve), or FreeTDS's own errors of that kind (a
// connection cut short comes as 01000).
bool ServerDidNotAnswer(const std::vector<DiagnosticRecord>& records);

// "the server dbhost\SALES does not answer"; `server` as typed ("" is "(local)").
std::string ServerNotAnsweringText(std::string_view server);

// "Login failed for user 'sa' on dbhost\SALES"; an empty login name stands for
// Windows authentication.
std::string LoginFailedText(std::string_view loginName, std::string_view server);

}  // namespace talvoro::odbc
