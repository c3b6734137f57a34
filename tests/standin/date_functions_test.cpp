// The date and time built-ins through FreeTDS as SQL Server computes them:
// every date part for DATEADD, DATEDIFF and DATEPART at month ends, leap days
// and year boundaries, DATENAME's us_english names, EOMONTH, the *FROMPARTS
// constructors, ISDATE, the overflow errors, and the functions in a DEFAULT, a
// computed column, a WHERE clause and an enforced CHECK constraint.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

using Errors = std::vector<std::string>;

class DateFunctions : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }
  Errors RunBatch(const std::string& sql) { return BatchErrors(connection_, sql); }
  std::string Rows(const std::string& sql) { return QueryRows(connection_, sql); }
  OdbcConnection connection_;
};

struct ValueCase {
  const char* expression;
  const char* value;
};

class Values : public DateFunctions, public testing::WithParamInterface<ValueCase> {};

TEST_P(Values, AsSqlServerComputesThem) {
  EXPECT_EQ(Rows(std::string("SELECT ") + GetParam().expression), GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    DateAdd, Values,
    testing::Values(
        // A day that the target month lacks becomes its last day; the type stays.
        ValueCase{"DATEADD(year, 1, CAST('2020-02-29 13:45:30.123' AS datetime))", "2021-02-28 13:45:30.123"},
        ValueCase{"DATEADD(yy, -4, CAST('2020-02-29 13:45:30.123' AS datetime))", "2016-02-29 13:45:30.123"},
        ValueCase{"DATEADD(quarter, 1, CAST('2021-11-30' AS date))", "2022-02-28"},
        ValueCase{"DATEADD(month, 1, CAST('2006-08-31' AS datetime))", "2006-09-30 00:00:00.000"},
        ValueCase{"DATEADD(m, -1, CAST('2021-03-31' AS date))", "2021-02-28"},
        ValueCase{"DATEADD(dayofyear, 1, CAST('2020-12-31' AS date))", "2021-01-01"},
        ValueCase{"DATEADD(day, -1, CAST('2021-03-01' AS date))", "2021-02-28"},
        ValueCase{"DATEADD(dd, 1, CAST('2020-02-28' AS date))", "2020-02-29"},
        ValueCase{"DATEADD(day, 1.9, CAST('2021-01-01' AS date))", "2021-01-02"},  // the fraction is cut
        ValueCase{"DATEADD(week, 2, CAST('2020-12-25' AS date))", "2021-01-08"},
        ValueCase{"DATEADD(weekday, 3, CAST('2020-12-30' AS date))", "2021-01-02"},
        ValueCase{"DATEADD(hour, 11, CAST('2020-12-31 13:00:00' AS datetime2(0)))", "2021-01-01 00:00:00"},
        ValueCase{"DATEADD(minute, -1, CAST('2021-01-01 00:00:00.5' AS datetime2(1)))", "2020-12-31 23:59:00.5"},
        ValueCase{"DATEADD(second, 30, CAST('2021-01-01 23:59:45.5' AS datetime2(1)))", "2021-01-02 00:00:15.5"},
        // datetime keeps its 1/300 s steps.
        ValueCase{"DATEADD(millisecond, 1, CAST('2021-01-01 00:00:00' AS datetime))", "2021-01-01 00:00:00.000"},
        ValueCase{"DATEADD(ms, 2, CAST('2021-01-01 00:00:00' AS datetime))", "2021-01-01 00:00:00.003"},
        ValueCase{"DATEADD(microsecond, 1, CAST('2021-01-01' AS datetime2))", "2021-01-01 00:00:00.0000010"},
        ValueCase{"DATEADD(ns, 100, CAST('2021-01-01' AS datetime2))", "2021-01-01 00:00:00.0000001"},
        ValueCase{"DATEADD(mi, 10, CAST('2021-01-01 10:00' AS smalldatetime))", "2021-01-01 10:10:00"},
        ValueCase{"DATEADD(hour, 1, CAST('23:30:00' AS time(0)))", "00:30:00"},  // time wraps
        ValueCase{"DATEADD(day, NULL, CAST('2021-01-01' AS date))", "NULL"},
        // A string literal is read as datetime, and so is the result.
        ValueCase{"DATEADD(day, 30, '2021-01-15')", "2021-02-14 00:00:00.000"},
        ValueCase{"DATEADD(second, 30, '2020-12-31 00:00:00')", "2020-12-31 00:00:30.000"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return "Case" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    DateDiff, Values,
    testing::Values(
        // Boundaries crossed, not whole periods elapsed.
        ValueCase{"DATEDIFF(year, '2020-12-31', '2021-01-01')", "1"},
        ValueCase{"DATEDIFF(yyyy, '2021-01-01', '2021-12-31 23:59:59')", "0"},
        ValueCase{"DATEDIFF(quarter, '2020-03-31', '2020-04-01')", "1"},
        ValueCase{"DATEDIFF(month, '2021-01-31', '2021-02-01')", "1"},
        ValueCase{"DATEDIFF(mm, '2021-02-01', '2021-01-31')", "-1"},
        ValueCase{"DATEDIFF(dayofyear, '2020-02-28', '2020-03-01')", "2"},
        ValueCase{"DATEDIFF(day, '2020-12-31 23:59:59', '2021-01-01 00:00:00')", "1"},
        ValueCase{"DATEDIFF(week, '2021-01-02', '2021-01-03')", "1"},  // Saturday to Sunday
        ValueCase{"DATEDIFF(wk, '2021-01-03', '2021-01-09')", "0"},    // Sunday to Saturday
        ValueCase{"DATEDIFF(weekday, '2021-01-01', '2021-01-08')", "7"},
        ValueCase{"DATEDIFF(hour, '2021-01-01 10:59:59', '2021-01-01 11:00:00')", "1"},
        ValueCase{"DATEDIFF(minute, '2021-01-01 10:00:59', '2021-01-01 10:01:00')", "1"},
        ValueCase{"DATEDIFF(second, '2021-01-01 00:00:00.9990000', '2021-01-01 00:00:01.0000000')", "1"},
        ValueCase{"DATEDIFF(millisecond, '2021-01-01 00:00:00.0009999', '2021-01-01 00:00:00.0010000')", "1"},
        ValueCase{"DATEDIFF(microsecond, '2021-01-01', '2021-01-01 00:00:01')", "1000000"},
        ValueCase{"DATEDIFF(ns, '2021-01-01 00:00:00.0000000', '2021-01-01 00:00:00.0000001')", "100"},
        ValueCase{"DATEDIFF_BIG(nanosecond, '2000-01-01', '2100-01-01')", "3155760000000000000"},
        ValueCase{"DATEDIFF(day, NULL, '2021-01-01')", "NULL"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return "Case" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    DatePartAndName, Values,
    testing::Values(
        ValueCase{"DATEPART(year, '2021-12-31 23:59:58.1234567'), DATEPART(quarter, '2021-12-31 23:59:58.1234567'),"
                  " DATEPART(month, '2021-12-31 23:59:58.1234567'), DATEPART(dayofyear, '2021-12-31 23:59:58.1234567'),"
                  " DATEPART(day, '2021-12-31 23:59:58.1234567'), DATEPART(week, '2021-12-31 23:59:58.1234567'),"
                  " DATEPART(weekday, '2021-12-31 23:59:58.1234567')",
                  "2021|4|12|365|31|53|6"},
        ValueCase{"DATEPART(hh, '2021-12-31 23:59:58.1234567'), DATEPART(mi, '2021-12-31 23:59:58.1234567'),"
                  " DATEPART(ss, '2021-12-31 23:59:58.1234567'), DATEPART(ms, '2021-12-31 23:59:58.1234567'),"
                  " DATEPART(mcs, '2021-12-31 23:59:58.1234567'), DATEPART(ns, '2021-12-31 23:59:58.1234567')",
                  "23|59|58|123|123456|123456700"},
        // Weeks start on Sunday (SET DATEFIRST 7); Sunday is weekday 1.
        ValueCase{"DATEPART(wk, '2021-01-02'), DATEPART(wk, '2021-01-03'), DATEPART(dw, '2021-01-03'),"
                  " DATEPART(dy, '2020-12-31'), DATEPART(iso_week, '2021-01-01')",
                  "1|2|1|366|53"},
        ValueCase{"DATENAME(month, '2021-02-14'), DATENAME(weekday, '2021-02-14'), DATENAME(year, '2021-02-14'),"
                  " DATENAME(dw, '2021-02-15')",
                  "February|Sunday|2021|Monday"},
        ValueCase{"YEAR('2021-02-14'), MONTH('2021-02-14'), DAY('2021-02-14'), YEAR(0)", "2021|2|14|1900"},
        ValueCase{"EOMONTH('2020-02-10'), EOMONTH('2021-01-31', 1), EOMONTH('2021-12-15', -12)",
                  "2020-02-29|2021-02-28|2020-12-31"},
        ValueCase{"DATEFROMPARTS(2020, 2, 29), DATETIMEFROMPARTS(2021, 1, 2, 3, 4, 5, 6)",
                  "2020-02-29|2021-01-02 03:04:05.007"},
        ValueCase{"ISDATE('2020-02-29'), ISDATE('2021-02-29'), ISDATE('hello'), ISDATE('1700-01-01'), ISDATE(NULL)",
                  "1|0|0|0|0"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return "Case" + std::to_string(info.index); });

struct ErrorCase {
  const char* expression;
  const char* error;
};

class Overflows : public DateFunctions, public testing::WithParamInterface<ErrorCase> {};

TEST_P(Overflows, FailWithSqlServersError) {
  EXPECT_EQ(RunBatch(std::string("SELECT ") + GetParam().expression), Errors{GetParam().error});
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Overflows,
    testing::Values(
        ErrorCase{"DATEADD(year, 2147483647, CAST('2006-07-31' AS datetime))",
                  "517: Adding a value to a 'datetime' column caused an overflow."},
        ErrorCase{"DATEADD(year, -300, CAST('1900-01-01' AS datetime))",
                  "517: Adding a value to a 'datetime' column caused an overflow."},
        ErrorCase{"DATEADD(day, 1, CAST('9999-12-31' AS date))", "517: Adding a value to a 'date' column caused an overflow."},
        ErrorCase{"DATEADD(year, 2147483648, CAST('2006-07-31' AS datetime))",
                  "8115: Arithmetic overflow error converting expression to data type int."},
        ErrorCase{"DATEDIFF(millisecond, '2021-01-01', '2021-01-26')",
                  "535: The datediff function resulted in an overflow. The number of dateparts separating two date/time"
                  " instances is too large. Try to use datediff with a less precise datepart."},
        ErrorCase{"DATEDIFF(second, '1900-01-01', '2000-01-01')",
                  "535: The datediff function resulted in an overflow. The number of dateparts separating two date/time"
                  " instances is too large. Try to use datediff with a less precise datepart."},
        ErrorCase{"DATEDIFF_BIG(ns, '0001-01-01', '9999-12-31')",
                  "535: The datediff_big function resulted in an overflow. The number of dateparts separating two"
                  " date/time instances is too large. Try to use datediff_big with a less precise datepart."},
        ErrorCase{"DATENAME(weekday, -100000)", "8115: Arithmetic overflow error converting expression to data type datetime."},
        ErrorCase{"DATEFROMPARTS(2021, 2, 29)",
                  "289: Cannot construct data type date, some of the arguments have values which are not valid."}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return "Case" + std::to_string(info.index); });

// In a table: a DEFAULT, a computed column, WHERE, and a CHECK that is now
// enforced (error 547) rather than kept unevaluated.
TEST_F(DateFunctions, WorkInDefaultsComputedColumnsWhereAndChecks) {
  ASSERT_EQ(RunBatch("DROP TABLE IF EXISTS Loans\n"
                     "CREATE TABLE Loans (id int PRIMARY KEY, StartDate date NOT NULL, EndDate date NOT NULL,"
                     " DueDate datetime CONSTRAINT DF_Loans_Due DEFAULT DATEADD(day, 30, GETDATE()),"
                     " Span AS DATEDIFF(day, StartDate, EndDate),"
                     " CONSTRAINT CK_Loans_End CHECK (EndDate >= DATEADD(day, 1, StartDate)))"),
            Errors{});
  EXPECT_EQ(RunBatch("INSERT INTO Loans (id, StartDate, EndDate) VALUES (1, '2020-02-28', '2020-03-01')\n"
                     "INSERT INTO Loans (id, StartDate, EndDate) VALUES (2, '2021-01-01', '2021-01-01')\n"
                     "INSERT INTO Loans (id, StartDate, EndDate) VALUES (3, '2020-12-31', '2021-01-01')"),
            Errors{"547: The INSERT statement conflicted with the CHECK constraint \"CK_Loans_End\". The conflict occurred"
                   " in database \"fixture\", table \"dbo.Loans\"."});
  EXPECT_EQ(Rows("SELECT id, Span, CASE WHEN DueDate > DATEADD(day, 29, GETDATE()) AND DueDate <= DATEADD(day, 30, GETDATE())"
                 " THEN 'due in 30 days' END FROM Loans ORDER BY id"),
            "1|2|due in 30 days;3|1|due in 30 days");
  EXPECT_EQ(Rows("SELECT id FROM Loans WHERE DATEPART(year, EndDate) = 2021 AND DATEDIFF(day, StartDate, EndDate) = 1"), "3");
  EXPECT_EQ(RunBatch("UPDATE Loans SET EndDate = DATEADD(day, -2, EndDate) WHERE id = 1"),
            Errors{"547: The UPDATE statement conflicted with the CHECK constraint \"CK_Loans_End\". The conflict occurred"
                   " in database \"fixture\", table \"dbo.Loans\"."});
}

}  // namespace
}  // namespace standin_test
