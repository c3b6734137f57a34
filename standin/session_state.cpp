#include "session_state.h"

namespace standin {

bool SessionState::OpenDatabase(const std::string& name) {
  std::string canonical;
  const auto path = directory.Find(name, &canonical);
  if (!path) return false;
  auto next = std::make_unique<Database>(*path, canonical);
  directory.Acquire(canonical);
  CloseDatabase();
  db_ = std::move(next);
  identityInsert.clear();
  return true;
}

void SessionState::CloseDatabase() {
  if (!db_) return;
  if (tranCount > 0) {
    sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    tranCount = 0;
  }
  directory.Release(db_->name());
  db_.reset();
}

}  // namespace standin
