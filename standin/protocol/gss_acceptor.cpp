#include "gss_acceptor.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

namespace {

// GSSAPI's text for a status code, all messages of the chain joined.
std::string StatusText(OM_uint32 code, int type) {
  std::string text;
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    gss_buffer_desc message = GSS_C_EMPTY_BUFFER;
    if (GSS_ERROR(gss_display_status(&minor, code, type, GSS_C_NO_OID, &context,
                                     &message))) {
      break;
    }
    if (!text.empty()) text += "; ";
    text.append(static_cast<const char*>(message.value), message.length);
    gss_release_buffer(&minor, &message);
  } while (context != 0);
  return text;
}

std::string ErrorText(const char* step, OM_uint32 major, OM_uint32 minor) {
  std::string text = std::string(step) + ": " + StatusText(major, GSS_C_GSS_CODE);
  if (minor != 0) text += " (" + StatusText(minor, GSS_C_MECH_CODE) + ")";
  return text;
}

// Owners of the GSSAPI handles so every return path releases them.
struct Credential {
  gss_cred_id_t handle = GSS_C_NO_CREDENTIAL;
  ~Credential() {
    OM_uint32 minor = 0;
    if (handle != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &handle);
  }
};
struct Context {
  gss_ctx_id_t handle = GSS_C_NO_CONTEXT;
  ~Context() {
    OM_uint32 minor = 0;
    if (handle != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &handle, GSS_C_NO_BUFFER);
  }
};
struct Name {
  gss_name_t handle = GSS_C_NO_NAME;
  ~Name() {
    OM_uint32 minor = 0;
    if (handle != GSS_C_NO_NAME) gss_release_name(&minor, &handle);
  }
};
struct Buffer {
  gss_buffer_desc value = GSS_C_EMPTY_BUFFER;
  ~Buffer() {
    OM_uint32 minor = 0;
    gss_release_buffer(&minor, &value);
  }
};

}  // namespace

GssAcceptor::GssAcceptor(const std::string& keytab) : keytab_(keytab) {}

GssAcceptor::Result GssAcceptor::Accept(const std::vector<uint8_t>& token) const {
  Result result;
  if (token.empty()) {
    result.error = "empty GSSAPI token";
    return result;
  }

  // The keytab goes through the credential store rather than KRB5_KTNAME so
  // that the process environment stays untouched and threads do not race.
  // No acceptor name: any service key in the keytab may match the ticket.
  const std::string keytab_name = "FILE:" + keytab_;
  gss_key_value_element_desc element = {"keytab", keytab_name.c_str()};
  gss_key_value_set_desc store = {1, &element};
  OM_uint32 minor = 0;
  Credential credential;
  OM_uint32 major = gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE,
                                          GSS_C_NO_OID_SET, GSS_C_ACCEPT, &store,
                                          &credential.handle, nullptr, nullptr);
  if (GSS_ERROR(major)) {
    result.error = ErrorText(("cannot use keytab " + keytab_).c_str(), major, minor);
    return result;
  }

  gss_buffer_desc input = {token.size(), const_cast<uint8_t*>(token.data())};
  Context context;
  Name client;
  Buffer output;
  major = gss_accept_sec_context(&minor, &context.handle, credential.handle, &input,
                                 GSS_C_NO_CHANNEL_BINDINGS, &client.handle, nullptr,
                                 &output.value, nullptr, nullptr, nullptr);
  if (GSS_ERROR(major)) {
    result.error = ErrorText("client token refused", major, minor);
    return result;
  }
  if (major & GSS_S_CONTINUE_NEEDED) {
    // Only SPNEGO-style negotiation needs more legs; FreeTDS speaks raw krb5.
    result.error = "client token needs a further exchange, which a TDS login cannot carry";
    return result;
  }

  Buffer display;
  major = gss_display_name(&minor, client.handle, &display.value, nullptr);
  if (GSS_ERROR(major)) {
    result.error = ErrorText("cannot name the client", major, minor);
    return result;
  }
  result.ok = true;
  result.principal.assign(static_cast<const char*>(display.value.value), display.value.length);
  const auto* reply = static_cast<const uint8_t*>(output.value.value);
  result.reply.assign(reply, reply + output.value.length);
  return result;
}
