// The schema beyond columns and primary keys: AutoNumber columns, DefaultValue
// properties, indexes added to tables with rows, relationships. Every file is read
// by mdbtools, mdb-reader and the strict Jackcess-based checker, whose JSON shows
// what Access would show in table design.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "jetcheck_json.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;
using jet::ErrorCode;
using jet::Value;
using json = nlohmann::json;

jet::ColumnDef Column(const std::string& name, ColumnType type, std::uint16_t length = 0) {
  jet::ColumnDef c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

// Every reader accepts the file; returns jetcheck's document (null when no checker).
json ExpectAllReadersAccept(const std::string& path) {
  ExpectReadersAccept(path);
  JetCheckJson check = RunJetCheckJson(path);
  if (!check.ran) return json();
  EXPECT_TRUE(check.ok) << check.output;
  return check.document;
}

ErrorCode CodeOf(const std::function<void()>& f, std::string* message = nullptr) {
  try {
    f();
  } catch (const jet::Error& e) {
    if (message) *message = e.what();
    return e.code();
  }
  ADD_FAILURE() << "no error";
  return ErrorCode::Io;
}

std::vector<std::int64_t> Ids(const jet::Table& table) {
  std::vector<std::int64_t> ids;
  for (const auto& row : ReadAll(table)) ids.push_back(std::get<std::int64_t>(row[0]));
  return ids;
}

TEST(JetSchema, AutoNumberHandsOutNumbersAboveEveryValue) {
  TempDir dir;
  std::string path = dir.File("auto.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Orders";
    d.columns = {Column("Id", ColumnType::Long), Column("Note", ColumnType::Text, 20)};
    d.columns[0].autoNumber = true;
    d.primaryKey = {"Id"};
    jet::Table& t = db->CreateTable(d);
    EXPECT_TRUE(t.definition().columns[0].autoNumber);
    t.Insert({jet::Null{}, std::string("first")});
    t.Insert({jet::Null{}, std::string("second")});
    t.Insert({std::int64_t{10}, std::string("explicit")});
    t.Insert({jet::Null{}, std::string("after ten")});
    t.Insert({std::int64_t{5}, std::string("explicit below")});
    t.Insert({jet::Null{}, std::string("still above")});
    // A refused row hands out no number.
    EXPECT_EQ(CodeOf([&] { t.Insert({jet::Null{}, std::string(21, 'x')}); }), ErrorCode::ValueOutOfRange);
    EXPECT_EQ(Ids(t), (std::vector<std::int64_t>{1, 2, 10, 11, 5, 12}));
  }
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* t = db->FindTable("orders");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->definition().columns[0].autoNumber);
    t->Insert({jet::Null{}, std::string("reopened")});
    EXPECT_EQ(Ids(*t).back(), 13);
  }
  json doc = ExpectAllReadersAccept(path);
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json* table = JetCheckNamed(doc["tables"], "Orders");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ((*JetCheckNamed((*table)["columns"], "Id"))["autoNumber"], true);
  EXPECT_EQ((*JetCheckNamed((*table)["columns"], "Note"))["autoNumber"], false);
}

