#include "storage/access_rights.h"

#include <strings.h>

#include "catalog/schema_names.h"

namespace standin {
namespace {

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// Permissions a fixed database role carries on every object.
bool RoleGrants(const std::set<std::string>& roles, const std::string& permission) {
  if (roles.count("db_datareader") && permission == "SELECT") return true;
  if (roles.count("db_datawriter") && (permission == "INSERT" || permission == "UPDATE" || permission == "DELETE"))
    return true;
  return false;
}

}  // namespace

bool AccessRights::Matches(const std::set<Entry>& entries, const std::string& permission,
                           const std::string& storedObject) const {
  const std::string schema = "schema:" + SchemaOf(storedObject);
  for (const Entry& e : entries) {
    if (e.permission != permission && e.permission != "CONTROL") continue;
    if (e.target.empty() || Same(e.target, schema) || Same(e.target, storedObject)) return true;
  }
  return false;
}

bool AccessRights::Has(const std::string& permission, const std::string& storedObject) const {
  if (unrestricted) return true;
  if (Matches(denied, permission, storedObject)) return false;
  return RoleGrants(fixedRoles, permission) || Matches(granted, permission, storedObject);
}

bool AccessRights::HasOnDatabase(const std::string& permission) const {
  if (unrestricted) return true;
  for (const Entry& e : denied)
    if (e.target.empty() && (e.permission == permission || e.permission == "CONTROL")) return false;
  if (RoleGrants(fixedRoles, permission)) return true;
  for (const Entry& e : granted)
    if (e.target.empty() && (e.permission == permission || e.permission == "CONTROL")) return true;
  return false;
}

bool AccessRights::Sees(const std::string& storedObject) const {
  if (unrestricted || !fixedRoles.empty()) return true;
  const std::string schema = "schema:" + SchemaOf(storedObject);
  for (const Entry& e : granted)
    if (e.target.empty() || Same(e.target, schema) || Same(e.target, storedObject)) return true;
  return false;
}

bool AccessRights::SeesDefinition(const std::string& storedObject) const {
  return Has("VIEW DEFINITION", storedObject);
}

}  // namespace standin
