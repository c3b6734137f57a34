#include "catalog/principals.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <strings.h>

#include <cctype>
#include <memory>

#include "catalog/schema_names.h"
#include "storage/remembered_counts.h"
#include "storage/sqlite_handle.h"

namespace standin {
namespace {

constexpr char kLoginTable[] =
    "CREATE TABLE IF NOT EXISTS standin_logins(name TEXT PRIMARY KEY COLLATE NOCASE, salt TEXT NOT NULL,"
    " hash TEXT NOT NULL)";
constexpr char kDisabledLoginTable[] =
    "CREATE TABLE IF NOT EXISTS standin_disabled_logins(name TEXT PRIMARY KEY COLLATE NOCASE)";
constexpr char kPrincipalTables[] =
    "CREATE TABLE IF NOT EXISTS standin_principals(name TEXT PRIMARY KEY COLLATE NOCASE, type TEXT NOT NULL,"
    " login TEXT COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS standin_role_members(role TEXT NOT NULL COLLATE NOCASE,"
    " member TEXT NOT NULL COLLATE NOCASE, PRIMARY KEY(role, member));"
    "CREATE TABLE IF NOT EXISTS standin_permissions(grantee TEXT NOT NULL COLLATE NOCASE, permission TEXT NOT NULL,"
    " target TEXT NOT NULL COLLATE NOCASE, state TEXT NOT NULL, PRIMARY KEY(grantee, permission, target));";

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Hex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::string PasswordHash(const std::string& salt, const std::string& password) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  const std::string input = salt + password;
  EVP_Digest(input.data(), input.size(), digest, &size, EVP_sha256(), nullptr);
  return Hex(digest, size);
}

// master's SQLite file, opened for one short request.
struct MasterFile {
  explicit MasterFile(DataDirectory& directory) {
    const auto path = directory.Find("master");
    if (!path || sqlite3_open_v2(path->c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      throw SqliteError(SQLITE_CANTOPEN, "the master database cannot be opened");
    }
    sqlite3_busy_timeout(db, 10000);
    ForgetCountsOnCommit(db);
    SqliteExec(db, kLoginTable);
    SqliteExec(db, kDisabledLoginTable);
  }
  ~MasterFile() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

bool TableExists(sqlite3* db, const char* name) {
  SqliteStatement s(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  s.Bind(1, std::string(name));
  return s.Step();
}

const AccessRights& RightsOf(sqlite3_context* ctx) {
  return *static_cast<const AccessRights*>(sqlite3_user_data(ctx));
}

std::string TextArg(sqlite3_value* v) {
  const auto* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v)) : std::string();
}

// "Schema.Name", "[Schema].[Name]", "Name" → the stored name.
std::string StoredFromWritten(const std::string& written) {
  std::vector<std::string> parts(1);
  bool bracket = false;
  for (char c : written) {
    if (c == '[' && !bracket) { bracket = true; continue; }
    if (c == ']' && bracket) { bracket = false; continue; }
    if (c == '.' && !bracket) { parts.emplace_back(); continue; }
    parts.back() += c;
  }
  return StoredName(parts.size() >= 2 ? parts[parts.size() - 2] : "", parts.back());
}

void SeesFunction(sqlite3_context* ctx, int, sqlite3_value** args) {
  sqlite3_result_int(ctx, RightsOf(ctx).Sees(TextArg(args[0])) ? 1 : 0);
}

void SeesAllFunction(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_int(ctx, RightsOf(ctx).unrestricted ? 1 : 0);
}

void SeesDefinitionFunction(sqlite3_context* ctx, int, sqlite3_value** args) {
  sqlite3_result_int(ctx, RightsOf(ctx).SeesDefinition(TextArg(args[0])) ? 1 : 0);
}

// HAS_PERMS_BY_NAME(securable, class, permission): 1 or 0; NULL for a class
// not answered here.
void HasPermsByName(sqlite3_context* ctx, int, sqlite3_value** args) {
  const AccessRights& rights = RightsOf(ctx);
  const std::string securable = TextArg(args[0]), kind = TextArg(args[1]);
  std::string permission = TextArg(args[2]);
  for (auto& c : permission) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (strcasecmp(kind.c_str(), "DATABASE") == 0) return sqlite3_result_int(ctx, rights.HasOnDatabase(permission));
  if (strcasecmp(kind.c_str(), "OBJECT") == 0)
    return sqlite3_result_int(ctx, rights.Has(permission, StoredFromWritten(securable)));
  if (strcasecmp(kind.c_str(), "SCHEMA") == 0)
    return sqlite3_result_int(ctx, rights.Has(permission, StoredName(securable, "\x01")));
  if (strcasecmp(kind.c_str(), "SERVER") == 0) return sqlite3_result_int(ctx, rights.unrestricted);
  sqlite3_result_null(ctx);
}

// OBJECT_DEFINITION(id): the text of a module, default or CHECK; NULL without
// VIEW DEFINITION on it (or its table).
void ObjectDefinition(sqlite3_context* ctx, int, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  sqlite3* db = sqlite3_context_db_handle(ctx);
  try {
    SqliteStatement s(db,
                      "SELECT o.stored_name, o.type, (SELECT p.stored_name FROM standin_all_objects p"
                      " WHERE p.object_id = o.parent_object_id) FROM standin_all_objects o WHERE o.object_id = ?");
    s.Bind(1, static_cast<int64_t>(sqlite3_value_int64(args[0])));
    if (!s.Step()) return sqlite3_result_null(ctx);
    const std::string name = s.Text(0), type = s.Text(1);
    const std::string owner = s.IsNull(2) ? name : s.Text(2);
    if (!RightsOf(ctx).SeesDefinition(owner)) return sqlite3_result_null(ctx);
    SqliteStatement d(db, type == "D" || type == "C"
                              ? "SELECT definition FROM main.standin_constraints WHERE name = ?"
                              : "SELECT definition FROM main.standin_modules WHERE name = ?");
    d.Bind(1, name);
    if (!d.Step() || d.IsNull(0)) return sqlite3_result_null(ctx);
    const std::string text = d.Text(0);
    sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

}  // namespace

bool IsFixedRole(const std::string& name) {
  for (const char* r : {"db_owner", "db_datareader", "db_datawriter", "db_ddladmin", "db_securityadmin",
                        "db_accessadmin", "db_backupoperator", "db_denydatareader", "db_denydatawriter", "public"})
    if (strcasecmp(r, name.c_str()) == 0) return true;
  return false;
}

namespace {

// A fresh random salt, as hex.
std::string NewSalt() {
  unsigned char salt[16];
  RAND_bytes(salt, sizeof salt);
  return Hex(salt, sizeof salt);
}

}  // namespace

bool CreateStoredLogin(DataDirectory& directory, const std::string& name, const std::string& password,
                       std::string& error) {
  MasterFile master(directory);
  const std::string saltText = NewSalt();
  SqliteStatement s(master.db, "INSERT OR IGNORE INTO standin_logins VALUES (?, ?, ?)");
  s.Bind(1, name);
  s.Bind(2, saltText);
  s.Bind(3, PasswordHash(saltText, password));
  s.Step();
  if (sqlite3_changes(master.db) == 1) return true;
  error = "The server principal '" + name + "' already exists.";
  return false;
}

bool StoredLoginMatches(DataDirectory& directory, const std::string& name, const std::string& password) {
  try {
    MasterFile master(directory);
    SqliteStatement s(master.db, "SELECT salt, hash FROM standin_logins WHERE name = ?");
    s.Bind(1, name);
    return s.Step() && PasswordHash(s.Text(0), password) == s.Text(1);
  } catch (const SqliteError&) {
    return false;
  }
}

bool StoredLoginExists(DataDirectory& directory, const std::string& name) {
  MasterFile master(directory);
  SqliteStatement s(master.db, "SELECT 1 FROM standin_logins WHERE name = ?");
  s.Bind(1, name);
  return s.Step();
}

bool DropStoredLogin(DataDirectory& directory, const std::string& name) {
  MasterFile master(directory);
  SqliteStatement s(master.db, "DELETE FROM standin_logins WHERE name = ?");
  s.Bind(1, name);
  s.Step();
  if (sqlite3_changes(master.db) != 1) return false;
  SqliteStatement d(master.db, "DELETE FROM standin_disabled_logins WHERE name = ?");
  d.Bind(1, name);
  d.Step();
  return true;
}

bool SetStoredLoginPassword(DataDirectory& directory, const std::string& name, const std::string& password) {
  MasterFile master(directory);
  const std::string saltText = NewSalt();
  SqliteStatement s(master.db, "UPDATE standin_logins SET salt = ?, hash = ? WHERE name = ?");
  s.Bind(1, saltText);
  s.Bind(2, PasswordHash(saltText, password));
  s.Bind(3, name);
  s.Step();
  return sqlite3_changes(master.db) == 1;
}

void SetStoredLoginDisabled(DataDirectory& directory, const std::string& name, bool disabled) {
  MasterFile master(directory);
  SqliteStatement s(master.db, disabled ? "INSERT OR IGNORE INTO standin_disabled_logins VALUES (?)"
                                        : "DELETE FROM standin_disabled_logins WHERE name = ?");
  s.Bind(1, name);
  s.Step();
}

bool StoredLoginDisabled(DataDirectory& directory, const std::string& name) {
  try {
    MasterFile master(directory);
    SqliteStatement s(master.db, "SELECT 1 FROM standin_disabled_logins WHERE name = ?");
    s.Bind(1, name);
    return s.Step();
  } catch (const SqliteError&) {
    return false;
  }
}

void EnsurePrincipalTables(sqlite3* db) { SqliteExec(db, kPrincipalTables); }

bool PrincipalExists(sqlite3* db, const std::string& name) {
  if (IsFixedRole(name) || strcasecmp(name.c_str(), "dbo") == 0 || strcasecmp(name.c_str(), "guest") == 0) return true;
  if (!TableExists(db, "standin_principals")) return false;
  SqliteStatement s(db, "SELECT 1 FROM standin_principals WHERE name = ?");
  s.Bind(1, name);
  return s.Step();
}

void AddPrincipal(sqlite3* db, const std::string& name, char type, const std::string& login) {
  SqliteStatement s(db, "INSERT INTO standin_principals VALUES (?, ?, ?)");
  s.Bind(1, name);
  s.Bind(2, std::string(1, type));
  if (login.empty()) s.BindNull(3);
  else s.Bind(3, login);
  s.Step();
}

bool IsCreatedPrincipal(sqlite3* db, const std::string& name, char type) {
  if (!TableExists(db, "standin_principals")) return false;
  SqliteStatement s(db, "SELECT 1 FROM standin_principals WHERE name = ? AND type = ?");
  s.Bind(1, name);
  s.Bind(2, std::string(1, type));
  return s.Step();
}

bool OwnsSchema(sqlite3* db, const std::string& principal) {
  if (!TableExists(db, "standin_schemas")) return false;
  SqliteStatement s(db, "SELECT 1 FROM main.standin_schemas WHERE owner = ? COLLATE NOCASE");
  s.Bind(1, principal);
  return s.Step();
}

bool RoleHasMembers(sqlite3* db, const std::string& role) {
  SqliteStatement s(db, "SELECT 1 FROM standin_role_members WHERE role = ?");
  s.Bind(1, role);
  return s.Step();
}

void RemovePrincipal(sqlite3* db, const std::string& name) {
  for (const char* sql : {"DELETE FROM standin_permissions WHERE grantee = ?",
                          "DELETE FROM standin_role_members WHERE member = ?",
                          "DELETE FROM standin_role_members WHERE role = ?",
                          "DELETE FROM standin_principals WHERE name = ?"}) {
    SqliteStatement s(db, sql);
    s.Bind(1, name);
    s.Step();
  }
}

void SetRoleMember(sqlite3* db, const std::string& role, const std::string& member, bool add) {
  SqliteStatement s(db, add ? "INSERT OR IGNORE INTO standin_role_members VALUES (?, ?)"
                            : "DELETE FROM standin_role_members WHERE role = ? AND member = ?");
  s.Bind(1, role);
  s.Bind(2, member);
  s.Step();
}

void SetPermission(sqlite3* db, const std::string& grantee, const std::string& permission, const std::string& target,
                   char state) {
  SqliteStatement s(db, state == 'R'
                            ? "DELETE FROM standin_permissions WHERE grantee = ? AND permission = ? AND target = ?"
                            : "INSERT OR REPLACE INTO standin_permissions VALUES (?, ?, ?, ?)");
  s.Bind(1, grantee);
  s.Bind(2, permission);
  s.Bind(3, target);
  if (state != 'R') s.Bind(4, std::string(1, state));
  s.Step();
}

AccessRights LoadAccessRights(sqlite3* db, const std::string& login, bool isMaster) {
  AccessRights rights;
  rights.unrestricted = false;
  rights.hasAccess = false;
  const bool tables = TableExists(db, "standin_principals");
  if (tables) {
    SqliteStatement user(db, "SELECT name FROM standin_principals WHERE type = 'S' AND login = ?");
    user.Bind(1, login);
    if (user.Step()) {
      rights.userName = user.Text(0);
      rights.hasAccess = true;
    }
  }
  if (!rights.hasAccess) {
    rights.userName = "guest";  // master lets every login in as guest
    rights.hasAccess = isMaster;
    return rights;
  }
  // The user's roles, and the roles of those roles.
  std::vector<std::string> principals = {rights.userName, "public"};
  for (size_t i = 0; i < principals.size(); ++i) {
    SqliteStatement roles(db, "SELECT role FROM standin_role_members WHERE member = ?");
    roles.Bind(1, principals[i]);
    while (roles.Step()) {
      const std::string role = roles.Text(0);
      bool known = false;
      for (const auto& p : principals) known |= strcasecmp(p.c_str(), role.c_str()) == 0;
      if (!known) principals.push_back(role);
    }
  }
  for (const std::string& p : principals) {
    if (IsFixedRole(p)) rights.fixedRoles.insert(Lower(p));
    SqliteStatement grants(db, "SELECT permission, target, state FROM standin_permissions WHERE grantee = ?");
    grants.Bind(1, p);
    while (grants.Step()) {
      AccessRights::Entry e{grants.Text(0), grants.Text(1)};
      (grants.Text(2) == "D" ? rights.denied : rights.granted).insert(e);
    }
  }
  rights.fixedRoles.erase("public");
  if (rights.fixedRoles.count("db_owner")) rights = AccessRights::Everything();
  return rights;
}

void RegisterPermissionFunctions(sqlite3* db, const AccessRights* rights) {
  void* data = const_cast<AccessRights*>(rights);
  sqlite3_create_function(db, "standin_sees_all", 0, SQLITE_UTF8, data, SeesAllFunction, nullptr, nullptr);
  sqlite3_create_function(db, "standin_sees", 1, SQLITE_UTF8, data, SeesFunction, nullptr, nullptr);
  sqlite3_create_function(db, "standin_sees_definition", 1, SQLITE_UTF8, data, SeesDefinitionFunction, nullptr,
                          nullptr);
  sqlite3_create_function(db, "has_perms_by_name", 3, SQLITE_UTF8, data, HasPermsByName, nullptr, nullptr);
  sqlite3_create_function(db, "object_definition", 1, SQLITE_UTF8, data, ObjectDefinition, nullptr, nullptr);
}

}  // namespace standin
