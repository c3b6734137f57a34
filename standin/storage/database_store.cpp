#include "storage/database_store.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <fstream>

#include "types/collation.h"
#include "catalog/principals.h"
#include "catalog/schema_metadata.h"
#include "tsql/sql_functions.h"
#include "storage/remembered_counts.h"
#include "storage/sqlite_handle.h"

namespace standin {
namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS standin_objects("
    " name TEXT PRIMARY KEY COLLATE NOCASE, kind TEXT NOT NULL, pk_name TEXT,"
    " identity_current INTEGER);"
    "CREATE TABLE IF NOT EXISTS standin_columns("
    " object_name TEXT NOT NULL COLLATE NOCASE, ordinal INTEGER NOT NULL, name TEXT NOT NULL,"
    " type_name TEXT NOT NULL, length INTEGER, precision INTEGER, scale INTEGER,"
    " is_identity INTEGER, identity_seed INTEGER, identity_increment INTEGER,"
    " nullable INTEGER, default_text TEXT, pk_seq INTEGER,"
    " PRIMARY KEY(object_name, ordinal));"
    "CREATE TABLE IF NOT EXISTS standin_settings(key TEXT PRIMARY KEY, value);"
    "CREATE TABLE IF NOT EXISTS standin_xml_schema_collections("
    " name TEXT PRIMARY KEY COLLATE NOCASE, definition TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS standin_column_kinds("
    " object_name TEXT NOT NULL COLLATE NOCASE, column_name TEXT NOT NULL COLLATE NOCASE, computed TEXT,"
    " persisted INTEGER NOT NULL DEFAULT 0, hidden INTEGER NOT NULL DEFAULT 0, generated TEXT,"
    " PRIMARY KEY(object_name, column_name));"
    "CREATE TABLE IF NOT EXISTS standin_schemas("
    " name TEXT PRIMARY KEY COLLATE NOCASE, schema_id INTEGER NOT NULL UNIQUE, owner TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS standin_collations("
    " object_name TEXT NOT NULL COLLATE NOCASE, column_name TEXT NOT NULL COLLATE NOCASE, collation TEXT NOT NULL,"
    " PRIMARY KEY(object_name, column_name));";

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// DB_ID(name): the database's id (its place among the data directory's databases,
// counted from 1) or NULL when the server has no such database. Clients ask it to
// learn whether a database exists before they log on to it.
void DbId(sqlite3_context* ctx, int, sqlite3_value** args) {
  const auto* dir = static_cast<const std::string*>(sqlite3_user_data(ctx));
  const unsigned char* text = sqlite3_value_text(args[0]);
  if (!text) return sqlite3_result_null(ctx);
  const std::string wanted(reinterpret_cast<const char*>(text));
  const std::vector<std::string> names = DataDirectory(*dir).ListNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (strcasecmp(names[i].c_str(), wanted.c_str()) == 0) return sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(i + 1));
  }
  sqlite3_result_null(ctx);
}

void RegisterDbId(sqlite3* db, const std::string& databasePath) {
  const size_t slash = databasePath.find_last_of('/');
  auto* dir = new std::string(slash == std::string::npos ? "." : databasePath.substr(0, slash));
  sqlite3_create_function_v2(db, "db_id", 1, SQLITE_UTF8, dir, DbId, nullptr, nullptr,
                             [](void* p) { delete static_cast<std::string*>(p); });
}

// The same tables for #temp objects, in the connection's temp schema.
std::string TemporarySchema() {
  std::string s = kSchema;
  for (const char* base : {"standin_objects", "standin_columns", "standin_collations"}) {
    const std::string from = std::string("CREATE TABLE IF NOT EXISTS ") + base + "(";
    const size_t at = s.find(from);
    if (at != std::string::npos)
      s.replace(at, from.size(), std::string("CREATE TEMP TABLE IF NOT EXISTS ") + Database::MetaTable(base, "#") + "(");
  }
  const size_t settings = s.find("CREATE TABLE IF NOT EXISTS standin_settings");
  if (settings != std::string::npos) s.erase(settings, s.find(';', settings) + 1 - settings);
  return s;
}

}  // namespace

std::string Database::MetaTable(const char* base, const std::string& object) {
  if (!IsTemporary(object)) return base;
  return std::string("standin_temp_") + (base + std::strlen("standin_"));
}

DataDirectory::DataDirectory(std::string dir) : dir_(std::move(dir)) {}

