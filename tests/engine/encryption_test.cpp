// TDS encryption between Kestrin1 (FreeTDS) and the stand-in, seen by a
// loopback recorder that sits between them and keeps every byte: what an
// eavesdropper on the network would read.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "independent_readers.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";
const std::string kPassword = "Pass-Word-77";
const std::string kRowValue = "Zanzibar-Ledger";

// A TCP proxy on 127.0.0.1 that forwards to one server and records both directions.
class LoopbackRecorder {
 public:
  LoopbackRecorder(const std::string& address, int port) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0) {
      throw std::runtime_error("recorder cannot listen");
    }
    socklen_t length = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    target_.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &target_.sin_addr);
    target_.sin_port = htons(static_cast<uint16_t>(port));
    thread_ = std::thread([this] { Accept(); });
  }
  ~LoopbackRecorder() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  std::string bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }

 private:
  void Accept() {
    std::vector<std::thread> pumps;
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) != 1) continue;
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (connect(server, reinterpret_cast<sockaddr*>(&target_), sizeof target_) != 0) {
        close(client);
        close(server);
        continue;
      }
      pumps.emplace_back([this, client, server] { Pump(client, server); });
    }
    for (auto& pump : pumps) pump.join();
  }
  // Both directions until either side closes.
  void Pump(int client, int server) {
    char buffer[16384];
    for (bool open = true; open && !stop_;) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(p, 2, 50) <= 0) continue;
      for (int i = 0; i < 2 && open; ++i) {
        if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = recv(p[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
          open = false;
          break;
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          bytes_.append(buffer, static_cast<size_t>(n));
        }
        send(p[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
      }
    }
    close(client);
    close(server);
  }

  int listener_ = -1;
  int port_ = 0;
  sockaddr_in target_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string bytes_;
};

// Text as TDS carries it: UTF-16LE.
std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

// The password as LOGIN7 carries it: UTF-16LE, each byte's nibbles swapped and
// XORed with 0xA5 (an obfuscation, not encryption).
std::string ObfuscatedPassword(const std::string& ascii) {
  std::string out = Utf16(ascii);
  for (char& c : out) {
    const auto b = static_cast<uint8_t>(c);
    c = static_cast<char>(static_cast<uint8_t>((b << 4) | (b >> 4)) ^ 0xA5);
  }
  return out;
}

class EncryptionTest : public ::testing::Test {
 protected:
  // A stand-in on 127.0.0.2 with the login and one row.
  static std::unique_ptr<SourceServer> Server(std::vector<std::string> extraArgs) {
    StandinProcess::Options options;
    options.listen = "127.0.0.2";
    options.logins = {{"sa", kSqlPassword}, {"clerk", kPassword}};
    options.extraArgs = std::move(extraArgs);
    auto server = std::make_unique<SourceServer>(options);
    unsetenv("TDSPORT");  // the recorder's port, not TDSPORT's, must be used
    server->Execute("", {"CREATE DATABASE Ledger"});
    server->Execute("Ledger", {"CREATE TABLE Entries (ID int PRIMARY KEY, Note nvarchar(40))",
                               "INSERT INTO Entries VALUES (1, N'" + kRowValue + "')"});
    return server;
  }

  CommandResult Convert(LoopbackRecorder& recorder, bool encrypt) {
    setenv("KESTRIN1_PASSWORD", kPassword.c_str(), 1);
    std::vector<std::string> args = {kKestrin1, "--server",
                                     "127.0.0.1," + std::to_string(recorder.port()),
                                     "--database", "Ledger", "--dest", dest_, "--all",
                                     "--overwrite", "--sql-login", "clerk", "--source-timeout", "10"};
    // The stand-in's certificate is self-signed: what it shows is tested in certificate_test.cpp.
    if (encrypt) args.insert(args.end(), {"--encrypt", "--trust-server-certificate"});
    CommandResult r = RunCommand(args);
    unsetenv("KESTRIN1_PASSWORD");
    return r;
  }

  void ExpectConverted(const CommandResult& r) {
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const MdbReaderRead reader = ReadWithMdbReader(dest_);
    ASSERT_TRUE(reader.ok) << reader.problems;
    const nlohmann::json* entries = FindReaderTable(reader.document, "Entries");
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ((*entries)["rows"][0]["Note"], kRowValue);
  }

  static bool Holds(const std::string& bytes, const std::string& needle) {
    return bytes.find(needle) != std::string::npos;
  }

  TempDir dir_{"talvoro-encryption"};
  std::string dest_ = dir_.File("ledger.mdb");
};

TEST_F(EncryptionTest, WhatTheNetworkShows) {
  struct Case {
    const char* what;
    std::vector<std::string> serverArgs;
    bool encrypt;
    bool passwordVisible;
    bool rowVisible;
  };
  const Case cases[] = {
      // A server that cannot encrypt: everything in the clear (the test can fail).
      {"server cannot encrypt", {"--no-encryption"}, false, true, true},
      // As SQL Server's default: the logon is encrypted, the rows are not.
      {"logon encrypted by default", {}, false, false, true},
      {"--encrypt: everything", {}, true, false, false},
      {"the server forces it", {"--force-encryption"}, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto server = Server(c.serverArgs);
    LoopbackRecorder recorder(server->process().address(), server->port());
    ExpectConverted(Convert(recorder, c.encrypt));
    const std::string bytes = recorder.bytes();
    EXPECT_EQ(Holds(bytes, ObfuscatedPassword(kPassword)), c.passwordVisible);
    EXPECT_EQ(Holds(bytes, Utf16(kRowValue)), c.rowVisible);
  }
}

TEST_F(EncryptionTest, RequiredEncryptionFromAServerThatCannotFailsClearly) {
  auto server = Server({"--no-encryption"});
  LoopbackRecorder recorder(server->process().address(), server->port());
  const CommandResult r = Convert(recorder, true);
  EXPECT_EQ(r.exitCode, 2) << r.out;
  const std::string name = "127.0.0.1," + std::to_string(recorder.port());
  EXPECT_NE(r.err.find("the server " + name +
                       " cannot encrypt the connection, and encryption is required (--encrypt)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Mismatch"), std::string::npos) << r.err;
  EXPECT_FALSE(Holds(recorder.bytes(), ObfuscatedPassword(kPassword)));
  EXPECT_FALSE(std::filesystem::exists(dest_));
}

}  // namespace
}  // namespace talvoro::test
