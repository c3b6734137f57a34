#include "data_sources.h"

#include <odbcinst.h>
#include <strings.h>

#include <vector>

#include "private_freetds_conf.h"
#include "server_name.h"

namespace talvoro::odbc {
namespace {

void AppendEntry(std::string& out, std::string_view keyword, std::string_view value) {
  out.append(keyword);
  out.append(value);
  out.append(kAttributeSeparator);
}

bool Configure(WORD request, const char* driver, const std::string& attributes) {
  // `attributes` already ends in two NULs; c_str() adds a third, which is harmless.
  return SQLConfigDataSource(nullptr, request, driver, attributes.c_str()) != 0;
}

// Section names of one odbc.ini, read in the given configuration mode. Section
// listings bypass unixODBC's value cache, so a removal shows at once.
bool SectionExists(UWORD mode, const std::string& name) {
  UWORD previous = ODBC_BOTH_DSN;
  SQLGetConfigMode(&previous);
  SQLSetConfigMode(mode);
  std::vector<char> buffer(16 * 1024);
  int length = 0;
  for (;;) {
    length = SQLGetPrivateProfileString(nullptr, nullptr, "", buffer.data(),
                                        static_cast<int>(buffer.size()), "odbc.ini");
    if (length < 0 || static_cast<std::size_t>(length) + 2 < buffer.size()) break;
    buffer.resize(buffer.size() * 4);  // the list may have been cut: read it again whole
  }
  SQLSetConfigMode(previous);
  if (length <= 0) return false;
  for (std::size_t i = 0; i < static_cast<std::size_t>(length) && buffer[i] != '\0';) {
    const char* section = buffer.data() + i;
    std::size_t size = std::char_traits<char>::length(section);
    if (strcasecmp(section, name.c_str()) == 0) return true;
    i += size + 1;
  }
  return false;
}

}  // namespace

std::string FormatSourceTemplate(std::string_view name, std::string_view database,
                                 std::string_view server, bool requireEncryption,
                                 std::string_view freeTdsSection) {
  std::string text;
  AppendEntry(text, "DSN=", name);
  if (freeTdsSection.empty()) {
    AppendEntry(text, "Server=", server.empty() ? std::string_view(kLocalServer) : server);
  } else {
    AppendEntry(text, "Servername=", freeTdsSection);
  }
  AppendEntry(text, "Trusted_Connection=", "yes");
  AppendEntry(text, "Database=", database);
  if (requireEncryption) AppendEntry(text, "Encryption=", "require");
  text.append(kAttributeSeparator);
  return text;
}

std::string FormatDestTemplate(std::string_view name, std::string_view description,
                               std::string_view path) {
  std::string text;
  AppendEntry(text, "DSN=", std::string(name) + " ");
  AppendEntry(text, "DESCRIPTION=", std::string(description) + " ");
  AppendEntry(text, "DBQ=", path);
  text.append(kAttributeSeparator);
  return text;
}

std::string ExpandAttributeTemplate(std::string_view formatted) {
  std::string list;
  list.reserve(formatted.size());
  const std::size_t n = formatted.size();
  std::size_t i = 0;
  while (i + 1 < n) {
    if (static_cast<unsigned char>(formatted[i]) == 0xFF && formatted[i + 1] == ' ') {
      list.push_back('\0');
      i += 2;
    } else {
      list.push_back(formatted[i]);
      i += 1;
    }
  }
  return list;
}

bool RegisterSourceDsn(const std::string& database, const std::string& name,
                       const std::string& server, const SourceEncryption& encryption,
                       std::string* error) {
  std::string section;
  if (encryption.ChecksCertificate()) {
    const ParsedServerName parsed = ParseServerName(server);
    if (!parsed.name) {
      if (error) *error = parsed.error;
      return false;
    }
    section = InstallSourceSection(*parsed.name, encryption, error);
    if (section.empty()) return false;
  }
  const bool added = Configure(ODBC_ADD_DSN, kSqlServerDriver,
                               ExpandAttributeTemplate(FormatSourceTemplate(
                                   name, database, server, encryption.required, section)));
  if (!added && error) *error = LastInstallerError();
  return added;
}

bool RegisterDestDsn(const std::string& path, const std::string& name,
                     const std::string& description, std::string* failureMessage) {
  if (SystemDataSourceExists(name)) {
    RemoveDestDsn(path, name, std::string());
    return false;
  }
  bool added = Configure(ODBC_ADD_DSN, kAccessDriver,
                         ExpandAttributeTemplate(FormatDestTemplate(name, description, path)));
  if (!added && failureMessage) *failureMessage = kDataSourceFailureMessage;
  return added;
}

bool RemoveDestDsn(const std::string& path, const std::string& name,
                   const std::string& description) {
  return Configure(ODBC_REMOVE_DSN, kAccessDriver,
                   ExpandAttributeTemplate(FormatDestTemplate(name, description, path)));
}

bool CreateDestinationFile(const std::string& path, std::string* error) {
  std::string attributes = "CREATE_DB=\"" + path + "\"";
  attributes.push_back('\0');
  attributes.push_back('\0');
  bool created = Configure(ODBC_ADD_DSN, kAccessDriver, attributes);
  if (!created && error) *error = LastInstallerError();
  return created;
}

bool SystemDataSourceExists(const std::string& name) { return SectionExists(ODBC_SYSTEM_DSN, name); }

bool UserDataSourceExists(const std::string& name) { return SectionExists(ODBC_USER_DSN, name); }

std::string LastInstallerError() {
  std::string text;
  for (WORD i = 1; i <= 8; ++i) {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    WORD length = 0;
    RETCODE rc = SQLInstallerError(i, &code, message, sizeof message, &length);
    if (rc == SQL_NO_DATA || !(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) break;
    if (!text.empty()) text += "\n";
    text += message;
  }
  return text;
}

}  // namespace talvoro::odbc
