#include "session_state.h"

#include <strings.h>

#include "catalog/principals.h"
#include "storage/lock_table.h"

namespace standin {

bool SessionState::OpenDatabase(const std::string& name) {
  std::string canonical;
  const auto path = directory.Find(name, &canonical);
  if (!path) return false;
  auto next = std::make_unique<Database>(*path, canonical);
  if (!sysadmin) {
    AccessRights rights = LoadAccessRights(next->handle(), login, strcasecmp(canonical.c_str(), "master") == 0);
    if (!rights.hasAccess) return false;
    next->SetRights(std::move(rights));
  }
  directory.Acquire(canonical);
  CloseDatabase();
  db_ = std::move(next);
  identityInsert.clear();
  return true;
}

void SessionState::RefreshRights() {
  if (sysadmin || !db_) return;
  db_->SetRights(LoadAccessRights(db_->handle(), login, strcasecmp(db_->name().c_str(), "master") == 0));
}

void SessionState::CloseDatabase() {
  if (!db_) return;
  if (sqliteTransaction) sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  sqliteTransaction = false;
  tranCount = 0;
  LockTable::Server().ReleaseAll(spid);  // after the rollback: a waiting reader sees what is committed
  directory.Release(db_->name());
  db_.reset();
}

}  // namespace standin
