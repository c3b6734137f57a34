#include "shared_server.h"

#include <memory>
#include <stdexcept>

#include "odbc_client.h"

namespace standin_test {

const char kFixtureScript[] = R"sql(
CREATE TABLE AllTypes (
  id int NOT NULL PRIMARY KEY,
  c_int int, c_smallint smallint, c_tinyint tinyint, c_bigint bigint, c_bit bit,
  c_decimal decimal(10,2), c_numeric numeric(18,0), c_money money, c_smallmoney smallmoney,
  c_float float, c_real real, c_datetime datetime, c_smalldatetime smalldatetime,
  c_date date, c_time time(3), c_datetime2 datetime2,
  c_char char(10), c_varchar varchar(50), c_nchar nchar(10), c_nvarchar nvarchar(50),
  c_varchar_max varchar(max), c_nvarchar_max nvarchar(max),
  c_text text, c_ntext ntext, c_binary binary(4), c_varbinary varbinary(8), c_varbinary_max varbinary(max),
  c_image image, c_timestamp timestamp, c_guid uniqueidentifier)
INSERT INTO AllTypes VALUES (1, -123456, -1234, 200, 9007199254740993, 1,
  12345678.91, 123456789012345678, -922337203685477.5808, 214748.3647,
  3.1415926535897931, 1.5, '2024-02-29 13:45:30.123', '2024-02-29 13:46',
  '2024-02-29', '13:45:30.123', '2024-02-29 13:45:30.1234567',
  'abc', 'O''Brien', N'été', N'Grüße €',
  'max text', N'max ntext €',
  'long text é', N'ntext €', 0x00ABCDEF, 0x0102FE, 0xCAFE,
  0x89504E470D0A, DEFAULT, '6F9619FF-8B86-D011-B42D-00C04FC964FF')
INSERT INTO AllTypes (id) VALUES (2)
CREATE TABLE Customers (
  CustomerID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
  Name nvarchar(40) NOT NULL,
  City varchar(30) NULL DEFAULT 'Paris',
  Balance money DEFAULT 0,
  Created datetime DEFAULT getdate())
INSERT INTO Customers (Name) VALUES (N'Ann'), (N'Bob')
CREATE TABLE [Order Details] (
  ProductID int NOT NULL, OrderID int NOT NULL, Quantity smallint NOT NULL DEFAULT (1),
  CONSTRAINT PK_Order_Details PRIMARY KEY (OrderID, ProductID))
CREATE VIEW CustomerNames AS SELECT CustomerID, Name FROM Customers
)sql";

talvoro::test::StandinProcess& SharedServer() {
  static std::unique_ptr<talvoro::test::StandinProcess> server;
  if (!server) {
    server = std::make_unique<talvoro::test::StandinProcess>();
    OdbcConnection master;
    if (!SQL_SUCCEEDED(master.Connect(server->ConnectString("master"))))
      throw std::runtime_error("cannot log on to the stand-in: " + DescribeDiagnostics(SQL_HANDLE_DBC, master.dbc()));
    OdbcStatement(master).Run("CREATE DATABASE fixture");
    OdbcConnection fixture;
    if (!SQL_SUCCEEDED(fixture.Connect(server->ConnectString("fixture"))))
      throw std::runtime_error("cannot open the fixture: " + DescribeDiagnostics(SQL_HANDLE_DBC, fixture.dbc()));
    OdbcStatement(fixture).Run(kFixtureScript);
  }
  return *server;
}

std::string FixtureConnectString() { return SharedServer().ConnectString("fixture"); }

}  // namespace standin_test
