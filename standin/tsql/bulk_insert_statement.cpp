// BULK INSERT: a character data file on the server's disk loaded into a table
// in one statement (one SQLite transaction, one prepared insert). Relative
// paths are read from the server's data folder.
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <algorithm>

#include "catalog/schema_metadata.h"
#include "tsql/bulk_data_file.h"
#include "tsql/check_constraints.h"
#include "tsql/file_bytes.h"
#include "tsql/statement_handlers.h"
#include "tsql/table_row_writer.h"

namespace standin {
namespace {

struct BulkOptions {
  std::string fieldTerminator = "\t";
  std::string rowTerminator = "\r\n";
  std::string codePage;  // empty: the default (OEM)
  bool wide = false;
  int64_t firstRow = 1, lastRow = 0;  // lastRow 0: to the end
  int64_t maxErrors = 10;
  bool keepIdentity = false, keepNulls = false, checkConstraints = false;
};

[[noreturn]] void BadOption(const std::string& name) { ThrowSqlError(102, "Incorrect syntax near '" + name + "'."); }

BulkOptions ReadOptions(const BulkInsertStmt& s) {
  BulkOptions o;
  for (const auto& [name, value] : s.options) {
    auto number = [&] {
      char* end = nullptr;
      const long long n = std::strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end || n < 0) BadOption(name);
      return static_cast<int64_t>(n);
    };
    if (name == "FIELDTERMINATOR" || name == "ROWTERMINATOR") {
      const bool row = name == "ROWTERMINATOR";
      const auto t = DecodeTerminator(value, row);
      if (!t) BadOption(name);
      (row ? o.rowTerminator : o.fieldTerminator) = *t;
    } else if (name == "CODEPAGE") {
      o.codePage = value;
    } else if (name == "DATAFILETYPE") {
      if (strcasecmp(value.c_str(), "widechar") == 0) o.wide = true;
      else if (strcasecmp(value.c_str(), "char") != 0)
        ThrowSqlError(4880, "Cannot bulk load. The DATAFILETYPE '" + value + "' is not supported here; use 'char' or 'widechar'.");
    } else if (name == "FIRSTROW") {
      o.firstRow = number();
    } else if (name == "LASTROW") {
      o.lastRow = number();
    } else if (name == "MAXERRORS") {
      o.maxErrors = number();
    } else if (name == "KEEPIDENTITY") {
      o.keepIdentity = true;
    } else if (name == "KEEPNULLS") {
      o.keepNulls = true;
    } else if (name == "CHECK_CONSTRAINTS") {
      o.checkConstraints = true;
    } else if (name == "TABLOCK" || name == "FIRE_TRIGGERS" || name == "BATCHSIZE" || name == "ROWS_PER_BATCH" ||
               name == "KILOBYTES_PER_BATCH" || name == "ORDER") {
      // How SQL Server locks, batches or sorts the load: nothing to change here.
    } else {
      BadOption(name);
    }
  }
  // The file's encoding comes first: terminators are matched in its UTF-8 text.
  std::string probe;
  if (!o.wide && !o.codePage.empty() && o.codePage.find_first_not_of("0123456789") == std::string::npos &&
      !DecodeDataFile("\x80", false, o.codePage, probe))
    ThrowSqlError(2775, "The code page " + o.codePage + " is not supported by the server.");
  return o;
}

bool IsHexDigits(std::string_view s) {
  if (s.empty() || s.size() % 2) return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A field's value for its column, made in `v` (its buffers reused row after
// row): binary columns hold hex digits, as bcp writes them, and so may CLR
// types (else their text form: '/1/', 'POINT(...)'). False: bad hex.
bool FieldValue(std::string_view field, const ColumnMeta& c, Value& v) {
  const TypeKind k = c.type.kind;
  v.declaredType.reset();
  const bool clrType = k == TypeKind::HierarchyId || k == TypeKind::Geography || k == TypeKind::Geometry;
  if (IsBinaryKind(k) || (clrType && IsHexDigits(field))) {
    if (field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) field.remove_prefix(2);
    if (!IsHexDigits(field) && !field.empty()) return false;
    v.kind = Value::Kind::Binary;
    v.bytes.clear();
    for (size_t i = 0; i + 1 < field.size(); i += 2)
      v.bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(field.substr(i, 2)), nullptr, 16)));
    return true;
  }
  v.kind = Value::Kind::String;
  v.text.assign(field);
  v.national = IsNCharKind(k);
  return true;
}

bool IsConversionError(int number) {
  switch (number) {
    case 241: case 242: case 245: case 8114: case 8115: case 220: case 232: case 8169: case 6522: case 295: case 9455:
    case 24001:
      return true;
    default:
      return false;
  }
}

FileBytes ReadFile(const std::string& dataDir, const std::string& written) {
  const std::string path = written.empty() || written[0] == '/' ? written : dataDir + "/" + written;
  FileBytes file(path);
  if (const int error = file.error()) {
    if (error == ENOENT || error == EACCES || error == ENOTDIR)
      ThrowSqlError(4860, "Cannot bulk load. The file \"" + written + "\" does not exist or you don't have file access rights.");
    ThrowSqlError(4861, "Cannot bulk load because the file \"" + written +
                            "\" could not be opened. Operating system error code " + std::to_string(error) + "(" +
                            std::strerror(error) + ").");
  }
  return file;
}

