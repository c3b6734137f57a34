// What one client connection carries between requests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "storage/database_store.h"
#include "types/value_conversion.h"

namespace standin {

class SessionState {
 public:
  SessionState(DataDirectory& directory, uint16_t spid) : directory(directory), spid(spid) {}
  ~SessionState() { CloseDatabase(); }
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  // Switches to an existing database; false when it does not exist or the
  // login has no user in it.
  bool OpenDatabase(const std::string& name);
  // Reads the login's rights in the current database again (grants change).
  void RefreshRights();
  void CloseDatabase();
  Database& db() { return *db_; }
  bool hasDatabase() const { return db_ != nullptr; }

  DataDirectory& directory;
  const uint16_t spid;
  std::string login;      // as the client logged on
  bool sysadmin = true;   // command-line and Windows logins; CREATE LOGIN's are not
  bool nocount = false;
  bool fmtonly = false;
  bool implicitTransactions = false;        // SET IMPLICIT_TRANSACTIONS ON
  int tranCount = 0;                        // nesting of explicit transactions
  // The SQLite write transaction under an explicit one, begun by its first
  // change: until then every statement reads what is committed at its start.
  bool sqliteTransaction = false;
  int64_t lockTimeoutMs = -1;               // SET LOCK_TIMEOUT; -1 waits without limit
  std::function<bool()> cancelRequested;    // true once the client sent an attention
  std::set<std::string> identityInsert;     // lower-case table names with IDENTITY_INSERT ON
  std::map<std::string, Value> variables;   // parameters of the current RPC, by lower-case name
  std::map<int32_t, std::string> prepared;  // sp_prepare handles → statement text
  // #procedures: this session's alone, gone with it (lower-case name → text).
  std::map<std::string, std::string> tempProcedures;
  std::optional<int64_t> lastIdentity;      // @@IDENTITY / SCOPE_IDENTITY(): the last identity value inserted
  int32_t nextHandle = 1;
  int procedureNesting = 0;                 // stored procedures running now, one inside another (limit 32)
  std::string currentProcedure;             // the innermost running procedure: its messages name it

 private:
  std::unique_ptr<Database> db_;
};

}  // namespace standin
