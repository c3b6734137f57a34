// How failures to reach or log on to the source server are told: always
// naming the server the user gave, so that a mistyped or stopped server is not
// mistaken for a wrong password.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "server_certificate.h"

namespace talvoro::odbc {

// Whether the diagnostics say nothing answered at the server's address: a
// time-out (HYT00, HYT01), a broken or refused connection (08S01), or FreeTDS's
// own errors of that kind, which it reports under 01000 (time-out, read or
// write error, cannot connect, unknown host, end of file from the server).
// Not a bare 08001 ("Unable to connect to data source"): FreeTDS adds it to
// every failed logon, a refused one too.
bool ServerNeverAnswered(const std::vector<DiagnosticRecord>& records);

// During a run: ServerNeverAnswered, or a connection that could not be made
// again (08001) after the logon check had passed.
bool ServerDidNotAnswer(const std::vector<DiagnosticRecord>& records);

// Whether the server itself answered with a message (a refused logon says why:
// 18456 and the like); FreeTDS's own errors are numbered from 20000 and the
// driver manager's are 0.
bool ServerSentAMessage(const std::vector<DiagnosticRecord>& records);

// "the server dbhost\SALES does not answer"; `server` as typed ("" is "(local)").
std::string ServerNotAnsweringText(std::string_view server);

// "the server dbhost\SALES cannot encrypt the connection, and encryption is
// required", with the two ways forward.
std::string EncryptionUnavailableText(std::string_view server);

// Where a refused certificate is told: the ways forward name the command
// line's options or the wizard's settings.
enum class MessageSurface { CommandLine, Wizard };

// Why the server's certificate was refused, which certificate it is (subject,
// issuer, validity, names), and the ways forward: the authority's certificate
// (--ca-file), or trusting the server's certificate (--trust-server-certificate);
// for a name mismatch, the name to connect by. `caFile` as given (empty: the
// system's trusted certificates). Every such message is made here.
std::string CertificateRefusedText(std::string_view server, const CertificateFindings& findings,
                                   const std::string& caFile, MessageSurface surface);

// When the encrypted connection failed and the certificate could not be had to
// say why.
std::string EncryptedConnectionFailedText(std::string_view server, MessageSurface surface);

// "Login failed for user 'sa' on dbhost\SALES"; an empty login name stands for
// Windows authentication.
std::string LoginFailedText(std::string_view loginName, std::string_view server);

}  // namespace talvoro::odbc
