// The stand-in's SQL Server Browser answers: which requests get which reply.
#include <gtest/gtest.h>

#include <string>

#include "protocol/browser_service.h"

namespace standin {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(BrowserReply, AnswersItsInstanceAndStaysSilentOtherwise) {
  const BrowserInstance sales{"DBHOST", "SALES", "16.0.4096.0", 14330};
  const std::string entry =
      "ServerName;DBHOST;InstanceName;SALES;IsClustered;No;Version;16.0.4096.0;tcp;14330;;";
  // SVR_RESP, the size as two little-endian bytes, the text.
  const std::vector<uint8_t> expected =
      Bytes(std::string("\x05") + static_cast<char>(entry.size()) + std::string(1, '\0') + entry);

  const std::pair<std::string, bool> cases[] = {
      {std::string("\x04SALES\0", 7), true},   // CLNT_UCAST_INST, name with its NUL
      {"\x04sales", true},                      // names compare without regard to case
      {"\x03", true},                           // CLNT_UCAST_EX: every instance
      {"\x02", true},                           // CLNT_BCAST_EX
      {std::string("\x04OTHER\0", 7), false},  // another instance: no answer at all
      {"\x04", false},
      {"\x04" + std::string(40, 'A'), false},   // longer than a request may be
      {std::string("\x0F\x01SALES\0", 8), false},  // the admin connection: none here
      {"\x03x", false},
      {"", false},
  };
  for (const auto& [request, answered] : cases) {
    const auto reply = BrowserReply(Bytes(request), sales);
    EXPECT_EQ(reply.has_value(), answered) << request;
    if (reply) {
      EXPECT_EQ(*reply, expected);
    }
  }
}

}  // namespace
}  // namespace standin
