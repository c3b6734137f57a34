#include "kerberos_realm.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "run_command.h"

namespace talvoro::test {
namespace {

const char* const kScript = TALVORO_SOURCE_DIR "/scripts/kerberos-realm.sh";

std::string ValueOf(const std::string& assignments, const std::string& name) {
  std::istringstream lines(assignments);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
  }
  return {};
}

void Restore(const char* name, bool had, const std::string& value) {
  if (had) {
    setenv(name, value.c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

bool KerberosRealm::Available() {
  for (const char* program : {"/usr/sbin/krb5kdc", "/usr/sbin/kdb5_util", "/usr/sbin/kadmin.local",
                              "/usr/bin/kinit"}) {
    if (access(program, X_OK) != 0) return false;
  }
  return true;
}

KerberosRealm::KerberosRealm(int servicePort) : dir_(std::make_unique<TempDir>("talvoro-krb5")) {
  std::vector<std::string> args = {"start", dir_->path()};
  if (servicePort != 0) {
    args.push_back("--service-port");
    args.push_back(std::to_string(servicePort));
  }
  const std::string env = Script(args);
  user_ = ValueOf(env, "TALVORO_KRB5_USER");
  krb5Config_ = ValueOf(env, "KRB5_CONFIG");
  ccache_ = ValueOf(env, "KRB5CCNAME");
}

KerberosRealm::~KerberosRealm() {
  if (exported_) {
    Restore("KRB5_CONFIG", hadConfig_, savedConfig_);
    Restore("KRB5CCNAME", hadCcache_, savedCcache_);
  }
  try {
    Script({"stop", dir_->path()});
  } catch (const std::exception&) {
    // The directory goes anyway; a KDC that would not stop is not worth a crash here.
  }
}

std::string KerberosRealm::Script(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"bash", kScript};
  argv.insert(argv.end(), args.begin(), args.end());
  const CommandResult result = RunCommand(argv);
  if (result.exitCode != 0) {
    throw std::runtime_error("kerberos-realm.sh " + args.front() + " failed: " + result.err);
  }
  return result.out;
}

void KerberosRealm::AddService(int port) { Script({"add-service", dir_->path(), std::to_string(port)}); }

void KerberosRealm::UseForClients() {
  if (!exported_) {
    if (const char* value = std::getenv("KRB5_CONFIG")) hadConfig_ = true, savedConfig_ = value;
    if (const char* value = std::getenv("KRB5CCNAME")) hadCcache_ = true, savedCcache_ = value;
    exported_ = true;
  }
  setenv("KRB5_CONFIG", krb5Config_.c_str(), 1);
  setenv("KRB5CCNAME", ccache_.c_str(), 1);
}

void KerberosRealm::DropTicket() {
  const CommandResult result = RunCommand(
      {"env", "KRB5_CONFIG=" + krb5Config_, "KRB5CCNAME=" + ccache_, "kdestroy"});
  if (result.exitCode != 0) throw std::runtime_error("kdestroy failed: " + result.err);
}

}  // namespace talvoro::test
