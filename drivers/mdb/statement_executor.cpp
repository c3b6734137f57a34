#include "statement_executor.h"

#include <string>
#include <string_view>

#include "column_types.h"
#include "default_values.h"
#include "literal_values.h"
#include "sql_tokenizer.h"

namespace mdb {
namespace {

// A name in double quotes for a message, cut after 64 characters (the most an
// Access name has), so that an over-long name does not flood the message.
std::string Quoted(std::string_view name) {
  std::size_t end = 0, characters = 0;
  while (end < name.size() && characters < 64) {
    ++characters;
    ++end;
    while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) ++end;
  }
  return "\"" + std::string(name.substr(0, end)) + (end < name.size() ? "...\"" : "\"");
}

jet::Table& FindTable(jet::Database& database, const std::string& name) {
  jet::Table* table = database.FindTable(name);
  if (!table) throw SqlError("42S02", "Table " + Quoted(name) + " does not exist");
  return *table;
}

int FindColumn(const std::vector<jet::ColumnDef>& columns, const std::string& name) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

// The text an insert breaking CHECK constraints is refused with: their names.
void NameConstraint(std::string& text, const std::string& name) {
  if (name.empty()) return;
  text = text.empty() ? "The row breaks the CHECK constraint " + name
                      : text + ", or " + name;
}

// The CHECKs as validation rules: a column's as its field rule, the table's as
// the table rule; several of one place must all hold.
void AddCheckRules(const CreateTableStatement& create, jet::TableDef& def) {
  auto join = [](std::string& rule, const std::string& more) {
    rule = rule.empty() ? more : "(" + rule + ") And (" + more + ")";
  };
  for (const CheckSpec& check : create.checks) {
    if (check.column.empty()) {
      join(def.validationRule, check.rule);
      NameConstraint(def.validationText, check.name);
      continue;
    }
    jet::ColumnDef& column = def.columns[FindColumn(def.columns, check.column)];
    join(column.validationRule, check.rule);
    NameConstraint(column.validationText, check.name);
  }
}

ExecutionResult CreateTable(const CreateTableStatement& create, jet::Database& database) {
  if (database.FindTable(create.table))
    throw SqlError("42S01", "Table " + Quoted(create.table) + " already exists");
  jet::TableDef def;
  def.name = create.table;
  for (const ColumnSpec& declared : create.columns) {
    if (FindColumn(def.columns, declared.name) >= 0)
      throw SqlError("42S21", "Column " + Quoted(declared.name) + " is defined twice in table " +
                                  Quoted(create.table));
    def.columns.push_back(ColumnFromSpec(declared));
    if (declared.primaryKey) {
      if (!def.primaryKey.empty() || !create.keyColumns.empty())
        throw SqlError("42000", "Table " + Quoted(create.table) + " has more than one PRIMARY KEY");
      def.primaryKey.push_back(declared.name);
    }
  }
  for (const std::string& key : create.keyColumns) {
    int index = FindColumn(def.columns, key);
    if (index < 0)
      throw SqlError("42S22", "PRIMARY KEY column " + Quoted(key) + " is not a column of table " +
                                  Quoted(create.table));
    for (const std::string& earlier : def.primaryKey) {
      if (EqualsIgnoreCase(earlier, key))
        throw SqlError("42000", "PRIMARY KEY names column " + Quoted(key) + " twice");
    }
    def.primaryKey.push_back(def.columns[index].name);
  }
  if (!create.keyName.empty()) def.primaryKeyName = create.keyName;
  AddCheckRules(create, def);
  // Key columns hold no NULLs.
  for (const std::string& key : def.primaryKey) def.columns[FindColumn(def.columns, key)].required = true;
  database.CreateTable(def);
  return ExecutionResult{0, std::nullopt, {}};
}

// A value of the statement into its column: a literal as written, a marker from
// the bound parameters.
void StoreValue(const Literal& value, const jet::ColumnDef& column, ParameterValues* parameters,
                jet::Value& into) {
  if (value.kind != Literal::Kind::Parameter) return StoreColumnValue(value, column, into);
  if (!parameters) throw SqlError("07002", "COUNT field incorrect: no value is bound to parameter " +
                                               std::to_string(value.parameter + 1));
  parameters->Store(value.parameter, column, into);
}

// One row into `table` (the table `insert` names).
void InsertRow(const InsertStatement& insert, jet::Table& table, ParameterValues* parameters) {
  const std::vector<jet::ColumnDef>& columns = table.definition().columns;
  // Kept from statement to statement on this thread, with the room its texts
  // had: no allocation per row for the row itself.
  thread_local std::vector<jet::Value> row;
  if (insert.columns.empty()) {
    if (insert.values.size() != columns.size())
      throw SqlError("21S01", "Table " + Quoted(table.definition().name) + " has " +
                                  std::to_string(columns.size()) + " columns but " +
                                  std::to_string(insert.values.size()) + " values were given");
    row.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) StoreValue(insert.values[i], columns[i], parameters, row[i]);
  } else {
    if (insert.values.size() != insert.columns.size())
      throw SqlError("21S01", std::to_string(insert.columns.size()) + " columns but " +
                                  std::to_string(insert.values.size()) + " values were given");
    row.assign(columns.size(), jet::Null{});
    std::vector<bool> given(columns.size(), false);
    for (std::size_t i = 0; i < insert.columns.size(); ++i) {
      int index = FindColumn(columns, insert.columns[i]);
      if (index < 0)
        throw SqlError("42S22", "Column " + Quoted(insert.columns[i]) + " is not a column of table " +
                                    Quoted(table.definition().name));
      if (given[index]) throw SqlError("42000", "Column " + Quoted(insert.columns[i]) + " is named twice");
      given[index] = true;
      StoreValue(insert.values[i], columns[index], parameters, row[index]);
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (given[i] || columns[i].autoNumber) continue;  // a Null AutoNumber gets the next number
      if (std::optional<jet::Value> value = DefaultValueOf(columns[i])) row[i] = std::move(*value);
      if (columns[i].required && std::holds_alternative<jet::Null>(row[i]))
        throw SqlError("23000", "Column " + Quoted(columns[i].name) + " is required: NULL is not allowed");
    }
  }
  table.Insert(row);
  // Room for ordinary values is kept; what a long text or picture needed is not.
  constexpr std::size_t kKeptRoom = 64 * 1024;
  for (jet::Value& value : row) {
    if (auto* text = std::get_if<std::string>(&value); text && text->capacity() > kKeptRoom) value = jet::Null{};
    if (auto* bytes = std::get_if<jet::Bytes>(&value); bytes && bytes->capacity() > kKeptRoom) value = jet::Null{};
  }
}

