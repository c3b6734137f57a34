// CREATE / DROP LOGIN, USER and ROLE, ALTER LOGIN and ROLE, sp_addrolemember,
// GRANT / DENY / REVOKE (catalog/principals.h), with SQL Server's errors.
#include <strings.h>

#include "catalog/active_logins.h"
#include "catalog/principals.h"
#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "tsql/statement_handlers.h"
#include "tsql/statement_locks.h"

namespace standin {
namespace {

void RequireOwner(StatementContext& ctx, bool server) {
  const bool allowed = server ? ctx.session.sysadmin : ctx.session.db().rights().unrestricted;
  if (!allowed) ThrowSqlError(15247, "User does not have permission to perform this action.");
}

void ChangeMembership(StatementContext& ctx, const std::string& role, const std::string& member, bool add) {
  RequireOwner(ctx, false);
  sqlite3* db = ctx.session.db().handle();
  ctx.Atomically([&] {
    EnsurePrincipalTables(db);
    if (!PrincipalExists(db, role))
      ThrowSqlError(15151, "Cannot alter the role '" + role + "', because it does not exist or you do not have permission.");
    if (!PrincipalExists(db, member))
      ThrowSqlError(15151, "Cannot add the principal '" + member +
                               "', because it does not exist or you do not have permission.");
    SetRoleMember(db, role, member, add);
  });
}

// Where a grant applies: "" the database, "schema:S", or an object's stored name.
std::string PermissionTarget(StatementContext& ctx, const SecurityStmt& s) {
  if (s.targetClass == "DATABASE" || (s.target.name.empty() && s.target.schema.empty())) return "";
  if (s.targetClass == "SCHEMA") {
    if (!SchemaId(ctx.session.db().handle(), s.target.schema))
      ThrowSqlError(15151, "Cannot find the schema '" + s.target.schema +
                               "', because it does not exist or you do not have permission.");
    return "schema:" + s.target.schema;
  }
  ctx.CheckDatabasePart(s.target);
  const auto object = ctx.session.db().FindObject(s.target.name);
  if (!object) {  // a procedure or function: EXECUTE, VIEW DEFINITION ...
    for (const auto& m : Modules(ctx.session.db().handle()))
      if (strcasecmp(m.name.c_str(), s.target.name.c_str()) == 0) return m.name;
  }
  if (!object)
    ThrowSqlError(15151, "Cannot find the object '" + BareName(s.target.name) +
                             "', because it does not exist or you do not have permission.");
  return object->name;
}

[[noreturn]] void CannotDrop(const char* what, const std::string& name) {
  ThrowSqlError(15151, std::string("Cannot drop the ") + what + " '" + name +
                           "', because it does not exist or you do not have permission.");
}

void DropLogin(StatementContext& ctx, const SecurityStmt& s) {
  RequireOwner(ctx, true);
  if (!StoredLoginExists(ctx.session.directory, s.name)) {
    if (s.ifExists) return;
    CannotDrop("login", s.name);
  }
  if (ActiveLogins::Server().LoggedIn(s.name))
    ThrowSqlError(15434, "Could not drop login '" + s.name + "' as the user is currently logged in.");
  DropStoredLogin(ctx.session.directory, s.name);
}

// DROP USER / DROP ROLE: dbo, guest, public and the fixed roles stay.
void DropDatabasePrincipal(StatementContext& ctx, const SecurityStmt& s) {
  RequireOwner(ctx, false);
  const bool role = s.kind == SecurityStmt::Kind::DropRole;
  const char* what = role ? "role" : "user";
  sqlite3* db = ctx.session.db().handle();
  const bool builtIn = IsFixedRole(s.name) || strcasecmp(s.name.c_str(), "dbo") == 0 ||
                       strcasecmp(s.name.c_str(), "guest") == 0;
  if (builtIn && (role == IsFixedRole(s.name)))
    ThrowSqlError(15150, std::string("Cannot drop the ") + what + " '" + s.name + "'.");
  ctx.Atomically([&] {
    EnsurePrincipalTables(db);
    if (!IsCreatedPrincipal(db, s.name, role ? 'R' : 'S')) {
      if (s.ifExists) return;
      CannotDrop(what, s.name);
    }
    if (OwnsSchema(db, s.name))
      ThrowSqlError(15138, "The database principal owns a schema in the database, and cannot be dropped.");
    if (role && RoleHasMembers(db, s.name))
      ThrowSqlError(15144, "The role has members. It must be empty before it can be dropped.");
    RemovePrincipal(db, s.name);
  });
}

void AlterLogin(StatementContext& ctx, const SecurityStmt& s) {
  RequireOwner(ctx, true);
  if (!StoredLoginExists(ctx.session.directory, s.name))
    ThrowSqlError(15151, "Cannot alter the login '" + s.name +
                             "', because it does not exist or you do not have permission.");
  if (s.newPassword) SetStoredLoginPassword(ctx.session.directory, s.name, s.password);
  if (s.enable >= 0) SetStoredLoginDisabled(ctx.session.directory, s.name, s.enable == 0);
}

}  // namespace

void RunSecurity(StatementContext& ctx, const SecurityStmt& s) {
  sqlite3* db = ctx.session.db().handle();
  using Kind = SecurityStmt::Kind;
  switch (s.kind) {
    case Kind::CreateLogin: {
      RequireOwner(ctx, true);
      std::string error;
      if (!CreateStoredLogin(ctx.session.directory, s.name, s.password, error)) ThrowSqlError(15025, error);
      break;
    }
    case Kind::CreateUser:
    case Kind::CreateRole:
      RequireOwner(ctx, false);
      if (s.kind == Kind::CreateUser && !s.withoutLogin && !StoredLoginExists(ctx.session.directory, s.login))
        ThrowSqlError(15007, "'" + s.login + "' is not a valid login or you do not have permission.");
      ctx.Atomically([&] {
        EnsurePrincipalTables(db);
        if (PrincipalExists(db, s.name))
          ThrowSqlError(15023, "User, group, or role '" + s.name + "' already exists in the current database.");
        AddPrincipal(db, s.name, s.kind == Kind::CreateRole ? 'R' : 'S', s.withoutLogin ? "" : s.login);
      });
      break;
    case Kind::DropLogin:
      DropLogin(ctx, s);
      break;
    case Kind::DropUser:
    case Kind::DropRole:
      DropDatabasePrincipal(ctx, s);
      break;
    case Kind::AlterLogin:
      AlterLogin(ctx, s);
      break;
    case Kind::AddMember:
    case Kind::DropMember:
      ChangeMembership(ctx, s.name, s.member, s.kind == Kind::AddMember);
      break;
    case Kind::Grant:
    case Kind::Deny:
    case Kind::Revoke: {
      RequireOwner(ctx, false);
      const std::string target = PermissionTarget(ctx, s);
      const char state = s.kind == Kind::Grant ? 'G' : s.kind == Kind::Deny ? 'D' : 'R';
      ctx.Atomically([&] {
        EnsurePrincipalTables(db);
        for (const std::string& principal : s.principals) {
          if (!PrincipalExists(db, principal))
            ThrowSqlError(15151, "Cannot find the user '" + principal +
                                     "', because it does not exist or you do not have permission.");
          // ALL means every permission that applies; the data ones are what matter here.
          for (const std::string& p : s.permissions) {
            if (p == "ALL" || p == "ALL PRIVILEGES") {
              for (const char* each : {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"})
                SetPermission(db, principal, each, target, state);
            } else {
              SetPermission(db, principal, p, target, state);
            }
          }
        }
      });
      break;
    }
  }
  ctx.session.RefreshRights();
  ctx.Done(0, kCmdNone, 0);
}

bool RunSecurityProcedure(StatementContext& ctx, const std::string& procedure, const ProcedureArgs& args) {
  const bool add = strcasecmp(procedure.c_str(), "sp_addrolemember") == 0;
  if (!add && strcasecmp(procedure.c_str(), "sp_droprolemember") != 0) return false;
  auto arg = [&](size_t i, const char* name) {
    for (const auto& [n, v] : args)
      if (n == name) return v.text;
    return i < args.size() && args[i].first.empty() ? args[i].second.text : std::string();
  };
  ChangeMembership(ctx, arg(0, "@rolename"), arg(1, "@membername"), add);
  ctx.session.RefreshRights();
  return true;
}

}  // namespace standin

namespace standin {
namespace {

[[noreturn]] void PermissionError(int number, std::string text, uint8_t state) {
  ServerMessage m;
  m.number = number;
  m.state = state;
  m.severity = 14;
  m.text = std::move(text);
  throw SqlError{m};
}

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

void CheckPermissions(StatementContext& ctx, const Statement& statement, const StatementAccess& access) {
  const AccessRights& rights = ctx.session.db().rights();
  if (rights.unrestricted) return;
  const std::string database = ctx.session.db().name();
  // Inside a procedure the caller's EXECUTE permission covers the objects its
  // body uses (an ownership chain; the stand-in does not track object owners).
  const bool chained = ctx.session.procedureNesting > 0;
  for (const auto& [permission, object] : access.permissions) {
    if (chained || permission == "ALTER" || rights.Has(permission, object)) continue;
    PermissionError(229, "The " + permission + " permission was denied on the object '" + BareName(object) +
                             "', database '" + database + "', schema '" + SchemaOf(object) + "'.", 5);
  }
  if (rights.MayChangeSchema()) return;
  auto denied = [&](const std::string& what) {
    PermissionError(262, what + " permission denied in database '" + database + "'.", 1);
  };
  std::visit(Overloaded{
                 [&](const CreateTableStmt&) { denied("CREATE TABLE"); },
                 [&](const CreateViewStmt&) { denied("CREATE VIEW"); },
                 [&](const CreateTypeStmt&) { denied("CREATE TYPE"); },
                 [&](const CreateSchemaStmt&) { denied("CREATE SCHEMA"); },
                 [&](const CreateModuleStmt& s) {
                   denied(s.kind == "P" ? "CREATE PROCEDURE" : s.kind == "TR" ? "CREATE TRIGGER" : "CREATE FUNCTION");
                 },
                 [&](const DropObjectStmt& s) {
                   const std::string name = s.names.empty() ? "" : BareName(s.names[0].name);
                   ThrowSqlError(3701, std::string("Cannot drop the ") + (s.view ? "view" : "table") + " '" + name +
                                           "', because it does not exist or you do not have permission.", 5);
                 },
                 [&](const AlterTableStmt& s) {
                   ThrowSqlError(4902, "Cannot find the object \"" + BareName(s.table.name) +
                                           "\" because it does not exist or you do not have permissions.");
                 },
                 [&](const CreateIndexStmt& s) {
                   ThrowSqlError(1088, "Cannot find the object \"" + BareName(s.table.name) +
                                           "\" because it does not exist or you do not have permissions.");
                 },
                 [&](const auto&) {},
             },
             statement);
}

}  // namespace standin
