// The stand-in through a second, independent client: jTDS, a pure-Java TDS
// implementation (Debian's libjtds-java), speaking TDS 7.1. The Java program
// beside this file creates a table of every type, fills it with literals and
// parameters, rolls a transaction back and prints what it reads; a second one
// tries logins, databases and locks.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "odbc_client.h"
#include "run_command.h"
#include "shared_server.h"

namespace standin_test {
namespace {

constexpr char kJtdsJar[] = "/usr/share/java/jtds.jar";
constexpr char kProgram[] = TALVORO_SOURCE_DIR "/tests/standin/clients/JtdsRoundTrip.java";
constexpr char kSessionsProgram[] = TALVORO_SOURCE_DIR "/tests/standin/clients/JtdsSessions.java";

TEST(SecondClient, JtdsReadsEveryTypeBack) {
  const auto result = talvoro::test::RunCommand(
      {"java", "-cp", kJtdsJar, kProgram, std::to_string(SharedServer().port()), "fixture"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  std::set<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  const char* const expected[] = {
      "product=Microsoft SQL Server", "1.i=-123456", "1.bi=9007199254740993", "1.b=true", "1.d=12345678.91",
      "1.m=-922337203685477.5808", "1.sm=214748.3647", "1.f=3.5", "1.r=1.5", "1.dt=2024-02-29 13:45:30.123",
      "1.da=2024-02-29", "1.tm=13:45:30.123", "1.dt2=2024-02-29 13:45:30.1234567",
      "1.dto=2024-02-29 13:45:30.1234567 +05:30", "1.c=abc  ", "1.vc=O'Brien", "1.nc=été  ", "1.nvc=Grüße €",
      "1.vcm=max text", "1.nvcm=max ntext €", "1.t=long text", "1.nt=ntext €", "1.bn=0x00ABCD", "1.vb=0x0102FE",
      "1.vbm=0xCAFE", "1.img=0x89504E47", "1.g=6F9619FF-8B86-D011-B42D-00C04FC964FF", "1.v=42", "1.x=<a>é</a>",
      "1.h=0x5B40", "1.he=שלום", "1.zh=中文", "1.ru=Привет", "1.empty=0x", "2.empty=NULL", "2.v=NULL", "2.dto=NULL",
      "3.i=77", "3.d=-0.05", "3.dt=2001-02-03 04:05:06.007", "3.nvc=parameter ü", "3.vb=0x010203",
      "3.he=עברית", "3.zh=汉字", "3.ru=Москва", "3.v=variant text", "max_precision=38 rows=3",
      "call.row=tag/21", "call.status=7 call.out=42",
      "error=241 Conversion failed when converting date and/or time from character string."};
  for (const char* line : expected) EXPECT_TRUE(lines.count(line)) << "missing: " << line << "\n" << result.out;
}

// Logins, databases and locks as jTDS sees them: each refusal arrives as an
// SQLException carrying SQL Server's error number.
TEST(SecondClient, JtdsGetsSqlServersErrorsForLoginsDatabasesAndLocks) {
  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  for (const char* sql : {"CREATE TABLE JtdsLocked (id int PRIMARY KEY, name varchar(10))",
                          "INSERT INTO JtdsLocked VALUES (1, 'free')",
                          "CREATE LOGIN jt_reader WITH PASSWORD = 'Reader-1'", "CREATE USER jt_reader",
                          "ALTER ROLE db_datareader ADD MEMBER jt_reader", "CREATE LOGIN jt_off WITH PASSWORD = 'Off-1'",
                          "CREATE USER jt_off", "ALTER LOGIN jt_off DISABLE", "CREATE DATABASE model_of_nothing"})
    OdbcStatement(sa).Run(sql);
  const auto result = talvoro::test::RunCommand(
      {"java", "-cp", kJtdsJar, kSessionsProgram, std::to_string(SharedServer().port()), "fixture"});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(result.out,
            "wrong_password=18456\n"
            "disabled=18470\n"
            "reader_select=ok\n"
            "reader_insert=229\n"
            "use_missing=911\n"
            "use_without_user=916\n"
            "writer_update=ok\n"
            "lock_timeout=1222\n"
            "waited_long_enough=true\n"
            "after_rollback=ok\n");
}

}  // namespace
}  // namespace standin_test