ExecutionResult Insert(const InsertStatement& insert, jet::Database& database,
                       ParameterValues* parameters) {
  InsertRow(insert, FindTable(database, insert.table), parameters);
  return ExecutionResult{1, std::nullopt, {}};
}

ExecutionResult CreateIndex(const CreateIndexStatement& statement, jet::Database& database) {
  jet::Table& table = FindTable(database, statement.table);
  jet::IndexDef index;
  index.name = statement.name;
  for (const auto& c : statement.columns) {
    int position = FindColumn(table.definition().columns, c.name);
    if (position < 0)
      throw SqlError("42S22", "Column " + Quoted(c.name) + " is not a column of table " + Quoted(table.definition().name));
    index.columns.push_back({table.definition().columns[position].name, c.ascending});
  }
  index.unique = statement.unique;
  index.primary = statement.primary;
  index.required = statement.disallowNull;
  index.ignoreNulls = statement.ignoreNull;
  for (const auto& existing : table.definition().indexes)
    if (EqualsIgnoreCase(existing.name, statement.name))
      throw SqlError("42S11", "Table " + Quoted(table.definition().name) + " already has an index named " + Quoted(statement.name));
  database.CreateIndex(table.definition().name, index);
  return ExecutionResult{0, std::nullopt, {}};
}

ExecutionResult AddForeignKey(const AddForeignKeyStatement& statement, jet::Database& database) {
  jet::Table& table = FindTable(database, statement.table);
  jet::Table& referenced = FindTable(database, statement.referencedTable);
  jet::RelationshipDef relationship;
  relationship.name = statement.name;
  relationship.table = table.definition().name;
  relationship.referencedTable = referenced.definition().name;
  relationship.columns = statement.columns;
  relationship.referencedColumns = statement.referencedColumns;
  if (relationship.referencedColumns.empty()) relationship.referencedColumns = referenced.definition().primaryKey;
  if (relationship.referencedColumns.empty())
    throw SqlError("42000", "Table " + Quoted(relationship.referencedTable) + " has no primary key: name the referenced columns");
  if (relationship.columns.size() != relationship.referencedColumns.size())
    throw SqlError("42000", "FOREIGN KEY " + Quoted(statement.name) + " names " + std::to_string(relationship.columns.size()) +
                                " columns but references " + std::to_string(relationship.referencedColumns.size()));
  relationship.cascadeUpdates = statement.cascadeUpdates;
  relationship.cascadeDeletes = statement.cascadeDeletes;
  relationship.enforce = statement.enforce;
  jet::RelationshipOutcome outcome = database.CreateRelationship(relationship);
  ExecutionResult result{0, std::nullopt, {}};
  // A relationship asked to be enforced that the rows prevent: the caller hears why.
  if (!outcome.enforced && statement.enforce) result.warnings.push_back(outcome.note);
  return result;
}

