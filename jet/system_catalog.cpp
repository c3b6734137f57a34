#include "jet/system_catalog.h"

#include <ctime>

#include "jet/format.h"
#include "jet/header_pages.h"

namespace jet {

using namespace format;

namespace {

constexpr std::uint8_t kLong = 0x04, kInt = 0x03, kByte = 0x02, kBool = 0x01, kDate = 0x08, kBinary = 0x09,
                       kText = 0x0A, kOle = 0x0B, kMemo = 0x0C;

PhysicalColumn SystemColumn(std::uint16_t number, const char* name, std::uint8_t type, std::uint8_t extraFlags = 0) {
  PhysicalColumn c;
  c.type = type;
  c.number = number;
  for (const char* p = name; *p; ++p) c.name.push_back(static_cast<char16_t>(*p));
  static constexpr std::uint16_t kSizes[] = {0, 1, 1, 2, 4, 8, 4, 8, 8, 510, 510, 0, 0};
  bool fixed = type != kBinary && type != kText && type != kOle && type != kMemo;
  c.length = kSizes[type];
  c.flags = static_cast<std::uint8_t>((fixed ? kColumnFixed : 0) | kColumnUpdatable | kColumnSystem | extraFlags);
  c.misc[0] = 0x09;  // 1033
  c.misc[1] = 0x04;
  return c;
}

TableDefinition SystemTable(std::vector<PhysicalColumn> columns) {
  TableDefinition def;
  def.tableType = kTableTypeSystem;
  def.columns = std::move(columns);
  def.maxColumns = static_cast<std::uint16_t>(def.columns.size());
  LayOutColumns(def);
  return def;
}

RealIndex Index(std::vector<std::uint16_t> columns, std::uint8_t flags) {
  RealIndex r;
  for (auto c : columns) r.columns.push_back({c, true});
  r.flags = flags;
  return r;
}

LogicalIndex Logical(const char* name, std::uint32_t number, std::uint32_t real, std::uint8_t kind) {
  LogicalIndex l;
  l.number = number;
  l.realNumber = real;
  l.kind = kind;
  for (const char* p = name; *p; ++p) l.name.push_back(static_cast<char16_t>(*p));
  return l;
}

Bytes Sid(std::uint8_t x0, std::uint8_t x1) {
  return {static_cast<std::uint8_t>(kAdminSid[0] ^ x0), static_cast<std::uint8_t>(kAdminSid[1] ^ x1)};
}

}  // namespace

void LayOutColumns(TableDefinition& def) {
  std::uint16_t fixedOffset = 0, varIndex = 0;
  for (auto& c : def.columns) {
    if (c.fixed()) {
      c.varIndex = 0;
      if (c.isBoolean()) {
        c.fixedOffset = 0;
        continue;
      }
      c.fixedOffset = fixedOffset;
      fixedOffset = static_cast<std::uint16_t>(fixedOffset + c.length);
    } else {
      c.fixedOffset = 0;
      c.varIndex = varIndex++;
    }
  }
}

TableDefinition CatalogDefinition() {
  TableDefinition def = SystemTable({
      SystemColumn(0, "Id", kLong), SystemColumn(1, "ParentId", kLong), SystemColumn(2, "Name", kText),
      SystemColumn(3, "Type", kInt), SystemColumn(4, "DateCreate", kDate), SystemColumn(5, "DateUpdate", kDate),
      SystemColumn(6, "Owner", kBinary, 0x20), SystemColumn(7, "Flags", kLong), SystemColumn(8, "Database", kMemo),
      SystemColumn(9, "Connect", kMemo), SystemColumn(10, "ForeignName", kText),
      SystemColumn(11, "RmtInfoShort", kBinary), SystemColumn(12, "RmtInfoLong", kOle), SystemColumn(13, "Lv", kOle),
      SystemColumn(14, "LvProp", kOle), SystemColumn(15, "LvModule", kOle), SystemColumn(16, "LvExtra", kOle),
  });
  def.realIndexes = {Index({1, 2}, kIndexAccess2000 | kIndexUnique), Index({0}, kIndexAccess2000 | kIndexUnique)};
  def.logicalIndexes = {Logical("Id", 1, 1, 1), Logical("ParentIdName", 0, 0, 0)};
  return def;
}

TableDefinition AccessControlDefinition() {
  TableDefinition def = SystemTable({SystemColumn(0, "ObjectId", kLong), SystemColumn(1, "SID", kBinary, 0x20),
                                     SystemColumn(2, "ACM", kLong), SystemColumn(3, "FInheritable", kBool)});
  def.realIndexes = {Index({0}, kIndexAccess2000 | kIndexRequired)};
  def.logicalIndexes = {Logical("ObjectId", 0, 0, 0)};
  return def;
}

TableDefinition QueriesDefinition() {
  TableDefinition def = SystemTable({SystemColumn(0, "ObjectId", kLong), SystemColumn(1, "Attribute", kByte),
                                     SystemColumn(2, "Order", kBinary), SystemColumn(3, "Name1", kText),
                                     SystemColumn(4, "Name2", kText), SystemColumn(5, "Expression", kMemo),
                                     SystemColumn(6, "Flag", kInt), SystemColumn(7, "LvExtra", kLong)});
  def.realIndexes = {Index({0, 1, 2}, kIndexAccess2000 | kIndexUnique)};
  def.logicalIndexes = {Logical("ObjectIdAttribute", 0, 0, 1)};
  return def;
}

TableDefinition RelationshipsDefinition() {
  TableDefinition def = SystemTable({SystemColumn(0, "szRelationship", kText), SystemColumn(1, "grbit", kLong),
                                     SystemColumn(2, "ccolumn", kLong), SystemColumn(3, "icolumn", kLong),
                                     SystemColumn(4, "szObject", kText), SystemColumn(5, "szColumn", kText),
                                     SystemColumn(6, "szReferencedObject", kText),
                                     SystemColumn(7, "szReferencedColumn", kText)});
  def.realIndexes = {Index({0}, kIndexAccess2000 | kIndexIgnoreNulls), Index({4}, kIndexAccess2000 | kIndexIgnoreNulls),
                     Index({6}, kIndexAccess2000 | kIndexIgnoreNulls)};
  def.logicalIndexes = {Logical("szRelationship", 0, 0, 0), Logical("szObject", 1, 1, 0),
                        Logical("szReferencedObject", 2, 2, 0)};
  return def;
}

std::vector<Value> CatalogRow(std::int32_t id, std::int32_t parentId, const std::string& name, std::int16_t type,
                              double created, const Bytes& owner, std::uint32_t flags) {
  std::vector<Value> row(17, Null{});
  row[0] = std::int64_t{id};
  row[1] = std::int64_t{parentId};
  row[2] = name;
  row[3] = std::int64_t{type};
  row[4] = DateTime{created};
  row[5] = DateTime{created};
  row[6] = owner;
  row[7] = std::int64_t{static_cast<std::int32_t>(flags)};
  return row;
}

std::vector<Value> AccessControlRow(std::int32_t objectId, const Bytes& sid, std::int32_t mask, bool inheritable) {
  return {std::int64_t{objectId}, sid, std::int64_t{mask}, inheritable};
}

std::vector<std::vector<Value>> InitialCatalogRows() {
  const Bytes admin = Sid(0, 0), tablesOwner = Sid(1, 2);
  const std::uint32_t system = 0x80000000;
  return {
      CatalogRow(kTablesContainerId, kRootId, "Tables", 3, kCreationDate, tablesOwner, system),
      CatalogRow(kDatabasesContainerId, kRootId, "Databases", 3, kCreationDate, tablesOwner, system),
      CatalogRow(kRelationshipsContainerId, kRootId, "Relationships", 3, kCreationDate, tablesOwner, system),
      CatalogRow(kMSysDbId, kDatabasesContainerId, "MSysDb", 2, kCreationDate, admin, system),
      CatalogRow(2, kTablesContainerId, "MSysObjects", 1, kCreationDate, tablesOwner, system),
      CatalogRow(3, kTablesContainerId, "MSysACEs", 1, kCreationDate, tablesOwner, system),
      CatalogRow(4, kTablesContainerId, "MSysQueries", 1, kCreationDate, tablesOwner, system),
      CatalogRow(5, kTablesContainerId, "MSysRelationships", 1, kCreationDate, tablesOwner, system),
  };
}

std::vector<std::vector<Value>> InitialAccessControlRows() {
  const Bytes admin = Sid(0, 0), users = Sid(1, 0), creator = Sid(1, 5);
  return {
      AccessControlRow(2, admin, 0x60000, false),
      AccessControlRow(3, admin, 0x60000, false),
      AccessControlRow(4, admin, 0x60000, false),
      AccessControlRow(5, admin, 0xE0000, false),
      AccessControlRow(kTablesContainerId, creator, 0xF00FE, true),
      AccessControlRow(kTablesContainerId, admin, 0x60001, false),
      AccessControlRow(kRelationshipsContainerId, creator, 0xF00FE, true),
      AccessControlRow(kRelationshipsContainerId, admin, 0x60001, false),
      AccessControlRow(kDatabasesContainerId, admin, 0x60000, false),
      AccessControlRow(kMSysDbId, admin, 0x6000E, false),
      AccessControlRow(kMSysDbId, users, 0x0E, false),
      AccessControlRow(4, users, 0x14, false),
      AccessControlRow(5, users, 0x14, false),
      AccessControlRow(2, users, 0x14, false),
      AccessControlRow(kTablesContainerId, users, 0xFFEFF, true),
      AccessControlRow(kRelationshipsContainerId, users, 0xFFFFF, true),
  };
}

double OleDateNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // Days from 1899-12-30 to the local calendar date, plus the local time of day.
  std::tm day = local;
  day.tm_hour = 12;
  day.tm_min = day.tm_sec = 0;
  std::time_t noonUtc = timegm(&day);
  double days = static_cast<double>(noonUtc / 86400) + 25569.0;
  return days + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

}  // namespace jet
