#include "private_freetds_conf.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "ca_file.h"

namespace talvoro::odbc {
namespace {

namespace fs = std::filesystem;

// FreeTDS reads a freetds.conf line into 256 bytes, ends a value at ';' or '#'
// and folds blanks: the paths written must be short and plain.
constexpr std::size_t kLongestPath = 200;

bool PlainPath(const std::string& path) {
  return path.size() <= kLongestPath && path.find_first_of(";# \t\r\n") == std::string::npos;
}

// The process's private folder, made once; removed with the process.
class PrivateFolder {
 public:
  const std::string& path(std::string* error) {
    std::call_once(made_, [this] { Make(); });
    if (path_.empty() && error) *error = error_;
    return path_;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }

 private:
  void Make() {
    for (const char* base : {static_cast<const char*>(getenv("TMPDIR")), "/tmp"}) {
      if (!base || !*base) continue;
      std::string pattern = std::string(base) + "/kestrin1-freetds-XXXXXX";
      if (!PlainPath(pattern)) continue;
      if (mkdtemp(pattern.data())) {  // mode 0700
        path_ = pattern;
        return;
      }
      error_ = "cannot make a private folder in " + std::string(base) + ": " + std::strerror(errno);
    }
    if (error_.empty()) error_ = "no folder for the converter's freetds.conf";
  }

  std::once_flag made_;
  std::string path_;
  std::string error_;
};

PrivateFolder g_folder;
std::once_flag g_environment;

// Written whole under another name, then renamed: FreeTDS never reads half a file.
bool WriteFile(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      if (error) *error = "cannot write " + temporary;
      return false;
    }
  }
  chmod(temporary.c_str(), 0600);
  std::error_code failed;
  fs::rename(temporary, path, failed);
  if (failed && error) *error = "cannot write " + path + ": " + failed.message();
  return !failed;
}

}  // namespace

std::string ConnectHost(const ServerName& name) {
  return name.thisMachine ? std::string(kThisMachineAddress) : name.host;
}

std::string FreeTdsConfSection(std::string_view section, const ServerName& name,
                               bool requireEncryption, std::string_view caFileValue) {
  const FreeTdsServer address = ToFreeTdsServer(name);
  std::string text = "[" + std::string(section) + "]\n";
  text += "\thost = " + ConnectHost(name) + "\n";
  // A given port wins over an instance name, as ToFreeTdsServer decides.
  if (!address.port.empty()) {
    text += "\tport = " + address.port + "\n";
  } else {
    text += "\tinstance = " + name.instance + "\n";
  }
  text += "\ttds version = 7.4\n";
  text += std::string("\tencryption = ") + (requireEncryption ? "require" : "request") + "\n";
  text += "\tca file = " + std::string(caFileValue) + "\n";
  text += "\tcheck certificate hostname = yes\n";
  return text;
}

std::string InstallSourceSection(const ServerName& name, const SourceEncryption& encryption,
                                 std::string* error) {
  const std::string& folder = g_folder.path(error);
  if (folder.empty()) return std::string();
  std::string caFileValue = "system";
  if (!encryption.caFile.empty()) {
    const std::string problem = CaFileProblem(encryption.caFile);
    if (!problem.empty()) {
      if (error) *error = problem;
      return std::string();
    }
    // A copy under a plain name: the user's path may hold blanks, ';' or '#'.
    caFileValue = folder + "/ca.pem";
    std::error_code failed;
    fs::copy_file(encryption.caFile, caFileValue, fs::copy_options::overwrite_existing, failed);
    if (failed) {
      if (error) *error = "cannot copy the CA file " + encryption.caFile + ": " + failed.message();
      return std::string();
    }
  }
  const std::string conf = folder + "/freetds.conf";
  if (!WriteFile(conf, FreeTdsConfSection(kSourceSection, name, encryption.required, caFileValue),
                 error)) {
    return std::string();
  }
  // Set once, before the first connection that needs it; never changed after,
  // so no FreeTDS thread reads the environment while it changes.
  std::call_once(g_environment, [&conf] { setenv("FREETDSCONF", conf.c_str(), 1); });
  return kSourceSection;
}

}  // namespace talvoro::odbc
