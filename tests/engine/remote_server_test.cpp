// A SQL Server on another machine: the stand-in listens on 127.0.0.2 (another
// "machine" on loopback) and Kestrin1 reaches it through FreeTDS by the names
// users type: host,port and host\INSTANCE (through the SQL Server Browser).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "independent_readers.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";
constexpr char kRemote[] = "127.0.0.2";

// A stand-in on `address` holding the database Shop.2024. With an instance
// name it also answers the SQL Server Browser on UDP 1434 of that address,
// which only one process may do at a time: each address below has one test.
std::unique_ptr<SourceServer> ShopServer(const std::string& address, const std::string& instance = "") {
  StandinProcess::Options options;
  options.listen = address;
  options.instance = instance;
  auto server = std::make_unique<SourceServer>(options);
  // FreeTDS lets TDSPORT override the port (and the instance lookup) of every
  // data source: a named server must be reached by its own name only.
  unsetenv("TDSPORT");
  server->Execute("", {"CREATE DATABASE [Shop.2024]"});
  server->Execute("Shop.2024", {
      "CREATE TABLE Orders (OrderID int PRIMARY KEY, Customer nvarchar(40) NULL)",
      "INSERT INTO Orders VALUES (1, N'Alfreds'), (2, N'Bólido')",
  });
  return server;
}

class RemoteServerTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("KESTRIN1_PASSWORD", kSqlPassword, 1); }
  void TearDown() override { unsetenv("KESTRIN1_PASSWORD"); }

  CommandResult Convert(const std::string& server, const std::string& dest,
                        std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {kKestrin1, "--server", server, "--database", "Shop.2024",
                                     "--dest", dest, "--all", "--sql-login", "sa"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCommand(args);
  }

  TempDir dir_{"talvoro-remote"};
};

TEST_F(RemoteServerTest, ConvertsByHostAndPortAndByNamedInstance) {
  const auto shop = ShopServer(kRemote, "SALES");
  const std::string byPort = std::string(kRemote) + "," + std::to_string(shop->port());
  const std::string byInstance = std::string(kRemote) + "\\SALES";
  for (const std::string& server : {byPort, "tcp:" + byPort, byInstance}) {
    SCOPED_TRACE(server);
    const std::string dest = dir_.File("shop.mdb");
    std::filesystem::remove(dest);
    const CommandResult r = Convert(server, dest);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    MdbToolsRead tools = ReadWithMdbTools(dest);
    ASSERT_TRUE(tools.ok) << tools.problems;
    EXPECT_EQ(tools.tables, (std::vector<std::string>{"Orders"}));
    MdbReaderRead reader = ReadWithMdbReader(dest);
    ASSERT_TRUE(reader.ok) << reader.problems;
    const nlohmann::json* orders = FindReaderTable(reader.document, "Orders");
    ASSERT_NE(orders, nullptr);
    EXPECT_EQ((*orders)["rows"][1]["Customer"], "Bólido");
  }
}

TEST_F(RemoteServerTest, AServerThatDoesNotAnswerIsNamedWithinTheSourceTimeout) {
  // A second server, stopped: its port is closed.
  const auto named = ShopServer("127.0.0.4", "SALES");
  StandinProcess::Options options;
  options.listen = "127.0.0.3";
  auto stopped = std::make_unique<StandinProcess>(options);
  const std::string stoppedServer = "127.0.0.3," + std::to_string(stopped->port());
  stopped->Stop();

  const std::string cases[] = {
      "nosuchhost.invalid",          // a name that does not resolve
      stoppedServer,                 // a machine whose server is stopped
      "127.0.0.4\\NOSUCH",          // an instance the Browser does not know
  };
  for (const std::string& server : cases) {
    SCOPED_TRACE(server);
    const auto start = std::chrono::steady_clock::now();
    const CommandResult r = Convert(server, dir_.File("none.mdb"), {"--source-timeout", "20"});
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("the server " + server + " does not answer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Mismatch"), std::string::npos) << r.err;
    // Bounded by the time-out, not by FreeTDS's own retries (a hang would fail the suite).
    EXPECT_LE(seconds, 20 + 5);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("none.mdb")));
  }
}

TEST_F(RemoteServerTest, ARefusedLogonNamesTheLoginAndTheServer) {
  const auto remote = ShopServer("127.0.0.5");
  setenv("KESTRIN1_PASSWORD", "wrong", 1);
  const std::string server = "127.0.0.5," + std::to_string(remote->port());
  const CommandResult r = Convert(server, dir_.File("none.mdb"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("LOGIN Name or Password Mismatch "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Login failed for user 'sa' on " + server), std::string::npos) << r.err;
}

TEST_F(RemoteServerTest, AMistypedServerNameIsRefusedBeforeAnythingIsTried) {
  const CommandResult r = Convert("dbhost,70000", dir_.File("none.mdb"));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("The server name 'dbhost,70000' has no port from 1 to 65535"),
            std::string::npos) << r.err;
}

}  // namespace
}  // namespace talvoro::test
