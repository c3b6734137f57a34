#include "tsql/statement_locks.h"

#include <strings.h>

#include <variant>

#include "catalog/schema_names.h"
#include "tsql/table_hints.h"

namespace standin {
namespace {

class LockSet {
 public:
  LockSet(SessionState& session) : session_(session) {}

  void Table(const std::string& stored, LockMode mode, bool holdToEnd, const char* permission) {
    if (stored.empty() || Database::IsTemporary(stored)) return;
    const auto object = session_.db().FindObject(stored);
    if (!object) return;
    access_.permissions.emplace_back(permission, object->name);
    if (object->isView) return;
    Add(LockTable::TableResource(session_.db().name(), object->name), mode, holdToEnd);
  }
  void Table(const ObjectName& name, LockMode mode, const char* permission) {
    if (!name.database.empty() && strcasecmp(name.database.c_str(), session_.db().name().c_str()) != 0) return;
    Table(name.name, mode, mode == LockMode::Exclusive, permission);
  }
  void Writer() { Add(LockTable::WriterResource(session_.db().name()), LockMode::Exclusive, true); }

  // Tables named in FROM / JOIN / APPLY lists of a query, with their hints.
  void ReadTables(const std::vector<SqlToken>& t, TokenRange range) {
    bool expectTable = false;
    bool inFromList = false;
    for (size_t i = range.begin; i < range.end; ++i) {
      const SqlToken& tok = t[i];
      if (tok.IsWord("FROM") || tok.IsWord("JOIN") || tok.IsWord("APPLY")) {
        expectTable = true;
        inFromList = true;
        continue;
      }
      for (const char* w : {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "ON", "SELECT",
                            "SET", "VALUES", "OPTION"})
        if (tok.IsWord(w)) inFromList = false;
      if (inFromList && tok.IsSymbol(",")) { expectTable = true; continue; }
      if (!expectTable) continue;
      expectTable = false;
      if (!tok.IsName()) continue;  // a derived table, a function
      std::vector<std::string> parts{tok.text};
      size_t k = i + 1;
      while (k + 1 < range.end && t[k].IsSymbol(".")) {
        if (t[k + 1].IsSymbol(".")) { parts.emplace_back(); ++k; continue; }  // db..name
        if (!t[k + 1].IsName()) break;
        parts.push_back(t[k + 1].text);
        k += 2;
      }
      i = k - 1;
      if (k < range.end && t[k].IsSymbol("(") && !TableHintListEnd(t, k, range.end)) continue;  // a function
      if (parts.size() > 3) continue;
      if (parts.size() == 3 && !parts[0].empty() && strcasecmp(parts[0].c_str(), session_.db().name().c_str()) != 0)
        continue;
      const std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
      if (strcasecmp(schema.c_str(), "sys") == 0 || strcasecmp(schema.c_str(), "INFORMATION_SCHEMA") == 0) continue;
      // An alias, then the hints.
      if (k < range.end && t[k].IsWord("AS")) ++k;
      if (k < range.end && t[k].IsName() && !t[k].IsWord("WITH") && !IsClauseWord(t[k])) ++k;
      TableHints hints;
      TableHintListEnd(t, k, range.end, &hints);
      if (hints.noLock) {
        access_.permissions.emplace_back("SELECT", StoredName(schema, parts.back()));
        continue;
      }
      access_.noWait |= hints.noWait;
      Table(StoredName(schema, parts.back()), hints.exclusive ? LockMode::Exclusive : LockMode::Shared,
            hints.holdToEnd, "SELECT");
    }
  }

  StatementAccess Take() { return std::move(access_); }

 private:
  static bool IsClauseWord(const SqlToken& t) {
    for (const char* w : {"WHERE", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "ON", "GROUP",
                          "ORDER", "HAVING", "UNION", "EXCEPT", "INTERSECT", "OPTION", "FOR", "SET", "VALUES",
                          "SELECT", "APPLY", "PIVOT", "UNPIVOT"})
      if (t.IsWord(w)) return true;
    return false;
  }

  void Add(const std::string& resource, LockMode mode, bool holdToEnd) {
    const LockDuration duration = holdToEnd ? LockDuration::Transaction : LockDuration::Statement;
    for (LockRequest& r : access_.locks) {
      if (r.resource != resource) continue;
      if (mode == LockMode::Exclusive) r.mode = mode;
      if (holdToEnd) r.duration = duration;
      return;
    }
    access_.locks.push_back({resource, mode, duration});
  }

  SessionState& session_;
  StatementAccess access_;
};

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

StatementAccess AccessOf(const Statement& statement, const ParsedBatch& batch, SessionState& session) {
  if (!session.hasDatabase()) return {};
  LockSet locks(session);
  const auto& t = batch.tokens;
  std::visit(Overloaded{
                 [&](const QueryStmt& s) {
                   if (s.kind != QueryStmt::Kind::Select) {
                     locks.Writer();
                     locks.Table(s.table, LockMode::Exclusive, "DELETE");
                   }
                   locks.ReadTables(t, s.range);
                 },
                 [&](const InsertStmt& s) {
                   locks.Writer();
                   locks.Table(s.table, LockMode::Exclusive, "INSERT");
                   if (!s.select.empty()) locks.ReadTables(t, s.select);
                 },
                 [&](const UpdateStmt& s) {
                   locks.Writer();
                   locks.Table(s.table, LockMode::Exclusive, "UPDATE");
                   if (!s.where.empty()) locks.ReadTables(t, s.where);
                 },
                 [&](const AssignStmt& s) {
                   if (!s.rest.empty()) locks.ReadTables(t, s.rest);
                 },
                 [&](const AlterTableStmt& s) {
                   locks.Writer();
                   locks.Table(s.table, LockMode::Exclusive, "ALTER");
                 },
                 [&](const DropObjectStmt& s) {
                   locks.Writer();
                   for (const auto& name : s.names) locks.Table(name, LockMode::Exclusive, "ALTER");
                 },
                 [&](const CreateIndexStmt& s) {
                   locks.Writer();
                   locks.Table(s.table, LockMode::Exclusive, "ALTER");
                 },
                 [&](const CreateTableStmt&) { locks.Writer(); },
                 [&](const CreateViewStmt&) { locks.Writer(); },
                 [&](const auto&) {},  // the rest changes nothing, or takes the writer when it writes
             },
             statement);
  return locks.Take();
}

}  // namespace standin
