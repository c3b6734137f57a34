// Bad input and rude clients must not take the server down, and several
// clients are served at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "odbc_client.h"
#include "raw_tds_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

// The server still logs a client on through FreeTDS.
void ExpectServerHealthy() {
  auto& server = SharedServer();
  ASSERT_TRUE(server.Running());
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(server.ConnectString("fixture")))) << DescribeDiagnostics(SQL_HANDLE_DBC, c.dbc());
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select * from Customers")));
  EXPECT_TRUE(s.Fetch());
}

struct MalformedCase {
  const char* name;
  std::vector<uint8_t> bytes;
  bool afterLogin;
};

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, DropsOnlyThatClient) {
  const MalformedCase& c = GetParam();
  {
    RawTdsClient client(SharedServer().port());
    if (c.afterLogin) {
      ASSERT_TRUE(HasLoginAck(client.Login("sa", "secret", "fixture")));
    }
    client.SendBytes(c.bytes);
    client.ServerClosed(700);  // an error reply or a closed socket are both fine
  }
  ExpectServerHealthy();
}

std::vector<uint8_t> Packet(uint8_t type, std::vector<uint8_t> payload, int lengthDelta = 0) {
  const size_t length = payload.size() + 8 + lengthDelta;
  std::vector<uint8_t> p(8 + payload.size());
  p[0] = type;
  p[1] = 0x01;
  p[2] = static_cast<uint8_t>(length >> 8);
  p[3] = static_cast<uint8_t>(length);
  p[6] = 1;
  std::copy(payload.begin(), payload.end(), p.begin() + 8);
  return p;
}

std::vector<uint8_t> TruncatedLogin() {
  auto login = Login7Payload("sa", "secret", "fixture", {});
  login[40] = 0xF0;  // user name offset far outside the packet
  login[41] = 0xFF;
  return Packet(0x10, login);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, Malformed,
    testing::Values(MalformedCase{"Garbage", {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}, false},
                    MalformedCase{"LengthBelowHeader", {0x12, 0x01, 0x00, 0x03, 0, 0, 0, 0}, false},
                    MalformedCase{"LengthBeyondData", Packet(0x12, {0x00, 0x01}, 4000), false},
                    MalformedCase{"LoginFieldOutsidePacket", TruncatedLogin(), false},
                    MalformedCase{"ShortLogin", Packet(0x10, {0x10, 0, 0, 0}), false},
                    MalformedCase{"BatchBeforeLogin", Packet(0x01, {0x41, 0x00}), false},
                    MalformedCase{"BatchWithoutHeaders", Packet(0x01, {0x41, 0x00}), true},
                    MalformedCase{"OddLengthBatch", Packet(0x01, {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x41}), true},
                    MalformedCase{"TruncatedRpc", Packet(0x03, {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x0A, 0x00, 0x73}), true},
                    MalformedCase{"RpcBadParameterType", Packet(0x03, {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x99}), true},
                    MalformedCase{"RpcShortDateTime2", Packet(0x03, {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A, 0x07, 0x01, 0x00}), true},
                    MalformedCase{"RpcShortGuid", Packet(0x03, {0x16, 0, 0, 0, 0x12, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x10, 0x02, 0xAB, 0xCD}), true},
                    MalformedCase{"UnknownPacketType", Packet(0x55, {1, 2, 3}), true}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

// A table of 5000 rows of about 300 bytes: far more than fits in the socket buffers.
void EnsureBigTable() {
  static bool created = false;
  if (created) return;
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  s.Run("CREATE TABLE Big (id int, filler nvarchar(200))");
  std::string insert = "INSERT INTO Big VALUES ";
  for (int i = 0; i < 1000; ++i)
    insert += (i ? "," : "") + std::string("(") + std::to_string(i) + ", N'" + std::string(150, 'v') + "')";
  for (int k = 0; k < 5; ++k) s.Run(insert);
  created = true;
}

TEST(Robustness, ClientVanishingMidResult) {
  EnsureBigTable();
  for (int round = 0; round < 3; ++round) {
    RawTdsClient client(SharedServer().port());
    ASSERT_TRUE(HasLoginAck(client.Login("sa", "secret", "fixture")));
    client.SendBatch("Select * from Big");
    EXPECT_GT(client.ReadSome(4096), 0u);
    client.Close();  // gone with most of the result unread
  }
  ExpectServerHealthy();
}

TEST(Robustness, CancelledResultLeavesConnectionUsable) {
  EnsureBigTable();
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select * from Big"))) << s.Diagnostics();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.Fetch());
    s.Close();  // FreeTDS cancels the rest with an attention packet
    ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select * from Customers order by CustomerID"))) << s.Diagnostics();
    ASSERT_TRUE(s.Fetch());
    EXPECT_EQ(s.Text(2), "Ann");
    s.Close();
  }
}

TEST(Robustness, SeveralClientsAtOnce) {
  auto& server = SharedServer();
  {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(server.ConnectString("fixture"))));
    OdbcStatement(c).Run("CREATE TABLE Concurrent (client int, n int)");
  }
  constexpr int kClients = 6;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&, t] {
      try {
        OdbcConnection c;
        if (!SQL_SUCCEEDED(c.Connect(server.ConnectString("fixture")))) { ++failures; return; }
        OdbcStatement s(c);
        for (int i = 0; i < 20; ++i) {
          s.Run("INSERT INTO Concurrent VALUES (" + std::to_string(t) + ", " + std::to_string(i) + ")");
          if (!SQL_SUCCEEDED(s.Execute("Select * from Customers"))) { ++failures; return; }
          int rows = 0;
          while (s.Fetch()) ++rows;
          if (rows < 2) ++failures;
        }
      } catch (const std::exception&) {
        ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(server.ConnectString("fixture"))));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("SELECT COUNT(*) FROM Concurrent")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), std::to_string(kClients * 20));
}

}  // namespace
}  // namespace standin_test
