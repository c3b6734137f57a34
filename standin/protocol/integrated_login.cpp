#include "protocol/integrated_login.h"

#ifdef TALVORO_HAVE_GSS_ACCEPTOR
#include "protocol/gss_acceptor.h"
#endif

namespace standin {

struct IntegratedLogin::Impl {
#ifdef TALVORO_HAVE_GSS_ACCEPTOR
  explicit Impl(const std::string& keytab) : acceptor(keytab) {}
  GssAcceptor acceptor;
#else
  explicit Impl(const std::string&) {}
#endif
};

IntegratedLogin::IntegratedLogin(const std::string& keytab) {
  if (!keytab.empty()) impl_ = std::make_unique<Impl>(keytab);
}

IntegratedLogin::~IntegratedLogin() = default;

bool IntegratedLogin::enabled() const { return impl_ != nullptr; }

IntegratedLogin::Outcome IntegratedLogin::Verify(const std::vector<uint8_t>& token) const {
  Outcome out;
  if (!impl_) {
    out.error = "integrated logons are not enabled (no --keytab)";
    return out;
  }
#ifdef TALVORO_HAVE_GSS_ACCEPTOR
  const GssAcceptor::Result r = impl_->acceptor.Accept(token);
  out.ok = r.ok;
  out.principal = r.principal;
  out.reply = r.reply;
  out.error = r.error;
#else
  (void)token;
  out.error = "this sqlstandin was built without GSSAPI support";
#endif
  return out;
}

}  // namespace standin
