#include <strings.h>

#include <cstdio>

#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "storage/sqlite_column_value.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"
#include "tsql/tsql_lexer.h"
#include "tsql/table_row_writer.h"
#include "tsql/temporal_tables.h"

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string QualifiedTableName(StatementContext& ctx, const std::string& table) {
  const std::string schema = SchemaOf(table);
  return ctx.session.db().name() + "." + (schema.empty() ? "dbo" : schema) + "." + BareName(table);
}

// A stored value as SQL Server shows it in "The duplicate key value is (...)".
std::string KeyText(const StoredValue& v) {
  switch (v.kind) {
    case StoredValue::Kind::Integer: return std::to_string(v.integer);
    case StoredValue::Kind::Real: {
      char b[40];
      std::snprintf(b, sizeof b, "%.15g", v.real);
      return b;
    }
    case StoredValue::Kind::Text: return v.text;
    case StoredValue::Kind::Blob: {
      static const char* hex = "0123456789abcdef";
      std::string s = "0x";
      for (uint8_t b : v.blob) { s += hex[b >> 4]; s += hex[b & 15]; }
      return s;
    }
    default: return "<NULL>";
  }
}

// Builds and stores rows for one INSERT; all state of the statement lives here.
class RowInserter {
 public:
  // `keepIdentity`: explicit identity values allowed whatever IDENTITY_INSERT says (bulk loads).
  RowInserter(StatementContext& ctx, const InsertStmt& s, std::optional<bool> keepIdentity = {}) : ctx_(ctx), s_(s) {
    ctx.CheckDatabasePart(s.table);
    const auto object = ctx.session.db().FindObject(s.table.name);
    if (!object) ThrowSqlError(208, "Invalid object name '" + s.table.name + "'.");
    if (object->isView)
      ThrowSqlError(4405, "View or function '" + object->name + "' is not updatable because the modification affects multiple base tables.");
    table_ = object->name;
    columns_ = ctx.session.db().TableColumns(table_);
    // Computed columns get their values from SQLite; naming one is error 271.
    for (const auto& c : columns_)
      if (!c.computed.empty()) computed_.push_back(c.name);
    std::erase_if(columns_, [](const ColumnMeta& c) { return !c.computed.empty(); });
    row_.resize(columns_.size());
    identityInsert_ = keepIdentity ? *keepIdentity : ctx.session.identityInsert.count(Lower(table_)) > 0;
    // Which table column each supplied value goes to.
    if (!s.columns.empty()) {
      for (const auto& name : s.columns) {
        int found = -1;
        for (size_t i = 0; i < columns_.size(); ++i)
          if (strcasecmp(columns_[i].name.c_str(), name.c_str()) == 0) found = static_cast<int>(i);
        for (const auto& c : computed_)
          if (strcasecmp(c.c_str(), name.c_str()) == 0)
            ThrowSqlError(271, "The column \"" + c + "\" cannot be modified because it is either a computed column or is the result of a UNION operator.");
        if (found < 0) ThrowSqlError(207, "Invalid column name '" + name + "'.");
        for (int t : targets_)
          if (t == found)
            ThrowSqlError(264, "The column name '" + name + "' is specified more than once in the SET clause or column list of an INSERT. A column cannot be assigned more than one value in the same clause.");
        targets_.push_back(found);
      }
    } else {
      if (identityInsert_)
        for (const auto& c : columns_)
          if (c.identity)
            ThrowSqlError(8101, "An explicit value for the identity column in table '" + table_ +
                                    "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
      for (size_t i = 0; i < columns_.size(); ++i)
        if (!columns_[i].identity && !columns_[i].hidden) targets_.push_back(static_cast<int>(i));
    }
    std::string sql = "INSERT INTO " + SqliteQuote(table_) + " (";
    for (size_t i = 0; i < columns_.size(); ++i) sql += (i ? ", " : "") + SqliteQuote(columns_[i].name);
    sql += ") VALUES (";
    for (size_t i = 0; i < columns_.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    insert_ = SqliteStatement(ctx.session.db().handle(), sql);
    SqliteStatement current(ctx.session.db().handle(), "SELECT identity_current FROM " +
                                                           Database::MetaTable("standin_objects", table_) + " WHERE name = ?");
    current.Bind(1, table_);
    if (current.Step() && !current.IsNull(0)) identityCurrent_ = current.Int(0);
  }

  size_t targetCount() const { return targets_.size(); }

  void CheckValueCount(size_t count) const {
    if (count == targets_.size()) return;
    if (s_.columns.empty())
      ThrowSqlError(213, "Column name or number of supplied values does not match table definition.");
    if (count > targets_.size())
      ThrowSqlError(110, "There are fewer columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement.");
    ThrowSqlError(109, "There are more columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement.");
  }

  // `supplied[k]` is the value for targets_[k].
  void InsertRow(const std::vector<Value>& supplied) {
    byColumn_.assign(columns_.size(), nullptr);
    auto& byColumn = byColumn_;
    for (size_t k = 0; k < targets_.size(); ++k) byColumn[targets_[k]] = &supplied[k];
    sqlite3_stmt* stmt = insert_.get();
    sqlite3_reset(stmt);
    for (size_t i = 0; i < columns_.size(); ++i) {
      const ColumnMeta& c = columns_[i];
      const Value* given = byColumn[i];
      currentColumn_ = static_cast<int>(i);
      const bool useDefault = !given || given->kind == Value::Kind::Default;
      Value local;  // a value made here; supplied ones are used where they stand
      const Value* v = given;
      if (!c.generated.empty()) {
        // A period column of a system-versioned table: the server sets it.
        if (!useDefault)
          ThrowSqlError(13536, "Cannot insert an explicit value into a GENERATED ALWAYS column in table '" +
                                   QualifiedTableName(ctx_, table_) +
                                   "'. Use INSERT with a column list to exclude the GENERATED ALWAYS column, or insert a DEFAULT into GENERATED ALWAYS column.");
        local = Value::Str(c.generated == "ROW START" ? UtcNowText() : kPeriodOpenEnd);
        v = &local;
      } else if (c.identity) {
        if (!useDefault) {
          if (!identityInsert_)
            ThrowSqlError(544, "Cannot insert explicit value for identity column in table '" + table_ +
                                   "' when IDENTITY_INSERT is set to OFF.");
        } else {
          const int64_t next = identityCurrent_ ? *identityCurrent_ + c.identityIncrement : c.identitySeed;
          local = Value::Int(next);
          v = &local;
        }
      } else if (c.type.kind == TypeKind::Timestamp) {
        if (!useDefault && given->kind != Value::Kind::Null) {
          ConversionError error;
          ConvertToColumn(*given, c.type, error);
          ThrowSqlError(error.number, error.text);
        }
        const int64_t ts = ctx_.session.db().NextTimestamp();
        StoredValue stored;
        stored.kind = StoredValue::Kind::Blob;
        for (int b = 7; b >= 0; --b) stored.blob.push_back(static_cast<uint8_t>(ts >> (8 * b)));
        BindStoredValue(stmt, static_cast<int>(i + 1), stored);
        continue;
      } else if (useDefault) {
        local = DefaultValue(c);
        v = &local;
      }
      if (v->kind == Value::Kind::Null && !c.nullable)
        ThrowSqlError(515, "Cannot insert the value NULL into column '" + c.name + "', table '" +
                               QualifiedTableName(ctx_, table_) + "'; column does not allow nulls. INSERT fails.", 2);
      ConversionError error;
      auto stored = ConvertToColumn(*v, c.type, error);
      if (!stored) ThrowSqlError(error.number, error.text);
      if (c.identity) {
        const int64_t id = stored->integer;
        if (!identityCurrent_ || (c.identityIncrement > 0 ? id > *identityCurrent_ : id < *identityCurrent_) || useDefault)
          identityCurrent_ = id;
        identityChanged_ = true;
      }
      row_[i] = std::move(*stored);  // kept for a duplicate-key message, and bound where it stands
      BindStoredValue(stmt, static_cast<int>(i + 1), row_[i], false);
    }
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) {
      const int extended = sqlite3_extended_errcode(ctx_.session.db().handle());
      if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_ROWID ||
          extended == SQLITE_CONSTRAINT_UNIQUE) {
        std::map<std::string, std::string> rowText;
        for (size_t i = 0; i < columns_.size(); ++i) rowText[Lower(columns_[i].name)] = KeyText(row_[i]);
        const DuplicateKey d =
            DescribeDuplicateKey(ctx_.session.db().handle(), table_, sqlite3_errmsg(ctx_.session.db().handle()), rowText);
        ThrowSqlError(d.number, d.text);
      }
      throw SqlError{TranslateSqliteError(SqliteError(extended, sqlite3_errmsg(ctx_.session.db().handle())))};
    }
    ++rows_;
  }