TEST(JetSchema, DefaultValuesAreStoredAsAccessWritesThem) {
  TempDir dir;
  std::string path = dir.File("defaults.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Customers";
    d.columns = {Column("Id", ColumnType::Long), Column("Country", ColumnType::Text, 20),
                 Column("Credit", ColumnType::Currency), Column("Since", ColumnType::DateTime),
                 Column("Plain", ColumnType::Long)};
    d.columns[1].defaultValue = "\"USA\"";
    d.columns[1].required = true;
    d.columns[2].defaultValue = "0";
    d.columns[3].defaultValue = "Now()";
    d.primaryKey = {"Id"};
    db->CreateTable(d).Insert({std::int64_t{1}, std::string("DE"), jet::Currency{0}, jet::Null{}, jet::Null{}});
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  const auto& columns = db->FindTable("Customers")->definition().columns;
  EXPECT_EQ(columns[1].defaultValue, "\"USA\"");
  EXPECT_TRUE(columns[1].required);
  EXPECT_EQ(columns[2].defaultValue, "0");
  EXPECT_EQ(columns[3].defaultValue, "Now()");
  EXPECT_EQ(columns[4].defaultValue, "");
  json doc = ExpectAllReadersAccept(path);
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& jc = (*JetCheckNamed(doc["tables"], "Customers"))["columns"];
  EXPECT_EQ((*JetCheckNamed(jc, "Country"))["properties"]["DefaultValue"], "\"USA\"");
  EXPECT_EQ((*JetCheckNamed(jc, "Country"))["properties"]["Required"], true);
  EXPECT_EQ((*JetCheckNamed(jc, "Credit"))["properties"]["DefaultValue"], "0");
  EXPECT_EQ((*JetCheckNamed(jc, "Since"))["properties"]["DefaultValue"], "Now()");
  EXPECT_FALSE((*JetCheckNamed(jc, "Plain"))["properties"].contains("DefaultValue"));
}

jet::IndexDef Index(const std::string& name, std::vector<jet::IndexDef::Column> columns, bool unique = false) {
  jet::IndexDef index;
  index.name = name;
  index.columns = std::move(columns);
  index.unique = unique;
  return index;
}

jet::TableDef PeopleTable() {
  jet::TableDef d;
  d.name = "People";
  d.columns = {Column("Id", ColumnType::Long), Column("Name", ColumnType::Text, 60), Column("Born", ColumnType::DateTime),
               Column("Team", ColumnType::Integer), Column("Badge", ColumnType::Long)};
  d.primaryKey = {"Id"};
  return d;
}

std::vector<Value> Person(std::int64_t id) {
  // Names repeat every 97 rows, teams every 7; badges are unique, every tenth NULL.
  Value badge = id % 10 == 0 ? Value{jet::Null{}} : Value{std::int64_t{100000 - id}};
  return {id, "Person number " + std::to_string(id % 97) + " with a name long enough for a deep tree",
          jet::DateTime{36000.0 + static_cast<double>(id % 400)}, std::int64_t{id % 7}, badge};
}

off_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(JetSchema, IndexesAreBuiltOverExistingRowsInOnePass) {
  TempDir dir;
  std::string path = dir.File("indexes.mdb");
  constexpr std::int64_t kRows = 20000;
  {
    auto db = jet::Database::Create(path);
    jet::Table& t = db->CreateTable(PeopleTable());
    for (std::int64_t id = 1; id <= kRows; ++id) t.Insert(Person(id));
    db->CreateIndex("people", Index("ByName", {{"Name", true}, {"Born", false}}));
    jet::IndexDef badge = Index("ByBadge", {{"Badge", false}}, true);
    badge.ignoreNulls = true;
    db->CreateIndex("People", badge);
    jet::IndexDef team = Index("ByTeam", {{"Team", true}});
    team.required = true;
    db->CreateIndex("People", team);
    // The same columns, order and flags as ByName: Access shares the entries.
    db->Flush();
    off_t before = FileSize(path);
    db->CreateIndex("People", Index("ByNameAgain", {{"Name", true}, {"Born", false}}));
    db->Flush();
    EXPECT_EQ(FileSize(path), before) << "a shared index adds no pages";
    // Rows added later go into every index; the unique one refuses a duplicate.
    t.Insert(Person(kRows + 1));
    std::vector<Value> duplicate = Person(kRows + 2);
    duplicate[4] = std::int64_t{100000 - 5};
    EXPECT_EQ(CodeOf([&] { t.Insert(duplicate); }), ErrorCode::DuplicateKey);
    std::vector<Value> noTeam = Person(kRows + 3);
    noTeam[3] = jet::Null{};
    EXPECT_EQ(CodeOf([&] { t.Insert(noTeam); }), ErrorCode::NullNotAllowed);
    std::vector<Value> noBadge = Person(kRows + 4);
    noBadge[4] = jet::Null{};
    t.Insert(noBadge);
    const auto& indexes = t.definition().indexes;
    ASSERT_EQ(indexes.size(), 5u);
    EXPECT_TRUE(indexes[0].primary);
    EXPECT_EQ(indexes[1].name, "ByName");
    EXPECT_EQ(indexes[1].columns[1].name, "Born");
    EXPECT_FALSE(indexes[1].columns[1].ascending);
    EXPECT_TRUE(indexes[2].unique && indexes[2].ignoreNulls);
    EXPECT_TRUE(indexes[3].required);
  }
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* t = db->FindTable("People");
    EXPECT_EQ(t->definition().indexes.size(), 5u);
    t->Insert(Person(kRows + 5));
    EXPECT_EQ(t->rowCount(), static_cast<std::uint64_t>(kRows + 3));
  }
  json doc = ExpectAllReadersAccept(path);
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& ji = (*JetCheckNamed(doc["tables"], "People"))["indexes"];
  ASSERT_EQ(ji.size(), 5u);
  EXPECT_EQ((*JetCheckNamed(ji, "ByName"))["columns"], json({"Name", "Born"}));
  EXPECT_EQ((*JetCheckNamed(ji, "ByName"))["ascending"], json({true, false}));
  EXPECT_EQ((*JetCheckNamed(ji, "ByBadge"))["unique"], true);
  EXPECT_EQ((*JetCheckNamed(ji, "ByBadge"))["ignoreNulls"], true);
  EXPECT_EQ((*JetCheckNamed(ji, "ByTeam"))["required"], true);
  EXPECT_EQ((*JetCheckNamed(ji, "ByNameAgain"))["columns"], json({"Name", "Born"}));
}

