// What one client connection carries between requests.
#pragma once

#include <cstdint>
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

  // Switches to an existing database; false when it does not exist.
  bool OpenDatabase(const std::string& name);
  void CloseDatabase();
  Database& db() { return *db_; }
  bool hasDatabase() const { return db_ != nullptr; }

  DataDirectory& directory;
  const uint16_t spid;
  bool nocount = false;
  bool fmtonly = false;
  bool implicitTransactions = false;        // SET IMPLICIT_TRANSACTIONS ON
  int tranCount = 0;                        // nesting of explicit transactions
  std::set<std::string> identityInsert;     // lower-case table names with IDENTITY_INSERT ON
  std::map<std::string, Value> variables;   // parameters of the current RPC, by lower-case name
  std::map<int32_t, std::string> prepared;  // sp_prepare handles → statement text
  std::optional<int64_t> lastIdentity;      // @@IDENTITY / SCOPE_IDENTITY(): the last identity value inserted
  int32_t nextHandle = 1;

 private:
  std::unique_ptr<Database> db_;
};

}  // namespace standin