  void Finish() {
    if (!identityChanged_) return;
    ctx_.session.lastIdentity = identityCurrent_;
    SqliteStatement update(ctx_.session.db().handle(), "UPDATE " + Database::MetaTable("standin_objects", table_) +
                                                           " SET identity_current = ? WHERE name = ?");
    update.Bind(1, *identityCurrent_);
    update.Bind(2, table_);
    update.Step();
  }

  uint64_t rows() const { return rows_; }
  const std::vector<ColumnMeta>& columns() const { return columns_; }
  // The column whose value the last InsertRow was converting or storing.
  int currentColumn() const { return currentColumn_; }

 private:
  Value DefaultValue(const ColumnMeta& c) {
    if (c.defaultText.empty()) return Value::Null();
    auto cached = defaults_.find(c.ordinal);
    if (cached == defaults_.end()) {
      LexResult lex = Tokenize(c.defaultText);
      cached = defaults_.emplace(c.ordinal, std::move(lex.tokens)).first;
    }
    const auto& tokens = cached->second;
    return ctx_.Evaluate(tokens, TokenRange{0, tokens.size() - 1});
  }

  StatementContext& ctx_;
  const InsertStmt& s_;
  std::string table_;
  std::vector<ColumnMeta> columns_;
  std::vector<int> targets_;
  bool identityInsert_ = false;
  std::optional<int64_t> identityCurrent_;
  bool identityChanged_ = false;
  SqliteStatement insert_;
  std::map<int, std::vector<SqlToken>> defaults_;
  std::vector<StoredValue> row_;  // the row being inserted, for duplicate-key messages
  uint64_t rows_ = 0;
  int currentColumn_ = -1;
  std::vector<std::string> computed_;   // names of the table's computed columns
  std::vector<const Value*> byColumn_;  // the supplied value of each column, for the row being inserted
};

}  // namespace

