// The stand-in's Kerberos check against tickets from a real (private) KDC, with
// the client side done by the same GSSAPI calls FreeTDS makes.
#include "gss_acceptor.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kerberos_realm.h"

namespace talvoro::test {
namespace {

constexpr int kServicePort = 14333;

// The client half: an AP-REQ for MSSQLSvc/127.0.0.1:<port>, then the server's reply.
class KerberosClient {
 public:
  explicit KerberosClient(int port) {
    const std::string service = "MSSQLSvc/127.0.0.1:" + std::to_string(port);
    gss_buffer_desc text = {service.size(), const_cast<char*>(service.data())};
    OM_uint32 minor = 0;
    EXPECT_FALSE(GSS_ERROR(gss_import_name(&minor, &text, GSS_KRB5_NT_PRINCIPAL_NAME, &target_)));
  }
  ~KerberosClient() {
    OM_uint32 minor = 0;
    if (context_ != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &context_, GSS_C_NO_BUFFER);
    gss_release_name(&minor, &target_);
  }

  // Returns the next token and the status of the step.
  OM_uint32 Step(const std::vector<uint8_t>& input, std::vector<uint8_t>& output) {
    gss_buffer_desc in = {input.size(), const_cast<uint8_t*>(input.data())};
    gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
    OM_uint32 minor = 0;
    const OM_uint32 major = gss_init_sec_context(
        &minor, GSS_C_NO_CREDENTIAL, &context_, target_, const_cast<gss_OID>(gss_mech_krb5),
        GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_INTEG_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
        input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, &out, nullptr, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(out.value);
    output.assign(bytes, bytes + out.length);
    gss_release_buffer(&minor, &out);
    return major;
  }

 private:
  gss_name_t target_ = GSS_C_NO_NAME;
  gss_ctx_id_t context_ = GSS_C_NO_CONTEXT;
};

class GssAcceptorTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!KerberosRealm::Available()) return;
    realm_ = std::make_unique<KerberosRealm>(kServicePort);
    realm_->UseForClients();
  }
  static void TearDownTestSuite() { realm_.reset(); }
  void SetUp() override {
    if (!realm_) GTEST_SKIP() << "MIT Kerberos KDC not installed";
  }

  static std::vector<uint8_t> ClientToken(KerberosClient& client) {
    std::vector<uint8_t> token;
    EXPECT_EQ(client.Step({}, token), static_cast<OM_uint32>(GSS_S_CONTINUE_NEEDED));
    EXPECT_FALSE(token.empty());
    return token;
  }

  static std::unique_ptr<KerberosRealm> realm_;
};
std::unique_ptr<KerberosRealm> GssAcceptorTest::realm_;

TEST_F(GssAcceptorTest, AcceptsATicketAndAnswersWithTheTokenThatCompletesTheClient) {
  KerberosClient client(kServicePort);
  const GssAcceptor acceptor(realm_->serviceKeytab());
  const GssAcceptor::Result result = acceptor.Accept(ClientToken(client));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.principal, realm_->userPrincipal());
  ASSERT_FALSE(result.reply.empty()) << "mutual authentication needs the server's reply";

  std::vector<uint8_t> nothing;
  EXPECT_EQ(client.Step(result.reply, nothing), static_cast<OM_uint32>(GSS_S_COMPLETE));
  EXPECT_TRUE(nothing.empty());
}

TEST_F(GssAcceptorTest, ATokenIsAcceptedOnlyOnce) {
  KerberosClient client(kServicePort);
  const GssAcceptor acceptor(realm_->serviceKeytab());
  const std::vector<uint8_t> token = ClientToken(client);
  ASSERT_TRUE(acceptor.Accept(token).ok);
  const GssAcceptor::Result replay = acceptor.Accept(token);
  EXPECT_FALSE(replay.ok);
  EXPECT_FALSE(replay.error.empty());
}

TEST_F(GssAcceptorTest, KeytabOfAnotherServiceRefusesTheTicket) {
  KerberosRealm other(kServicePort);  // same service name, different key
  KerberosClient client(kServicePort);
  const GssAcceptor::Result result = GssAcceptor(other.serviceKeytab()).Accept(ClientToken(client));
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.principal.empty());
  EXPECT_FALSE(result.error.empty());
}

TEST_F(GssAcceptorTest, BadInputGivesAnErrorNotACrash) {
  KerberosClient client(kServicePort);
  const std::vector<uint8_t> token = ClientToken(client);
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"garbage", {0x60, 0x82, 0xff, 0xff, 0x06, 0x09, 0x2a}},
      {"truncated", std::vector<uint8_t>(token.begin(), token.begin() + token.size() / 2)},
  };
  const GssAcceptor acceptor(realm_->serviceKeytab());
  for (const auto& [name, bytes] : cases) {
    const GssAcceptor::Result result = acceptor.Accept(bytes);
    EXPECT_FALSE(result.ok) << name;
    EXPECT_FALSE(result.error.empty()) << name;
  }
  const GssAcceptor::Result missing = GssAcceptor("/nonexistent/service.keytab").Accept(token);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("/nonexistent/service.keytab"), std::string::npos) << missing.error;
}

}  // namespace
}  // namespace talvoro::test