TEST(JetSchema, RefusedIndexesChangeNothing) {
  TempDir dir;
  std::string path = dir.File("refused.mdb");
  auto db = jet::Database::Create(path);
  jet::Table& t = db->CreateTable(PeopleTable());
  for (std::int64_t id = 1; id <= 300; ++id) t.Insert(Person(id));
  struct Case {
    const char* what;
    jet::IndexDef index;
    ErrorCode code;
  };
  jet::IndexDef required = Index("Required", {{"Badge", true}});
  required.required = true;
  jet::IndexDef eleven = Index("Eleven", {});
  for (const char* c : {"Id", "Name", "Born", "Team", "Badge"}) eleven.columns.push_back({c, true});
  for (const char* c : {"Id", "Name", "Born", "Team", "Badge", "Id"}) eleven.columns.push_back({c, false});
  jet::IndexDef primary = Index("Second", {{"Team", true}});
  primary.primary = true;
  const Case cases[] = {
      {"rows break a unique index", Index("Teams", {{"Team", true}}, true), ErrorCode::DuplicateKey},
      {"NULL in a required index", required, ErrorCode::NullNotAllowed},
      {"11 columns", eleven, ErrorCode::LimitExceeded},
      {"unknown column", Index("Nope", {{"Nope", true}}), ErrorCode::NoSuchColumn},
      {"a column twice", Index("Twice", {{"Team", true}, {"team", false}}), ErrorCode::InvalidDefinition},
      {"no columns", Index("Empty", {}), ErrorCode::InvalidDefinition},
      {"existing name", Index("primarykey", {{"Team", true}}), ErrorCode::InvalidDefinition},
      {"'.' in the name", Index("By.Team", {{"Team", true}}), ErrorCode::InvalidDefinition},
      {"second primary key", primary, ErrorCode::InvalidDefinition},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(CodeOf([&] { db->CreateIndex("People", c.index); }, &message), c.code) << c.what;
    EXPECT_NE(message, "") << c.what;
  }
  EXPECT_EQ(CodeOf([&] { db->CreateIndex("Nobody", Index("X", {{"Id", true}})); }), ErrorCode::NoSuchTable);
  EXPECT_EQ(t.definition().indexes.size(), 1u);
  // 32 indexes at most, counting the primary key.
  for (int i = 1; i < 32; ++i) db->CreateIndex("People", Index("I" + std::to_string(i), {{"Team", i % 2 == 0}}));
  EXPECT_EQ(CodeOf([&] { db->CreateIndex("People", Index("I32", {{"Born", true}})); }), ErrorCode::LimitExceeded);
  t.Insert(Person(301));
  db.reset();
  ExpectAllReadersAccept(path);
}

TEST(JetSchema, IndexesGrowADefinitionThatSpansSeveralPages) {
  TempDir dir;
  std::string path = dir.File("wide.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Wide";
    for (int i = 0; i < 120; ++i)
      d.columns.push_back(Column("A rather long column name, number " + std::to_string(100 + i), ColumnType::Long));
    jet::Table& t = db->CreateTable(d);
    std::vector<Value> row(120, Value{std::int64_t{0}});
    for (std::int64_t r = 0; r < 400; ++r) {
      for (std::size_t i = 0; i < row.size(); ++i) std::get<std::int64_t>(row[i]) = (r * 7 + static_cast<std::int64_t>(i)) % 1000;
      t.Insert(row);
    }
    for (int i = 0; i < 30; ++i) {
      std::string column = "A rather long column name, number " + std::to_string(100 + i * 4);
      db->CreateIndex("Wide", Index("An index with a long name as well, number " + std::to_string(i),
                                    {{column, i % 2 == 0}, {"A rather long column name, number 219", true}}));
    }
    t.Insert(std::vector<Value>(120, Value{std::int64_t{5}}));
  }
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* t = db->FindTable("Wide");
    EXPECT_EQ(t->definition().indexes.size(), 30u);
    t->Insert(std::vector<Value>(120, Value{std::int64_t{6}}));
    EXPECT_EQ(ReadAll(*t).size(), 402u);
  }
  json doc = ExpectAllReadersAccept(path);
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  EXPECT_EQ((*JetCheckNamed(doc["tables"], "Wide"))["indexes"].size(), 30u);
}

