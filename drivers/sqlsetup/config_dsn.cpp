// ConfigDSN for FreeTDS's ODBC driver registered under the name "SQL Server".
// FreeTDS ships no setup library on Linux, so without this SQLConfigDataSource
// cannot add, change or remove its data sources. The installer has already
// chosen the odbc.ini (user or system) before calling; "odbc.ini" below means
// "the file of the current configuration mode".

#include <odbcinst.h>

#include <string>
#include <string_view>
#include <vector>

#include "dsn_attributes.h"
#include "odbc/server_name.h"

namespace sqlsetup {
namespace {

constexpr const char* kOdbcIni = "odbc.ini";

struct Setting {
  std::string key;
  std::string value;
};

// Ordered key=value pairs; a later Set of the same key (any case) replaces the value.
class Settings {
 public:
  void Set(std::string_view key, std::string_view value) {
    for (auto& setting : items_) {
      if (EqualsIgnoreCase(setting.key, key)) {
        setting.value = value;
        return;
      }
    }
    items_.push_back({std::string(key), std::string(value)});
  }
  bool Has(std::string_view key) const {
    for (const auto& setting : items_) {
      if (EqualsIgnoreCase(setting.key, key)) return true;
    }
    return false;
  }
  const std::vector<Setting>& items() const { return items_; }

 private:
  std::vector<Setting> items_;
};

BOOL Fail(DWORD code, const std::string& message) {
  SQLPostInstallerError(code, message.c_str());
  return 0;
}

// odbc.ini is line based: a line break in a key or value would end the line
// early and let the rest pose as another key or section.
bool IsSafeIniText(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos;
}

bool IsSafeIniKey(std::string_view key) {
  return !key.empty() && key.find_first_of("\r\n[]=;") == std::string_view::npos &&
         key.front() != ' ';
}

bool DsnExists(const std::string& dsn) {
  // With no section, the installer returns every section name, each ended by a NUL.
  std::vector<char> names(256 * 1024);
  const int length = SQLGetPrivateProfileString(nullptr, nullptr, "", names.data(),
                                                static_cast<int>(names.size()), kOdbcIni);
  for (int i = 0; i < length && names[i] != '\0';) {
    const std::string_view name(&names[i]);
    if (EqualsIgnoreCase(name, dsn)) return true;
    i += static_cast<int>(name.size()) + 1;
  }
  return false;
}

std::string CurrentValue(const std::string& dsn, const char* key) {
  char value[1024] = {};
  SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, kOdbcIni);
  return value;
}

// Turns the application's attributes into the keys FreeTDS reads. Fails (with
// an installer error posted) on anything that cannot be written faithfully.
bool BuildSettings(const DsnAttributes& attributes, bool adding, Settings& settings) {
  const bool port_given = attributes.Find("Port").has_value();
  // A freetds.conf section holds the server (and the certificate checks).
  const bool section_given = attributes.Find("Servername").has_value();
  bool server_given = false;
  for (const auto& attribute : attributes.entries()) {
    // Typically the tail of a value that held the caller's own separator.
    if (!attribute.hasEquals) {
      Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "Attribute '" + attribute.key + "' has no '=' and value");
      return false;
    }
    if (!IsSafeIniKey(attribute.key)) {
      Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "Invalid keyword '" + attribute.key + "'");
      return false;
    }
    if (!IsSafeIniText(attribute.value)) {
      Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE,
           "The value of " + attribute.key + " must not contain a line break");
      return false;
    }
    if (EqualsIgnoreCase(attribute.key, "DSN") || EqualsIgnoreCase(attribute.key, "Driver")) {
      continue;  // the section name and the driver name are written by SQLWriteDSNToIni
    }
    if (EqualsIgnoreCase(attribute.key, "Server")) {
      const auto parsed = talvoro::odbc::ParseServerName(attribute.value);
      if (!parsed.name) {
        Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, parsed.error);
        return false;
      }
      const auto server = talvoro::odbc::ToFreeTdsServer(*parsed.name);
      server_given = true;
      settings.Set("Server", server.server);
      // A named instance has no fixed port; an explicit Port= attribute wins.
      if (!port_given) settings.Set("Port", server.port);
      continue;
    }
    settings.Set(attribute.key, attribute.value);
  }
  if (adding) {
    if (!server_given && !section_given) {
      const auto local = talvoro::odbc::ToFreeTdsServer(*talvoro::odbc::ParseServerName("").name);
      settings.Set("Server", local.server);
      if (!port_given) settings.Set("Port", local.port);
    }
    // Without it FreeTDS converts text to the locale's code page, which is
    // ISO-8859-1 in a program that never called setlocale().
    if (!settings.Has("ClientCharset")) settings.Set("ClientCharset", "UTF-8");
    // Left to find the protocol version itself, FreeTDS retries a server that
    // does not answer with no time limit; with the version named, the login
    // time-out holds. SQL Server 2012 and later speak 7.4.
    if (!settings.Has("TDS_Version")) settings.Set("TDS_Version", "7.4");
    // FreeTDS's "request": the logon is encrypted whenever the server can
    // encrypt, everything when the server forces it; a server that cannot
    // encrypt is still reached. "require" (asked for by name) encrypts all.
    if (!settings.Has("Encryption")) settings.Set("Encryption", "request");
    // FreeTDS asks for 4096-byte packets, SQL Server's default: a table's rows
    // then cost two reads and a poll per 4 KB. 16383 is the largest size SQL
    // Server takes on an encrypted connection.
    if (!settings.Has("PacketSize")) settings.Set("PacketSize", "16383");
  }
  return true;
}

