// The port of a named instance in the SQL Server Browser's answer.
#include "odbc/browser_lookup.h"

#include <gtest/gtest.h>

namespace talvoro::odbc {
namespace {

TEST(BrowserAnswer, ThePortOfTheInstanceAskedAbout) {
  const std::string two =
      "ServerName;DB1;InstanceName;SALES;IsClustered;No;Version;16.0.1000.6;tcp;49712;;"
      "ServerName;DB1;InstanceName;HR;IsClustered;No;Version;16.0.1000.6;np;\\\\DB1\\pipe\\sql;"
      "tcp;1500;;";
  const struct {
    std::string answer, instance;
    std::optional<int> port;
  } cases[] = {
      {two, "SALES", 49712},
      {two, "hr", 1500},  // instance names are not case-sensitive
      {two, "NOSUCH", std::nullopt},
      {"ServerName;DB1;InstanceName;SALES;IsClustered;No;np;\\\\DB1\\pipe\\sql;;", "SALES", std::nullopt},
      {"ServerName;DB1;InstanceName;SALES;tcp;99999;;", "SALES", std::nullopt},
      {"ServerName;DB1;InstanceName;SALES;tcp;;;", "SALES", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer + " / " + c.instance);
    EXPECT_EQ(TcpPortInBrowserAnswer(c.answer, c.instance), c.port);
  }
}

}  // namespace
}  // namespace talvoro::odbc
