/*
 * Works2026 sample database: six schemas, alias types, an XML schema
 * collection, computed, spatial, hierarchyid and temporal columns, full-text
 * search, a DDL trigger; data bulk-loaded from tab-separated UTF-8 files,
 * foreign keys added after the data.
 * Run with sqlcmd-style variables:
 *   run_sql_script ... -v DatabaseName=Works2026 DataPath=/path/to/files/ install.sql
 */
:setvar ScriptVersion "2026.1 (sample)"
SET NOCOUNT ON
GO
USE [master]
GO
IF EXISTS (SELECT [name] FROM [master].[sys].[databases] WHERE [name] = N'$(DatabaseName)')
    DROP DATABASE [$(DatabaseName)];
GO
CREATE DATABASE [$(DatabaseName)]
GO
USE [$(DatabaseName)]
GO
PRINT '*** Installing $(DatabaseName), script $(ScriptVersion)';
GO
-- ******************************************************
-- Schemas
-- ******************************************************
CREATE SCHEMA [HumanResources] AUTHORIZATION [dbo];
GO
CREATE SCHEMA [Person] AUTHORIZATION [dbo];
GO
CREATE SCHEMA [Production] AUTHORIZATION [dbo];
GO
CREATE SCHEMA [Purchasing] AUTHORIZATION [dbo];
GO
CREATE SCHEMA [Sales] AUTHORIZATION [dbo];
GO
CREATE SCHEMA [Security] AUTHORIZATION [dbo];
GO
-- ******************************************************
-- Alias types and the XML schema collection
-- ******************************************************
CREATE TYPE [dbo].[Flag] FROM bit NOT NULL;
CREATE TYPE [dbo].[Name] FROM nvarchar(50) NULL;
CREATE TYPE [dbo].[Phone] FROM nvarchar(25) NULL;
CREATE TYPE [Sales].[AccountNumber] FROM nvarchar(15) NULL;
GO
CREATE XML SCHEMA COLLECTION [Person].[AdditionalContactInfoSchemaCollection] AS
N'<xsd:schema targetNamespace="http://schemas.example.com/works/ContactInfo"
    xmlns:xsd="http://www.w3.org/2001/XMLSchema" elementFormDefault="qualified">
  <xsd:element name="AdditionalContactInfo">
    <xsd:complexType><xsd:sequence>
      <xsd:element name="phone" type="xsd:string" minOccurs="0" maxOccurs="unbounded"/>
    </xsd:sequence></xsd:complexType>
  </xsd:element>
