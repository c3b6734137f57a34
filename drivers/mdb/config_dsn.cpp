// ConfigDSN: the driver's setup entry point, called by SQLConfigDataSource.
//   CREATE_DB=path        creates an empty database file (never over an existing one)
//   ODBC_ADD_DSN          writes the data source (replacing one of the same name)
//   ODBC_CONFIG_DSN       changes the attributes of an existing data source
//   ODBC_REMOVE_DSN       removes it; FALSE when there is none
// Failures reach the application through SQLInstallerError.
#include <odbcinst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "attribute_list.h"
#include "jet/jet.h"
#include "shared_database.h"
#include "sql_tokenizer.h"

using namespace mdb;

namespace {

constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";

BOOL Fail(DWORD code, const std::string& message) {
  SQLPostInstallerError(code, message.c_str());
  return 0;
}

// Looks the name up in the section list of the file the current config mode
// selects; unlike key lookups, section lists are not cached by unixODBC.
bool DataSourceExists(const std::string& dsn) {
  std::vector<char> names(65536, '\0');
  int n = SQLGetPrivateProfileString(nullptr, nullptr, "", names.data(), static_cast<int>(names.size()), "odbc.ini");
  for (int i = 0; i < n && names[i];) {
    std::string_view name(&names[i]);
    if (EqualsIgnoreCase(name, dsn)) return true;
    i += static_cast<int>(name.size()) + 1;
  }
  return false;
}

bool IsDataSourceKey(const std::string& key) {
  return !EqualsIgnoreCase(key, "DSN") && !EqualsIgnoreCase(key, "CREATE_DB") && !key.empty();
}

BOOL CreateDatabase(const std::string& value) {
  std::string path = DatabasePathFromCreateValue(value);
  if (path.empty()) return Fail(ODBC_ERROR_INVALID_PATH, "CREATE_DB= names no file");
  struct stat st;
  if (::stat(path.c_str(), &st) == 0)
    return Fail(ODBC_ERROR_CREATE_DSN_FAILED,
                "Cannot create database \"" + path + "\": the file already exists and was not overwritten");
  // The file appears under its name only when it is complete, so that a process
  // killed while creating it leaves no half-written database behind: it is
  // written under a temporary name beside it, then linked into place (a link
  // never replaces a file that appeared meanwhile).
  const std::string temporary = path + ".creating-" + std::to_string(::getpid());
  try {
    ForgetIdleDatabase(path);
    ::unlink(temporary.c_str());  // left by a killed process that had our number
    jet::Database::Create(temporary);
  } catch (const jet::Error& e) {
    return Fail(ODBC_ERROR_CREATE_DSN_FAILED, "Cannot create database \"" + path + "\": " + e.what());
  }
  int placed = ::link(temporary.c_str(), path.c_str());
  if (placed != 0 && errno != EEXIST) {
    // A file system without hard links: rename, after one more look for the name.
    placed = ::stat(path.c_str(), &st) == 0 ? (errno = EEXIST, -1) : ::rename(temporary.c_str(), path.c_str());
  }
  const int error = errno;
  ::unlink(temporary.c_str());
  if (placed != 0) {
    return Fail(ODBC_ERROR_CREATE_DSN_FAILED, "Cannot create database \"" + path + "\": " +
                                                  (error == EEXIST ? std::string("the file already exists")
                                                                   : std::string(std::strerror(error))));
  }
  return 1;
}

BOOL WriteAttributes(const std::string& dsn, const AttributeList& attributes) {
  for (const auto& [key, value] : attributes.entries()) {
    if (!IsDataSourceKey(key)) continue;
    if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini"))
      return Fail(ODBC_ERROR_REQUEST_FAILED, "Could not write " + key + " of data source \"" + dsn + "\"");
  }
  return 1;
}

BOOL Configure(WORD request, const char* driver, const char* list) {
  if (request != ODBC_ADD_DSN && request != ODBC_CONFIG_DSN && request != ODBC_REMOVE_DSN)
    return Fail(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid request type " + std::to_string(request));
  AttributeList attributes = AttributeList::FromInstallerList(list);
  for (const char* unsupported : {"COMPACT_DB", "REPAIR_DB", "CREATE_SYSDB"}) {
    if (attributes.Find(unsupported))
      return Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, std::string(unsupported) + "= is not supported");
  }
  auto create = attributes.Find("CREATE_DB");
  if (create && request != ODBC_REMOVE_DSN && !CreateDatabase(*create)) return 0;

  std::string dsn = attributes.Find("DSN").value_or("");
  if (dsn.empty()) {
    if (create) return 1;
    return Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "DSN= is missing");
  }
  switch (request) {
    case ODBC_REMOVE_DSN:
      if (!DataSourceExists(dsn))
        return Fail(ODBC_ERROR_INVALID_NAME, "Data source \"" + dsn + "\" does not exist");
      if (!SQLRemoveDSNFromIni(dsn.c_str()))
        return Fail(ODBC_ERROR_REMOVE_DSN_FAILED, "Could not remove data source \"" + dsn + "\"");
      return 1;
    case ODBC_CONFIG_DSN:
      if (!DataSourceExists(dsn))
        return Fail(ODBC_ERROR_INVALID_NAME, "Data source \"" + dsn + "\" does not exist");
      return WriteAttributes(dsn, attributes);
    default:
      if (!SQLValidDSN(dsn.c_str()))
        return Fail(ODBC_ERROR_INVALID_NAME, "Invalid data source name \"" + dsn +
                                                 "\" (at most 32 characters, none of []{}(),;?*=!@\\)");
      // Replaces a data source of the same name: the old section is removed first.
      if (!SQLWriteDSNToIni(dsn.c_str(), driver && *driver ? driver : kDriverName))
        return Fail(ODBC_ERROR_CREATE_DSN_FAILED, "Could not write data source \"" + dsn + "\"");
      return WriteAttributes(dsn, attributes);
  }
}

}  // namespace

extern "C" BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver, LPCSTR attributes) {
  try {
    return Configure(request, driver, attributes);
  } catch (const std::exception& e) {
    return Fail(ODBC_ERROR_GENERAL_ERR, e.what());
  } catch (...) {
    return Fail(ODBC_ERROR_GENERAL_ERR, "Unexpected internal error");
  }
}