// The one column of SELECT COUNT(*), named as Access names an unnamed expression.
jet::ColumnDef CountColumn() { return {"Expr1000", jet::ColumnType::Long}; }

ExecutionResult Select(const SelectStatement& select, jet::Database& database) {
  jet::Table& table = FindTable(database, select.table);
  ResultSet result;
  if (select.countOnly) {
    // The count the file keeps in the table's definition: no row is read.
    result.columns = {CountColumn()};
    result.rows.push_back({static_cast<std::int64_t>(table.rowCount())});
    return ExecutionResult{-1, std::move(result), {}};
  }
  result.columns = table.definition().columns;
  result.rows.reserve(static_cast<std::size_t>(table.rowCount()));
  auto cursor = table.Scan();
  std::vector<jet::Value> row;
  while (cursor->Next(row)) result.rows.push_back(row);
  return ExecutionResult{-1, std::move(result), {}};
}

}  // namespace

SqlError SqlErrorFromJet(const jet::Error& error) {
  const char* state = "HY000";
  switch (error.code()) {
    case jet::ErrorCode::TableExists: state = "42S01"; break;
    case jet::ErrorCode::NoSuchTable: state = "42S02"; break;
    case jet::ErrorCode::NoSuchColumn: state = "42S22"; break;
    case jet::ErrorCode::InvalidDefinition:
    case jet::ErrorCode::LimitExceeded: state = "42000"; break;
    case jet::ErrorCode::ValueOutOfRange: state = "22003"; break;
    case jet::ErrorCode::WrongValueCount: state = "21S01"; break;
    case jet::ErrorCode::TypeMismatch: state = "22018"; break;
    case jet::ErrorCode::NullNotAllowed:
    case jet::ErrorCode::DuplicateKey:
    case jet::ErrorCode::ReferenceMissing:
    case jet::ErrorCode::RuleBroken: state = "23000"; break;
    case jet::ErrorCode::RowTooLarge: state = "54000"; break;
    case jet::ErrorCode::FileFull: state = "HY000"; break;
    case jet::ErrorCode::ReadOnly: state = "HY000"; break;
    case jet::ErrorCode::Io:
    case jet::ErrorCode::NotJet4:
    case jet::ErrorCode::FileExists: state = "HY000"; break;
  }
  if (error.code() == jet::ErrorCode::DuplicateKey) return SqlError(state, std::string("Duplicate key: ") + error.what());
  return SqlError(state, error.what());
}

ExecutionResult Execute(const Statement& statement, jet::Database& database,
                        ParameterValues* parameters) {
  try {
    if (auto* create = std::get_if<CreateTableStatement>(&statement)) return CreateTable(*create, database);
    if (auto* insert = std::get_if<InsertStatement>(&statement)) return Insert(*insert, database, parameters);
    if (auto* index = std::get_if<CreateIndexStatement>(&statement)) return CreateIndex(*index, database);
    if (auto* foreignKey = std::get_if<AddForeignKeyStatement>(&statement)) return AddForeignKey(*foreignKey, database);
    return Select(std::get<SelectStatement>(statement), database);
  } catch (const jet::Error& error) {
    throw SqlErrorFromJet(error);
  }
}

RepeatedInsert::RepeatedInsert(const InsertStatement& insert, jet::Database& database) : insert_(insert) {
  try {
    table_ = &FindTable(database, insert.table);
  } catch (const jet::Error& error) {
    throw SqlErrorFromJet(error);
  }
}

void RepeatedInsert::Row(ParameterValues& parameters) {
  try {
    InsertRow(insert_, *table_, &parameters);
  } catch (const jet::Error& error) {
    throw SqlErrorFromJet(error);
  }
}

std::vector<jet::ColumnDef> SelectColumns(const SelectStatement& select, jet::Database& database) {
  try {
    const auto& columns = FindTable(database, select.table).definition().columns;
    if (select.countOnly) return {CountColumn()};
    return columns;
  } catch (const jet::Error& error) {
    throw SqlErrorFromJet(error);
  }
}

}  // namespace mdb