bool DataDirectory::ValidName(const std::string& name) {
  if (name.empty() || name.size() > 123 || name[0] == '.' || name[0] == ' ') return false;
  for (unsigned char c : name) {
    if (!(std::isalnum(c) || c == '_' || c == ' ' || c == '-' || c == '$' || c == '#' || c == '@' || c == '.'))
      return false;
  }
  return name.find("..") == std::string::npos;
}

std::optional<std::string> DataDirectory::Find(const std::string& name, std::string* canonical) {
  if (!ValidName(name)) return std::nullopt;
  DIR* d = opendir(dir_.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> found;
  const std::string wanted = name + ".mdf";
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, wanted.c_str()) == 0) {
      const std::string file = e->d_name;
      found = dir_ + "/" + file;
      if (canonical) *canonical = file.substr(0, file.size() - 4);
      break;
    }
  }
  closedir(d);
  return found;
}

std::vector<std::string> DataDirectory::ListNames() {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir_.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string file = e->d_name;
      if (file.size() > 4 && strcasecmp(file.c_str() + file.size() - 4, ".mdf") == 0)
        names.push_back(file.substr(0, file.size() - 4));
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  return names;
}

bool DataDirectory::Create(const std::string& name, std::string& error, const Collation* collation) {
  std::lock_guard lock(mu_);
  if (!ValidName(name)) {
    error = "Incorrect syntax near '" + name + "'.";
    return false;
  }
  if (Find(name)) {
    error = "Database '" + name + "' already exists. Choose a different database name.";
    return false;
  }
  try {
    Database created(dir_ + "/" + name + ".mdf", name);
    if (collation) {
      SqliteStatement s(created.handle(), "INSERT OR REPLACE INTO standin_settings VALUES ('collation', ?)");
      s.Bind(1, collation->name);
      s.Step();
    }
  } catch (const std::exception& e) {
    error = std::string("CREATE DATABASE failed: ") + e.what();
    return false;
  }
  return true;
}

bool DataDirectory::Drop(const std::string& name, std::string& error) {
  std::lock_guard lock(mu_);
  std::string canonical;
  const auto path = Find(name, &canonical);
  if (!path) {
    error = "Cannot drop the database '" + name + "', because it does not exist or you do not have permission.";
    return false;
  }
  if (strcasecmp(canonical.c_str(), "master") == 0 || strcasecmp(canonical.c_str(), "tempdb") == 0) {
    error = "Cannot drop the database '" + canonical + "' because it is a system database.";
    return false;
  }
  const auto it = inUse_.find(Lower(canonical));
  if (it != inUse_.end() && it->second > 0) {
    error = "Cannot drop database \"" + canonical + "\" because it is currently in use.";
    return false;
  }
  unlink(path->c_str());
  unlink((*path + "-wal").c_str());
  unlink((*path + "-shm").c_str());
  return true;
}

void DataDirectory::Acquire(const std::string& canonical) {
  std::lock_guard lock(mu_);
  ++inUse_[Lower(canonical)];
}

void DataDirectory::Release(const std::string& canonical) {
  std::lock_guard lock(mu_);
  auto it = inUse_.find(Lower(canonical));
  if (it != inUse_.end() && --it->second <= 0) inUse_.erase(it);
}