bool WriteSettings(const std::string& dsn, const Settings& settings) {
  for (const auto& setting : settings.items()) {
    // An empty Port (named instance) removes a port left from an earlier server.
    const bool remove = EqualsIgnoreCase(setting.key, "Port") && setting.value.empty();
    if (!SQLWritePrivateProfileString(dsn.c_str(), setting.key.c_str(),
                                      remove ? nullptr : setting.value.c_str(), kOdbcIni)) {
      Fail(ODBC_ERROR_REQUEST_FAILED, "Cannot write " + setting.key + " of data source '" +
                                          dsn + "' to odbc.ini");
      return false;
    }
  }
  return true;
}

BOOL AddDsn(const std::string& dsn, const char* driver, const DsnAttributes& attributes) {
  Settings settings;
  if (!BuildSettings(attributes, /*adding=*/true, settings)) return 0;
  // Replaces a data source of the same name: the old section goes entirely.
  if (!SQLWriteDSNToIni(dsn.c_str(), driver)) {
    return Fail(ODBC_ERROR_CREATE_DSN_FAILED, "Cannot write data source '" + dsn + "' to odbc.ini");
  }
  return WriteSettings(dsn, settings) ? 1 : 0;
}

BOOL ChangeDsn(const std::string& dsn, const DsnAttributes& attributes) {
  if (!DsnExists(dsn)) return Fail(ODBC_ERROR_INVALID_DSN, "Data source '" + dsn + "' not found");
  Settings settings;
  if (!BuildSettings(attributes, /*adding=*/false, settings)) return 0;
  if (CurrentValue(dsn, "ClientCharset").empty() && !settings.Has("ClientCharset")) {
    settings.Set("ClientCharset", "UTF-8");
  }
  return WriteSettings(dsn, settings) ? 1 : 0;
}

BOOL RemoveDsn(const std::string& dsn) {
  // The installer itself reports success for a name that is not there.
  if (!DsnExists(dsn)) return Fail(ODBC_ERROR_INVALID_DSN, "Data source '" + dsn + "' not found");
  if (!SQLRemoveDSNFromIni(dsn.c_str())) {
    return Fail(ODBC_ERROR_REMOVE_DSN_FAILED, "Cannot remove data source '" + dsn + "'");
  }
  return 1;
}

}  // namespace
}  // namespace sqlsetup

// hwndParent is ignored: this library has no dialogs, so every request is
// handled from the attributes alone, as with a null window.
extern "C" __attribute__((visibility("default"))) BOOL ConfigDSN(HWND /*hwndParent*/,
                                                                 WORD fRequest,
                                                                 LPCSTR lpszDriver,
                                                                 LPCSTR lpszAttributes) {
  using namespace sqlsetup;
  try {
    const auto attributes = DsnAttributes::Parse(lpszAttributes);
    const std::string dsn = attributes.Find("DSN").value_or("");
    if (dsn.empty()) return Fail(ODBC_ERROR_INVALID_KEYWORD_VALUE, "DSN missing");
    if (!SQLValidDSN(dsn.c_str())) {
      return Fail(ODBC_ERROR_INVALID_DSN, "Invalid data source name '" + dsn + "'");
    }
    switch (fRequest) {
      case ODBC_ADD_DSN:
        if (lpszDriver == nullptr || *lpszDriver == '\0') {
          return Fail(ODBC_ERROR_INVALID_NAME, "Driver name missing");
        }
        return AddDsn(dsn, lpszDriver, attributes);
      case ODBC_CONFIG_DSN:
        return ChangeDsn(dsn, attributes);
      case ODBC_REMOVE_DSN:
        return RemoveDsn(dsn);
      default:
        return Fail(ODBC_ERROR_INVALID_REQUEST_TYPE,
                    "Unsupported request " + std::to_string(fRequest));
    }
  } catch (const std::exception& error) {  // no exception may cross the C boundary
    return Fail(ODBC_ERROR_OUT_OF_MEM, error.what());
  }
}