// Without CHECK_CONSTRAINTS the table's foreign keys and CHECK constraints are
// not checked during the load (their triggers are lifted) and are left not
// trusted, as on SQL Server.
class UncheckedForeignKeys {
 public:
  UncheckedForeignKeys(StatementContext& ctx, const std::string& table) : ctx_(ctx) {
    sqlite3* db = ctx.session.db().handle();
    for (auto& fk : AllForeignKeys(db))
      if (strcasecmp(fk.table.c_str(), table.c_str()) == 0 && !fk.disabled) keys_.push_back(fk);
    for (const auto& fk : keys_) DropForeignKeyTriggers(db, fk.name);
    for (auto& c : TableConstraints(db, table))
      if (c.kind == "C" && !CheckState(db, c.name).first) checks_.push_back(c);
    for (const auto& c : checks_) DropCheckTriggers(db, c.name);
  }
  // Inside the load's transaction: a failed load restores the triggers with its rollback.
  void Restore(bool loadedRows) {
    sqlite3* db = ctx_.session.db().handle();
    for (const auto& fk : keys_) {
      CreateForeignKeyTriggers(db, ctx_.session.db().name(), fk);
      if (loadedRows) SetForeignKeyState(db, fk.name, false, true);
    }
    for (const auto& c : checks_) {
      CreateCheckTriggers(ctx_, c);
      if (loadedRows) SetCheckState(db, c.name, false, true);
    }
  }

 private:
  StatementContext& ctx_;
  std::vector<ForeignKeyMeta> keys_;
  std::vector<ConstraintMeta> checks_;
};

}  // namespace

void RunBulkInsert(StatementContext& ctx, const BulkInsertStmt& s) {
  ctx.CheckDatabasePart(s.table);
  const BulkOptions o = ReadOptions(s);
  uint64_t rows = 0;
  ctx.Atomically([&] {
    try {
      TableRowWriter writer(ctx, s.table, o.keepIdentity);
      const auto& columns = writer.columns();
      const FileBytes file = ReadFile(ctx.session.directory.path(), s.file);
      std::string decoded;
      const auto text = DecodeDataFile(file.bytes(), o.wide, o.codePage, decoded);
      if (!text) ThrowSqlError(2775, "The code page " + o.codePage + " is not supported by the server.");
      std::optional<UncheckedForeignKeys> unchecked;
      if (!o.checkConstraints) unchecked.emplace(ctx, ctx.session.db().FindObject(s.table.name)->name);

      BulkDataReader reader(*text, o.fieldTerminator, o.rowTerminator);
      std::vector<std::string_view> fields;
      std::vector<Value> values(columns.size());
      int64_t errors = 0;
      for (int64_t rowNumber = 1;; ++rowNumber) {
        const auto result = reader.Next(columns.size(), fields);
        if (result == BulkDataReader::Result::End) break;
        if (result == BulkDataReader::Result::Truncated)
          ThrowSqlError(4832, "Bulk load: An unexpected end of file was encountered in the data file.");
        if (rowNumber < o.firstRow) continue;
        if (o.lastRow && rowNumber > o.lastRow) break;
        size_t column = 0;
        try {
          for (; column < columns.size(); ++column) {
            const ColumnMeta& c = columns[column];
            Value& v = values[column];
            if ((c.identity && !o.keepIdentity) || c.type.kind == TypeKind::Timestamp || !c.generated.empty()) {
              v = Value();
              v.kind = Value::Kind::Default;
            } else if (fields[column].empty()) {
              if (o.keepNulls) {
                v = Value::Null();
              } else {
                v = Value();
                v.kind = Value::Kind::Default;
              }
            } else if (!FieldValue(fields[column], c, v)) {
              ThrowSqlError(245, "");  // bad hex digits: reported below as this row's conversion error
            }
          }
          writer.Insert(values);
        } catch (const SqlError& e) {
          const int number = e.message.number;
          const bool truncation = number == 8152 || number == 2628;
          if (!truncation && !IsConversionError(number)) throw;
          const int at = column < columns.size() ? static_cast<int>(column) : writer.currentColumn();
          const std::string where = " for row " + std::to_string(rowNumber) + ", column " + std::to_string(at + 1) +
                                    " (" + columns[static_cast<size_t>(at)].name + ").";
          ServerMessage m;
          m.severity = 16;
          m.state = 1;
          m.number = truncation ? 4863 : 4864;
          m.text = std::string("Bulk load data conversion error (") +
                   (truncation ? "truncation" : "type mismatch or invalid character for the specified codepage") + ")" +
                   where;
          // A row that does not convert is left out; the load fails once more than MAXERRORS rows did.
          if (++errors > o.maxErrors) {
            WriteMessage(ctx.w, m);
            ThrowSqlError(4865, "Cannot bulk load because the maximum number of errors (" +
                                    std::to_string(o.maxErrors) + ") was exceeded.");
          }
          WriteMessage(ctx.w, m);
        }
      }
      writer.Finish();
      rows = writer.rows();
      if (unchecked) unchecked->Restore(rows > 0);
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.DoneCount(kCmdInsert, rows);
}

}  // namespace standin
