// What the session's database user may do and see, as SQL Server decides it:
// sysadmin logins and db_owner members everything; others what they, their
// roles or the fixed roles (db_datareader: SELECT, db_datawriter: INSERT,
// UPDATE, DELETE) were granted, on an object, its schema or the whole
// database, less what was denied. Metadata follows: an object is listed only
// with some permission on it, and its definitions (defaults, CHECKs, modules)
// only with VIEW DEFINITION (or CONTROL).
#pragma once

#include <set>
#include <string>
#include <tuple>

namespace standin {

class AccessRights {
 public:
  // A grant or deny: `target` "" for the database, "schema:<name>" for a
  // schema, else an object's stored name; names compare without case.
  struct Entry {
    std::string permission;  // upper case: SELECT, VIEW DEFINITION, ...
    std::string target;
    bool operator<(const Entry& o) const { return std::tie(permission, target) < std::tie(o.permission, o.target); }
  };

  bool unrestricted = true;  // sysadmin, db_owner
  bool hasAccess = true;     // a user of this database (or guest in master)
  std::string userName = "dbo";
  std::set<std::string> fixedRoles;  // lower case: db_datareader, db_datawriter, db_ddladmin
  std::set<Entry> granted, denied;

  static AccessRights Everything() { return {}; }

  bool Has(const std::string& permission, const std::string& storedObject) const;
  bool HasOnDatabase(const std::string& permission) const;
  // Some permission on the object (or its schema, or the database): it is listed.
  bool Sees(const std::string& storedObject) const;
  bool SeesDefinition(const std::string& storedObject) const;
  bool MayChangeSchema() const { return unrestricted || fixedRoles.count("db_ddladmin") > 0; }

 private:
  bool Matches(const std::set<Entry>& entries, const std::string& permission, const std::string& storedObject) const;
};

}  // namespace standin
