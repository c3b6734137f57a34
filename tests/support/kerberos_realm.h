// A private Kerberos realm for one test: a KDC on a free loopback port, the user
// "alice" logged on (ticket in a private credential cache) and service keys for
// MSSQLSvc/127.0.0.1:<port> in a keytab that the stand-in's --keytab reads.
// Runs scripts/kerberos-realm.sh; the realm is stopped and deleted on destruction.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace talvoro::test {

class KerberosRealm {
 public:
  // Throws std::runtime_error with the script's message when the realm cannot start.
  // `servicePort` 0 adds no service key yet (see AddService).
  explicit KerberosRealm(int servicePort = 0);
  ~KerberosRealm();
  KerberosRealm(const KerberosRealm&) = delete;
  KerberosRealm& operator=(const KerberosRealm&) = delete;

  // True when the MIT KDC programs are installed.
  static bool Available();

  // Adds MSSQLSvc/127.0.0.1:<port> to the service keytab. A running stand-in
  // sees it at its next Kerberos logon (the keytab is read per logon).
  void AddService(int port);

  // Points this process's Kerberos library (and programs it starts) at the realm
  // and its ticket: KRB5_CONFIG and KRB5CCNAME. The previous values come back
  // when the realm is destroyed.
  void UseForClients();

  // Throws the ticket away (kdestroy), as for a user who is not logged on.
  void DropTicket();

  const std::string& dir() const { return dir_->path(); }
  std::string serviceKeytab() const { return dir_->File("service.keytab"); }
  const std::string& userPrincipal() const { return user_; }  // "alice@TEST.LOCAL"
  const std::string& krb5Config() const { return krb5Config_; }
  const std::string& credentialCache() const { return ccache_; }

 private:
  std::string Script(const std::vector<std::string>& args) const;

  std::unique_ptr<TempDir> dir_;
  std::string user_, krb5Config_, ccache_;
  bool exported_ = false;
  std::string savedConfig_, savedCcache_;
  bool hadConfig_ = false, hadCcache_ = false;
};

}  // namespace talvoro::test
