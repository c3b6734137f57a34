#include "tsql/server_variables.h"

#include "tsql/batch_executor.h"
#include "storage/sqlite_rewriter.h"
#include "protocol/tds_tokens.h"

namespace standin {

std::optional<std::string> ServerVariable(const std::string& name, const SessionState& session) {
  if (name == "@@spid") return std::to_string(session.spid);
  if (name == "@@version") return SqliteString(kVersionText);
  if (name == "@@servername") return SqliteString(kServerName);
  if (name == "@@servicename") return SqliteString("MSSQLSERVER");
  if (name == "@@trancount") return std::to_string(session.tranCount);
  if (name == "@@identity") return session.lastIdentity ? std::to_string(*session.lastIdentity) : std::string("NULL");
  if (name == "@@max_precision") return std::string("38");
  if (name == "@@language") return SqliteString("us_english");
  if (name == "@@langid") return std::string("0");
  if (name == "@@datefirst") return std::string("7");
  if (name == "@@textsize") return std::string("2147483647");
  if (name == "@@microsoftversion") return std::to_string((16LL << 24) | 4096);  // 16.0.4096
  if (name == "@@max_connections") return std::string("32767");
  if (name == "@@lock_timeout") return std::to_string(session.lockTimeoutMs);
  if (name == "@@options") return std::string("5496");
  if (name == "@@nestlevel") return std::to_string(session.procedureNesting);
  if (name == "@@error" || name == "@@rowcount" || name == "@@procid" ||
      name == "@@cursor_rows" || name == "@@total_errors")
    return std::string("0");
  if (name == "@@fetch_status") return std::string("-1");
  if (name == "@@remserver") return std::string("NULL");
  return std::nullopt;
}

}  // namespace standin