</xsd:schema>';
GO
-- ******************************************************
-- Tables
-- ******************************************************
CREATE TABLE [Security].[DatabaseLog](
    [DatabaseLogID] [int] IDENTITY (1, 1) NOT NULL,
    [PostTime] [datetime] NOT NULL,
    [DatabaseUser] [sysname] NOT NULL,
    [Event] [sysname] NOT NULL,
    [TSQL] [nvarchar](max) NOT NULL,
    [XmlEvent] [xml] NULL,
    CONSTRAINT [PK_DatabaseLog_DatabaseLogID] PRIMARY KEY NONCLUSTERED ([DatabaseLogID])
) ON [PRIMARY];
GO
CREATE TABLE [Person].[Person](
    [BusinessEntityID] [int] NOT NULL,
    [PersonType] [nchar](2) NOT NULL,
    [FirstName] [Name] NOT NULL,
    [LastName] [Name] NOT NULL,
    [FullName] AS ([FirstName] + N' ' + [LastName]),
    [EmailPromotion] [int] NOT NULL CONSTRAINT [DF_Person_EmailPromotion] DEFAULT (0),
    [AdditionalContactInfo] [xml]([Person].[AdditionalContactInfoSchemaCollection]) NULL,
    [ModifiedDate] [datetime] NOT NULL CONSTRAINT [DF_Person_ModifiedDate] DEFAULT (GETDATE()),
    CONSTRAINT [PK_Person_BusinessEntityID] PRIMARY KEY CLUSTERED ([BusinessEntityID] ASC),
    CONSTRAINT [CK_Person_EmailPromotion] CHECK ([EmailPromotion] >= 0 AND [EmailPromotion] <= 2)
) ON [PRIMARY];
GO
CREATE TABLE [Person].[Address](
    [AddressID] [int] IDENTITY (1, 1) NOT NULL,
    [AddressLine1] [nvarchar](60) NOT NULL,
    [City] [nvarchar](30) NOT NULL,
    [PostalCode] [nvarchar](15) NOT NULL,
    [SpatialLocation] [geography] NULL,
    CONSTRAINT [PK_Address_AddressID] PRIMARY KEY CLUSTERED ([AddressID] ASC)
) ON [PRIMARY];
GO
CREATE TABLE [HumanResources].[Department](
    [DepartmentID] [smallint] IDENTITY (1, 1) NOT NULL,
    [Name] [Name] NOT NULL,
    [GroupName] [Name] NOT NULL,
    [ModifiedDate] [datetime] NOT NULL CONSTRAINT [DF_Department_ModifiedDate] DEFAULT (GETDATE()),
    CONSTRAINT [PK_Department_DepartmentID] PRIMARY KEY CLUSTERED ([DepartmentID] ASC)
) ON [PRIMARY];
GO
CREATE TABLE [HumanResources].[Employee](
    [BusinessEntityID] [int] NOT NULL,
    [NationalIDNumber] [nvarchar](15) NOT NULL,
    [JobTitle] [nvarchar](50) NOT NULL,
    [OrganizationNode] [hierarchyid] NULL,
    [DepartmentID] [smallint] NOT NULL,
    [SalariedFlag] [Flag] NOT NULL CONSTRAINT [DF_Employee_SalariedFlag] DEFAULT (1),
    [VacationHours] [smallint] NOT NULL,
    [SickLeaveHours] [smallint] NOT NULL,
    [TotalLeave] AS ([VacationHours] + [SickLeaveHours]) PERSISTED,
    CONSTRAINT [PK_Employee_BusinessEntityID] PRIMARY KEY CLUSTERED ([BusinessEntityID] ASC)
) ON [PRIMARY];
GO
CREATE TABLE [HumanResources].[Shift](
    [ShiftID] [tinyint] IDENTITY (1, 1) NOT NULL,
    [Name] [Name] NOT NULL,
    [StartTime] [time](7) NOT NULL,
    [EndTime] [time](7) NOT NULL,
    [ValidFrom] [datetime2](7) GENERATED ALWAYS AS ROW START HIDDEN NOT NULL,
    [ValidTo] [datetime2](7) GENERATED ALWAYS AS ROW END HIDDEN NOT NULL,
    PERIOD FOR SYSTEM_TIME ([ValidFrom], [ValidTo]),
    CONSTRAINT [PK_Shift_ShiftID] PRIMARY KEY CLUSTERED ([ShiftID] ASC)
) WITH (SYSTEM_VERSIONING = ON (HISTORY_TABLE = [HumanResources].[ShiftHistory], DATA_CONSISTENCY_CHECK = ON));
GO
CREATE TABLE [Production].[Product](
    [ProductID] [int] IDENTITY (1, 1) NOT NULL,
    [Name] [Name] NOT NULL,
    [ProductNumber] [nvarchar](25) NOT NULL,
    [ListPrice] [money] NOT NULL,
    [Weight] [decimal](8, 2) NULL,
    [Description] [nvarchar](400) NULL,
    [SellStartDate] [datetime] NOT NULL,
    CONSTRAINT [PK_Product_ProductID] PRIMARY KEY CLUSTERED ([ProductID] ASC),
    CONSTRAINT [CK_Product_ListPrice] CHECK ([ListPrice] >= 0.00)
) ON [PRIMARY];
GO
CREATE TABLE [Purchasing].[Vendor](
    [BusinessEntityID] [int] NOT NULL,
    [AccountNumber] [Sales].[AccountNumber] NOT NULL,
    [Name] [Name] NOT NULL,
    [CreditRating] [tinyint] NOT NULL,
    [PreferredVendorStatus] [Flag] NOT NULL CONSTRAINT [DF_Vendor_PreferredVendorStatus] DEFAULT (1),
    [PurchasingWebServiceURL] [nvarchar](1024) NULL,
    CONSTRAINT [PK_Vendor_BusinessEntityID] PRIMARY KEY CLUSTERED ([BusinessEntityID] ASC)
) ON [PRIMARY];
GO
CREATE TABLE [Sales].[SalesOrderHeader](
    [SalesOrderID] [int] IDENTITY (43659, 1) NOT NULL,
    [OrderDate] [datetime] NOT NULL,
    [CustomerID] [int] NOT NULL,
    [SubTotal] [money] NOT NULL CONSTRAINT [DF_SalesOrderHeader_SubTotal] DEFAULT (0.00),
    [TaxAmt] [money] NOT NULL CONSTRAINT [DF_SalesOrderHeader_TaxAmt] DEFAULT (0.00),
    [Freight] [money] NOT NULL CONSTRAINT [DF_SalesOrderHeader_Freight] DEFAULT (0.00),
    [TotalDue] AS (isnull(([SubTotal] + [TaxAmt]) + [Freight], (0))),
    [SalesOrderNumber] AS (isnull(N'SO' + CONVERT([nvarchar](23), [SalesOrderID]), N'*** ERROR ***')),
    CONSTRAINT [PK_SalesOrderHeader_SalesOrderID] PRIMARY KEY CLUSTERED ([SalesOrderID] ASC)
) ON [PRIMARY];
GO
CREATE TABLE [Sales].[SalesOrderDetail](
    [SalesOrderID] [int] NOT NULL,
    [SalesOrderDetailID] [int] IDENTITY (1, 1) NOT NULL,
    [OrderQty] [smallint] NOT NULL,
    [ProductID] [int] NOT NULL,
    [UnitPrice] [money] NOT NULL,
    [LineTotal] AS (isnull([UnitPrice] * [OrderQty], 0.0)),
    CONSTRAINT [PK_SalesOrderDetail_SalesOrderID_SalesOrderDetailID] PRIMARY KEY CLUSTERED ([SalesOrderID] ASC, [SalesOrderDetailID] ASC)
) ON [PRIMARY];
GO
-- ******************************************************
-- Data, loaded from the files beside this script
-- ******************************************************
PRINT 'Loading data from $(DataPath)';
GO
BULK INSERT [Person].[Person] FROM '$(DataPath)Person.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', KEEPIDENTITY, TABLOCK);
BULK INSERT [Person].[Address] FROM '$(DataPath)Address.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '0x0a', FIRSTROW = 2, KEEPIDENTITY, TABLOCK);
BULK INSERT [HumanResources].[Department] FROM '$(DataPath)Department.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', KEEPIDENTITY, TABLOCK);
BULK INSERT [HumanResources].[Employee] FROM '$(DataPath)Employee.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', KEEPNULLS, TABLOCK);
-- Descriptions hold line breaks: the file ends fields with +| and rows with &| and a line feed.
BULK INSERT [Production].[Product] FROM '$(DataPath)Product.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '+|', ROWTERMINATOR = '&|\n', KEEPIDENTITY, TABLOCK);
BULK INSERT [Purchasing].[Vendor] FROM '$(DataPath)Vendor.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', CHECK_CONSTRAINTS, TABLOCK);
BULK INSERT [Sales].[SalesOrderHeader] FROM '$(DataPath)SalesOrderHeader.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', KEEPIDENTITY, TABLOCK);
BULK INSERT [Sales].[SalesOrderDetail] FROM '$(DataPath)SalesOrderDetail.tsv'
WITH (CODEPAGE = '65001', DATAFILETYPE = 'char', FIELDTERMINATOR = '\t', ROWTERMINATOR = '\n', TABLOCK);
GO
SET IDENTITY_INSERT [HumanResources].[Shift] ON;
INSERT INTO [HumanResources].[Shift] ([ShiftID], [Name], [StartTime], [EndTime])
VALUES (1, N'Day', '07:00:00', '15:00:00'), (2, N'Evening', '15:00:00', '23:00:00'), (3, N'Night', '23:00:00', '07:00:00');
SET IDENTITY_INSERT [HumanResources].[Shift] OFF;
-- A changed shift leaves its old version in the history table.
UPDATE [HumanResources].[Shift] SET [EndTime] = '23:30:00' WHERE [ShiftID] = 2;
GO
-- Spatial data written by the script itself.
UPDATE [Person].[Address] SET [SpatialLocation] = geography::Point(47.6062, -122.3321, 4326) WHERE [AddressID] = 2;
GO
-- ******************************************************
-- Foreign keys, after the data
-- ******************************************************
ALTER TABLE [HumanResources].[Employee] WITH CHECK ADD CONSTRAINT [FK_Employee_Person_BusinessEntityID]
    FOREIGN KEY ([BusinessEntityID]) REFERENCES [Person].[Person] ([BusinessEntityID]);
