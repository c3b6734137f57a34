// Logins, database users, roles and permissions. Logins created with CREATE
// LOGIN live in master (standin_logins, the password as a salted SHA-256);
// users, roles, memberships and grants in each database (standin_principals,
// standin_role_members, standin_permissions). The logins given on the command
// line and Windows logons are sysadmins and need none of this.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "storage/access_rights.h"
#include "storage/database_store.h"

namespace standin {

// The fixed database roles SQL Server knows; others must be created.
bool IsFixedRole(const std::string& name);

// CREATE LOGIN; false with `error` (15025) when it exists.
bool CreateStoredLogin(DataDirectory& directory, const std::string& name, const std::string& password,
                       std::string& error);
// True when a stored login of that name has that password.
bool StoredLoginMatches(DataDirectory& directory, const std::string& name, const std::string& password);
bool StoredLoginExists(DataDirectory& directory, const std::string& name);
// DROP LOGIN; false when no stored login has that name.
bool DropStoredLogin(DataDirectory& directory, const std::string& name);
// ALTER LOGIN ... WITH PASSWORD; false when no stored login has that name.
bool SetStoredLoginPassword(DataDirectory& directory, const std::string& name, const std::string& password);
// ALTER LOGIN ... DISABLE / ENABLE: a disabled login is refused at login (18470).
void SetStoredLoginDisabled(DataDirectory& directory, const std::string& name, bool disabled);
bool StoredLoginDisabled(DataDirectory& directory, const std::string& name);

void EnsurePrincipalTables(sqlite3* db);
// A user or role of the database (fixed roles included).
bool PrincipalExists(sqlite3* db, const std::string& name);
// `type` 'S' (user) or 'R' (role); `login` empty for WITHOUT LOGIN and roles.
void AddPrincipal(sqlite3* db, const std::string& name, char type, const std::string& login);
// A user or role created in this database (not dbo, guest or a fixed role).
bool IsCreatedPrincipal(sqlite3* db, const std::string& name, char type);
bool OwnsSchema(sqlite3* db, const std::string& principal);
bool RoleHasMembers(sqlite3* db, const std::string& role);
// DROP USER / DROP ROLE: the principal, its grants and its memberships go.
void RemovePrincipal(sqlite3* db, const std::string& name);
void SetRoleMember(sqlite3* db, const std::string& role, const std::string& member, bool add);
// state 'G' grant, 'D' deny, 'R' revoke (removes both).
void SetPermission(sqlite3* db, const std::string& grantee, const std::string& permission,
                   const std::string& target, char state);

// The rights of `login` (not a sysadmin) in this database.
AccessRights LoadAccessRights(sqlite3* db, const std::string& login, bool isMaster);

// HAS_PERMS_BY_NAME, OBJECT_DEFINITION and the visibility tests the catalog
// views use (standin_sees, standin_sees_definition), answering from `rights`.
void RegisterPermissionFunctions(sqlite3* db, const AccessRights* rights);

}  // namespace standin
