#include "catalog/schema_names.h"

#include <strings.h>

#include "storage/sqlite_handle.h"

namespace standin {
namespace {

struct BuiltIn {
  const char* name;
  int id;
};
constexpr BuiltIn kBuiltIn[] = {{"dbo", 1}, {"guest", 2}, {"INFORMATION_SCHEMA", 3}, {"sys", 4}};

bool Same(std::string_view a, const char* b) {
  return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

}  // namespace

bool IsDefaultSchema(std::string_view schema) { return schema.empty() || Same(schema, "dbo"); }

std::string StoredName(std::string_view schema, std::string_view name) {
  if (IsDefaultSchema(schema)) return std::string(name);
  return std::string(schema) + kSchemaSeparator + std::string(name);
}

std::string StoredNameBeside(std::string_view table, std::string_view name) {
  if (name.find(kSchemaSeparator) != std::string_view::npos) return std::string(name);
  return StoredName(SchemaOf(table), name);
}

std::string SchemaOf(std::string_view stored) {
  const size_t dot = stored.find(kSchemaSeparator);
  return dot == std::string_view::npos ? std::string("dbo") : std::string(stored.substr(0, dot));
}

std::string BareName(std::string_view stored) {
  const size_t dot = stored.find(kSchemaSeparator);
  return std::string(dot == std::string_view::npos ? stored : stored.substr(dot + 1));
}

std::string TwoPartName(std::string_view stored) { return SchemaOf(stored) + "." + BareName(stored); }

std::string WrittenNames(std::string text) {
  for (char& c : text)
    if (c == kSchemaSeparator) c = '.';
  return text;
}

std::optional<int> SchemaId(sqlite3* db, std::string_view schema) {
  for (const auto& b : kBuiltIn)
    if (Same(schema, b.name)) return b.id;
  SqliteStatement s(db, "SELECT schema_id FROM main.standin_schemas WHERE name = ?");
  s.Bind(1, std::string(schema));
  if (s.Step()) return static_cast<int>(s.Int(0));
  return std::nullopt;
}

std::optional<std::string> SchemaNameOf(sqlite3* db, int id) {
  for (const auto& b : kBuiltIn)
    if (b.id == id) return std::string(b.name);
  SqliteStatement s(db, "SELECT name FROM main.standin_schemas WHERE schema_id = ?");
  s.Bind(1, static_cast<int64_t>(id));
  if (s.Step()) return s.Text(0);
  return std::nullopt;
}

}  // namespace standin