struct TableRowWriter::Rows {
  InsertStmt statement;  // every column listed, so each row supplies all of them
  std::optional<RowInserter> inserter;
};

TableRowWriter::TableRowWriter(StatementContext& ctx, const ObjectName& table, bool keepIdentity)
    : rows_(std::make_unique<Rows>()) {
  rows_->statement.table = table;
  if (const auto object = ctx.session.db().FindObject(table.name))
    for (const auto& c : ctx.session.db().TableColumns(object->name))
      if (c.computed.empty()) rows_->statement.columns.push_back(c.name);
  rows_->inserter.emplace(ctx, rows_->statement, keepIdentity);  // refuses a missing table or a view
}
TableRowWriter::~TableRowWriter() = default;
const std::vector<ColumnMeta>& TableRowWriter::columns() const { return rows_->inserter->columns(); }
void TableRowWriter::Insert(const std::vector<Value>& row) { rows_->inserter->InsertRow(row); }
void TableRowWriter::Finish() { rows_->inserter->Finish(); }
uint64_t TableRowWriter::rows() const { return rows_->inserter->rows(); }
int TableRowWriter::currentColumn() const { return rows_->inserter->currentColumn(); }

void RunInsert(StatementContext& ctx, const InsertStmt& s) {
  uint64_t rows = 0;
  ctx.Atomically([&] {
    try {
      RowInserter inserter(ctx, s);
      if (s.defaultValues) {
        if (!s.columns.empty()) ThrowSqlError(102, "Incorrect syntax near 'DEFAULT'.");
        inserter.InsertRow(std::vector<Value>(inserter.targetCount(), [] { Value v; v.kind = Value::Kind::Default; return v; }()));
      } else if (!s.select.empty()) {
        // The rows are read first, so a table copying into itself sees only the old rows.
        std::vector<std::vector<Value>> source;
        {
          SqliteStatement q(ctx.session.db().handle(), ctx.Rewrite(ctx.batch.tokens, s.select));
          const int n = sqlite3_column_count(q.get());
          inserter.CheckValueCount(static_cast<size_t>(n));
          while (q.Step()) {
            std::vector<Value> row;
            for (int i = 0; i < n; ++i) row.push_back(ValueFromSqliteColumn(q.get(), i));
            source.push_back(std::move(row));
          }
        }
        for (const auto& row : source) inserter.InsertRow(row);
      } else {
        std::vector<Value> values;
        for (const auto& row : s.rows) {
          inserter.CheckValueCount(row.size());
          values.clear();
          for (const auto& range : row) values.push_back(ctx.Evaluate(ctx.batch.tokens, range));
          inserter.InsertRow(values);
        }
      }
      inserter.Finish();
      rows = inserter.rows();
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.DoneCount(kCmdInsert, rows);
}

}  // namespace standin