ALTER TABLE [HumanResources].[Employee] CHECK CONSTRAINT [FK_Employee_Person_BusinessEntityID];
GO
ALTER TABLE [HumanResources].[Employee] WITH CHECK ADD CONSTRAINT [FK_Employee_Department_DepartmentID]
    FOREIGN KEY ([DepartmentID]) REFERENCES [HumanResources].[Department] ([DepartmentID]);
GO
ALTER TABLE [Sales].[SalesOrderDetail] WITH CHECK ADD CONSTRAINT [FK_SalesOrderDetail_SalesOrderHeader_SalesOrderID]
    FOREIGN KEY ([SalesOrderID]) REFERENCES [Sales].[SalesOrderHeader] ([SalesOrderID]) ON DELETE CASCADE;
ALTER TABLE [Sales].[SalesOrderDetail] WITH CHECK ADD CONSTRAINT [FK_SalesOrderDetail_Product_ProductID]
    FOREIGN KEY ([ProductID]) REFERENCES [Production].[Product] ([ProductID]);
GO
-- ******************************************************
-- Full-text search, views, the DDL trigger
-- ******************************************************
CREATE FULLTEXT CATALOG [WorksFullTextCatalog] AS DEFAULT;
GO
CREATE FULLTEXT INDEX ON [Production].[Product]([Description] LANGUAGE 1033)
    KEY INDEX [PK_Product_ProductID] ON [WorksFullTextCatalog] WITH CHANGE_TRACKING AUTO;
GO
CREATE VIEW [Production].[vProductAndDescription] WITH SCHEMABINDING
AS
SELECT p.[ProductID], p.[Name], p.[Description] FROM [Production].[Product] p;
GO
CREATE UNIQUE CLUSTERED INDEX [IX_vProductAndDescription] ON [Production].[vProductAndDescription]([ProductID]);
GO
CREATE TRIGGER [ddlDatabaseTriggerLog] ON DATABASE
FOR DDL_DATABASE_LEVEL_EVENTS AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @data XML;
    SET @data = EVENTDATA();
    INSERT [Security].[DatabaseLog] ([PostTime], [DatabaseUser], [Event], [TSQL], [XmlEvent])
    VALUES (GETDATE(), CONVERT(sysname, CURRENT_USER), @data.value('(/EVENT_INSTANCE/EventType)[1]', 'sysname'),
            @data.value('(/EVENT_INSTANCE/TSQLCommand)[1]', 'nvarchar(max)'), @data);
END;
GO
PRINT '*** Finished installing $(DatabaseName)';
GO