jet::RelationshipDef Relationship(const std::string& name, const std::string& table, std::vector<std::string> columns,
                                  const std::string& referenced, std::vector<std::string> referencedColumns) {
  jet::RelationshipDef r;
  r.name = name;
  r.table = table;
  r.columns = std::move(columns);
  r.referencedTable = referenced;
  r.referencedColumns = std::move(referencedColumns);
  return r;
}

void CreateSalesTables(jet::Database& db) {
  jet::TableDef customers;
  customers.name = "Customers";
  customers.columns = {Column("Id", ColumnType::Long), Column("Name", ColumnType::Text, 30)};
  customers.columns[0].autoNumber = true;
  customers.primaryKey = {"Id"};
  jet::TableDef orders;
  orders.name = "Orders";
  orders.columns = {Column("Id", ColumnType::Long), Column("CustomerId", ColumnType::Long), Column("Note", ColumnType::Text, 30)};
  orders.primaryKey = {"Id"};
  jet::TableDef lines;
  lines.name = "Lines";
  lines.columns = {Column("OrderId", ColumnType::Long), Column("Line", ColumnType::Integer), Column("Qty", ColumnType::Long)};
  lines.primaryKey = {"OrderId", "Line"};
  jet::TableDef shipments;
  shipments.name = "Shipments";
  shipments.columns = {Column("Id", ColumnType::Long), Column("OrderId", ColumnType::Long), Column("Line", ColumnType::Integer)};
  shipments.primaryKey = {"Id"};
  jet::TableDef staff;
  staff.name = "Staff";
  staff.columns = {Column("Id", ColumnType::Long), Column("Boss", ColumnType::Long)};
  staff.primaryKey = {"Id"};
  jet::Table& c = db.CreateTable(customers);
  jet::Table& o = db.CreateTable(orders);
  jet::Table& l = db.CreateTable(lines);
  jet::Table& s = db.CreateTable(shipments);
  jet::Table& e = db.CreateTable(staff);
  for (int i = 0; i < 50; ++i) c.Insert({jet::Null{}, "Customer " + std::to_string(i)});
  for (std::int64_t i = 1; i <= 200; ++i) {
    o.Insert({i, i % 13 == 0 ? Value{jet::Null{}} : Value{std::int64_t{1 + i % 50}}, std::string("order")});
    l.Insert({i, std::int64_t{1}, std::int64_t{5}});
    l.Insert({i, std::int64_t{2}, std::int64_t{7}});
    s.Insert({i, i, std::int64_t{1 + i % 2}});
  }
  s.Insert({std::int64_t{1000}, std::int64_t{999}, std::int64_t{1}});  // a line that does not exist
  e.Insert({std::int64_t{1}, std::int64_t{1}});
  e.Insert({std::int64_t{2}, std::int64_t{1}});
  e.Insert({std::int64_t{3}, jet::Null{}});
}

