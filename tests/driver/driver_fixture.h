// A fresh database file registered as a data source of its own, with an open
// connection: what most driver tests start from.
#pragma once

#include <gtest/gtest.h>
#include <odbcinst.h>

#include <memory>
#include <string>

#include "independent_readers.h"
#include "odbc_session.h"
#include "temp_dir.h"

namespace talvoro::test {

class DriverTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("test db.mdb");
    ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"CREATE_DB=\"" + path_ + "\""}).ok);
    // A data source name per test: the driver manager caches lookups by name.
    dsn_ = "dsn_" + std::to_string(++counter_) + "_" + std::to_string(::getpid());
    ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"DSN=" + dsn_ + " ", "DESCRIPTION= ", "DBQ=" + path_}).ok);
    OdbcOutcome failure;
    session_ = OdbcSession::Connect("DSN=" + dsn_, &failure);
    ASSERT_TRUE(session_) << failure.message;
  }

  // Every file a test wrote must satisfy both independent readers.
  void TearDown() override {
    session_.reset();
    if (!path_.empty() && !HasFatalFailure()) ExpectValidFile();
  }

  OdbcSession& db() { return *session_; }
  // Closes the connection so that the file on disk is complete.
  void Disconnect() { session_.reset(); }

  // Both independent readers accept the file; returns mdb-reader's document.
  nlohmann::json ExpectValidFile() {
    MdbToolsRead tools = ReadWithMdbTools(path_);
    EXPECT_TRUE(tools.ok) << tools.problems;
    MdbReaderRead reader = ReadWithMdbReader(path_);
    EXPECT_TRUE(reader.ok) << reader.problems;
    return reader.document;
  }

  TempDir dir_;
  std::string path_;
  std::string dsn_;
  std::unique_ptr<OdbcSession> session_;
  static inline int counter_ = 0;
};

}  // namespace talvoro::test