Database::Database(const std::string& path, std::string name) : name_(std::move(name)) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError(rc, message);
  }
  sqlite3_busy_timeout(db_, 10000);
  RegisterTsqlFunctions(db_);
  RegisterDbId(db_, path);
  RegisterCollations(db_, DefaultCollation());
  RegisterPermissionFunctions(db_, &rights_);
  try {
    // WAL with synchronous=NORMAL: a committed statement is in the WAL file before
    // the client hears of it, so it survives the server process being killed
    // (only a power cut may lose the last commits). Reads go through a memory
    // map instead of a read() and a copy per page.
    SqliteExec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA mmap_size=1073741824;");
    ForgetCountsOnCommit(db_);
    SqliteExec(db_, kSchema);
    EnsureSchemaMetadata(db_);
    SqliteExec(db_, TemporarySchema());
    {
      SqliteStatement setting(db_, "SELECT value FROM standin_settings WHERE key = 'collation'");
      collation_ = setting.Step() ? FindCollation(setting.Text(0)) : nullptr;
    }
    if (!collation_) collation_ = &DefaultCollation();
    if (collation_ != &DefaultCollation()) RegisterCollations(db_, *collation_);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

Database::~Database() { sqlite3_close_v2(db_); }

std::optional<ObjectMeta> Database::FindObject(const std::string& name) {
  SqliteStatement s(db_, "SELECT name, kind, pk_name FROM " + MetaTable("standin_objects", name) + " WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return ObjectMeta{s.Text(0), s.Text(1) == "VIEW", s.Text(2)};
}

std::vector<ObjectMeta> Database::Objects() {
  std::vector<ObjectMeta> out;
  SqliteStatement s(db_, "SELECT name, kind, pk_name FROM standin_objects ORDER BY name");
  while (s.Step())
    if (rights_.Sees(s.Text(0))) out.push_back({s.Text(0), s.Text(1) == "VIEW", s.Text(2)});
  return out;
}

std::vector<ColumnMeta> Database::TableColumns(const std::string& table) {
  std::vector<ColumnMeta> out;
  SqliteStatement s(db_,
                    "SELECT c.name, c.ordinal, c.type_name, c.length, c.precision, c.scale, c.is_identity,"
                    " c.identity_seed, c.identity_increment, c.nullable, c.default_text, c.pk_seq, k.collation"
                    " FROM " + MetaTable("standin_columns", table) + " c LEFT JOIN " +
                        MetaTable("standin_collations", table) + " k"
                    " ON k.object_name = c.object_name AND k.column_name = c.name"
                    " WHERE c.object_name = ? ORDER BY c.ordinal");
  s.Bind(1, table);
  while (s.Step()) {
    ColumnMeta c;
    c.name = s.Text(0);
    c.ordinal = static_cast<int>(s.Int(1));
    auto type = TypeFromStorage(s.Text(2), static_cast<int>(s.Int(3)), static_cast<int>(s.Int(4)),
                                static_cast<int>(s.Int(5)));
    if (type) c.type = *type;
    c.identity = s.Int(6) != 0;
    c.identitySeed = s.Int(7);
    c.identityIncrement = s.Int(8);
    c.nullable = s.Int(9) != 0;
    c.defaultText = s.Text(10);
    c.pkSeq = static_cast<int>(s.Int(11));
    if (!s.IsNull(12)) c.type.collation = FindCollation(s.Text(12));
    out.push_back(std::move(c));
  }
  if (!IsTemporary(table) && !out.empty()) {
    // Computed, hidden and period columns (few tables have any).
    SqliteStatement k(db_, "SELECT column_name, computed, persisted, hidden, generated FROM standin_column_kinds"
                           " WHERE object_name = ?");
    k.Bind(1, table);
    while (k.Step())
      for (auto& c : out)
        if (strcasecmp(c.name.c_str(), k.Text(0).c_str()) == 0) {
          c.computed = k.Text(1);
          c.persisted = k.Int(2) != 0;
          c.hidden = k.Int(3) != 0;
          c.generated = k.Text(4);
        }
  }
  return out;
}

std::vector<ColumnMeta> Database::ObjectColumns(const ObjectMeta& object) {
  if (!object.isView) return TableColumns(object.name);
  std::vector<ColumnMeta> out;
  SqliteStatement s(db_, "SELECT * FROM " + SqliteQuote(object.name));
  std::map<std::string, std::vector<ColumnMeta>> tables;
  const int n = sqlite3_column_count(s.get());
  for (int i = 0; i < n; ++i) {
    ColumnMeta c;
    c.type = SqlType{TypeKind::NVarChar, 4000, 0, 0};
    const char* originTable = sqlite3_column_table_name(s.get(), i);
    const char* originColumn = sqlite3_column_origin_name(s.get(), i);
    if (originTable && originColumn) {
      auto it = tables.find(originTable);
      if (it == tables.end()) it = tables.emplace(originTable, TableColumns(originTable)).first;
      for (const auto& base : it->second) {
        if (strcasecmp(base.name.c_str(), originColumn) == 0) {
          c = base;
          c.defaultText.clear();
          c.pkSeq = 0;
          break;
        }
      }
    }
    c.name = sqlite3_column_name(s.get(), i);
    c.ordinal = i + 1;
    out.push_back(std::move(c));
  }
  return out;
}

int64_t Database::NextTimestamp() {
  SqliteExec(db_, "INSERT OR IGNORE INTO standin_settings VALUES('dbts', 2000)");
  SqliteExec(db_, "UPDATE standin_settings SET value = value + 1 WHERE key = 'dbts'");
  SqliteStatement s(db_, "SELECT value FROM standin_settings WHERE key = 'dbts'");
  s.Step();
  return s.Int(0);
}

}  // namespace standin