TEST(JetSchema, RelationshipsAreStoredAndEnforcedAsAccessDoes) {
  TempDir dir;
  std::string path = dir.File("relationships.mdb");
  {
    auto db = jet::Database::Create(path);
    CreateSalesTables(*db);
    jet::RelationshipDef customerOrders =
        Relationship("CustomersOrders", "Orders", {"CustomerId"}, "Customers", {"Id"});
    customerOrders.cascadeDeletes = true;
    EXPECT_TRUE(db->CreateRelationship(customerOrders).enforced);
    jet::RelationshipDef orderLines = Relationship("OrdersLines", "Lines", {"OrderId"}, "Orders", {"Id"});
    orderLines.cascadeUpdates = true;
    orderLines.cascadeDeletes = true;
    EXPECT_TRUE(db->CreateRelationship(orderLines).enforced);
    EXPECT_TRUE(db->CreateRelationship(Relationship("StaffBoss", "Staff", {"Boss"}, "Staff", {"Id"})).enforced);
    jet::RelationshipOutcome broken = db->CreateRelationship(
        Relationship("LinesShipments", "Shipments", {"OrderId", "Line"}, "Lines", {"OrderId", "Line"}));
    EXPECT_FALSE(broken.enforced);
    EXPECT_NE(broken.note.find("1 row of table 'Shipments'"), std::string::npos) << broken.note;

    // Refused: what Access refuses too.
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("customersorders", "Orders", {"CustomerId"}, "Customers", {"Id"})); }),
              ErrorCode::InvalidDefinition) << "the name is taken";
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("ByName", "Orders", {"Note"}, "Customers", {"Name"})); }),
              ErrorCode::InvalidDefinition) << "no unique index on Customers.Name";
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("Mixed", "Lines", {"Line"}, "Orders", {"Id"})); }),
              ErrorCode::InvalidDefinition) << "Integer refers to Long";
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("Nope", "Orders", {"Nope"}, "Customers", {"Id"})); }),
              ErrorCode::NoSuchColumn);
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("A.B", "Orders", {"CustomerId"}, "Customers", {"Id"})); }),
              ErrorCode::InvalidDefinition);

    // Enforced relationships hold for rows added later; NULL refers to nothing.
    jet::Table* orders = db->FindTable("Orders");
    std::string message;
    EXPECT_EQ(CodeOf([&] { orders->Insert({std::int64_t{500}, std::int64_t{51}, std::string("x")}); }, &message),
              ErrorCode::ReferenceMissing);
    EXPECT_NE(message.find("Customers"), std::string::npos) << message;
    orders->Insert({std::int64_t{501}, std::int64_t{50}, std::string("ok")});
    orders->Insert({std::int64_t{502}, jet::Null{}, std::string("none")});
    jet::Table* staff = db->FindTable("Staff");
    staff->Insert({std::int64_t{4}, std::int64_t{4}});  // refers to itself
    EXPECT_EQ(CodeOf([&] { staff->Insert({std::int64_t{5}, std::int64_t{6}}); }), ErrorCode::ReferenceMissing);
    // Not enforced: anything goes.
    db->FindTable("Shipments")->Insert({std::int64_t{1001}, std::int64_t{998}, std::int64_t{1}});
    EXPECT_EQ(orders->definition().indexes.size(), 3u);  // PrimaryKey, CustomersOrders, .rB
  }
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    EXPECT_EQ(CodeOf([&] { db->FindTable("Lines")->Insert({std::int64_t{777}, std::int64_t{1}, std::int64_t{1}}); }),
              ErrorCode::ReferenceMissing);
    db->FindTable("Lines")->Insert({std::int64_t{200}, std::int64_t{3}, std::int64_t{1}});
    EXPECT_EQ(CodeOf([&] { db->CreateRelationship(Relationship("StaffBoss", "Orders", {"CustomerId"}, "Customers", {"Id"})); }),
              ErrorCode::InvalidDefinition) << "names are known after reopening";
  }
  json doc = ExpectAllReadersAccept(path);
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& relationships = doc["relationships"];
  ASSERT_EQ(relationships.size(), 4u) << relationships.dump();
  const json* co = JetCheckNamed(relationships, "CustomersOrders");
  ASSERT_NE(co, nullptr);
  EXPECT_EQ((*co)["fromTable"], "Customers");
  EXPECT_EQ((*co)["fromColumns"], json({"Id"}));
  EXPECT_EQ((*co)["toTable"], "Orders");
  EXPECT_EQ((*co)["toColumns"], json({"CustomerId"}));
  EXPECT_EQ((*co)["enforced"], true);
  EXPECT_EQ((*co)["cascadeDeletes"], true);
  EXPECT_EQ((*co)["cascadeUpdates"], false);
  const json* ol = JetCheckNamed(relationships, "OrdersLines");
  EXPECT_EQ((*ol)["cascadeUpdates"], true);
  const json* ls = JetCheckNamed(relationships, "LinesShipments");
  EXPECT_EQ((*ls)["enforced"], false);
  EXPECT_EQ((*ls)["toColumns"], json({"OrderId", "Line"}));
  EXPECT_EQ((*JetCheckNamed(relationships, "StaffBoss"))["fromTable"], "Staff");
  const json& orderIndexes = (*JetCheckNamed(doc["tables"], "Orders"))["indexes"];
  EXPECT_EQ((*JetCheckNamed(orderIndexes, "CustomersOrders"))["foreignKey"], true);
  EXPECT_EQ((*JetCheckNamed(orderIndexes, ".rB"))["foreignKey"], true);
  EXPECT_EQ((*JetCheckNamed(orderIndexes, ".rB"))["unique"], true);
}

}  // namespace
}  // namespace talvoro::test
