// The Jet 4 engine: creates, writes and reads Access 2000-2003 (.mdb) files.
//
// This is the only public header of jet/. It knows nothing of ODBC or SQL.
// A Database is used from one thread at a time; callers that share one
// Database between threads serialise their calls.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

// Column types, numbered as in the file.
enum class ColumnType : std::uint8_t {
  Boolean = 0x01,   // Yes/No
  Byte = 0x02,
  Integer = 0x03,   // 16-bit
  Long = 0x04,      // 32-bit
  Currency = 0x05,  // 64-bit, 4 implied decimals
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,    // up to 255 bytes
  Text = 0x0A,      // 1..255 characters
  Ole = 0x0B,       // OLE Object (long binary)
  Memo = 0x0C,      // long text
  Guid = 0x0F,      // Replication ID
  Decimal = 0x10,   // precision 1..28, scale 0..precision
};

std::string_view ColumnTypeName(ColumnType type);

struct ColumnDef {
  std::string name;  // UTF-8, 1..64 characters
  ColumnType type = ColumnType::Long;
  std::uint16_t length = 0;     // Text: characters (1..255); Binary: bytes (1..255); else ignored
  std::uint8_t precision = 18;  // Decimal only
  std::uint8_t scale = 0;       // Decimal only
  bool required = false;        // NOT NULL
  // Long only, at most one per table: an insert that gives Null gets the next
  // number; an explicit value is kept and later numbers follow the largest.
  bool autoNumber = false;
  // The column's DefaultValue property, an Access expression as Access shows it
  // in table design (0, "USA", Now()); empty for none. The engine stores it and
  // does not evaluate it.
  std::string defaultValue{};
  // The column's validation rule in Access's field form (>=0 And <=1) and the text
  // an insert breaking it is refused with; empty for none. Enforced on insert.
  std::string validationRule{};
  std::string validationText{};
};

// An index besides the primary key (and, read back, the primary key too).
struct IndexDef {
  struct Column {
    std::string name{};
    bool ascending = true;
  };
  std::string name{};             // UTF-8, a valid object name
  std::vector<Column> columns{};  // 1..10, in key order
  bool unique = false;
  bool primary = false;         // the primary key (unique and required)
  bool required = false;        // no key column may hold NULL (DISALLOW NULL)
  bool ignoreNulls = false;     // rows whose key columns are all NULL get no entry
  bool foreignKey = false;      // read back only: an index a relationship made
};

struct TableDef {
  std::string name;  // UTF-8, 1..64 characters
  std::vector<ColumnDef> columns;
  // Column names of the primary key, in key order; empty for none.
  std::vector<std::string> primaryKey;
  std::string primaryKeyName = "PrimaryKey";
  // Read back only: every index of the table, primary key included.
  std::vector<IndexDef> indexes{};
  // The table's validation rule ([EndDate]>=[StartDate]) and its text; empty for none.
  std::string validationRule{};
  std::string validationText{};
};

// A relationship between two user tables: rows of `table` refer through `columns`
// to the row of `referencedTable` with equal `referencedColumns`.
struct RelationshipDef {
  std::string name{};
  std::string table{};  // the referencing ("many") side
  std::vector<std::string> columns{};
  std::string referencedTable{};  // the referenced ("one") side
  std::vector<std::string> referencedColumns{};
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  // false: kept without referential integrity whatever the rows hold (a join
  // Access shows, no rule it enforces).
  bool enforce = true;
};

// What CreateRelationship made of the request.
struct RelationshipOutcome {
  bool enforced = true;
  // Why it is not enforced (rows that already break it); empty when enforced.
  std::string note{};
};

// ---- Values -------------------------------------------------------------

struct Null {
  bool operator==(const Null&) const = default;
};

// Currency: the amount times 10,000, exactly.
struct Currency {
  std::int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};

// Date/Time: days since 1899-12-30 00:00, fraction = time of day (as Access stores it).
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};

// Decimal: unscaled magnitude (up to 28 digits, so it fits 96 bits), sign and scale.
struct Decimal {
  unsigned __int128 unscaled = 0;
  bool negative = false;
  std::uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};

struct Guid {
  std::array<std::uint8_t, 16> bytes{};  // in the file's byte order
  bool operator==(const Guid&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// One cell. Which alternative a column accepts:
//   Boolean: bool        Byte/Integer/Long: std::int64_t (range-checked)
//   Currency: Currency   Single/Double: double
//   DateTime: DateTime   Binary/Ole: Bytes
//   Text/Memo: std::string (UTF-8)     Guid: Guid     Decimal: Decimal
// Null is accepted by every column that is not required.
using Value = std::variant<Null, bool, std::int64_t, double, Currency, DateTime, Decimal, Guid,
                           std::string, Bytes>;

// ---- Errors -------------------------------------------------------------

enum class ErrorCode {
  Io,              // the operating system refused a read or write
  NotJet4,         // not a Jet 4 database, or damaged beyond reading
  FileExists,      // create() on an existing path
  TableExists,
  NoSuchTable,
  NoSuchColumn,
  InvalidDefinition,  // bad column/table definition (type, length, duplicate name, ...)
  LimitExceeded,      // 255 columns, 64-character names, 32 indexes, precision, ...
  ValueOutOfRange,    // value does not fit its column
  WrongValueCount,    // insert with more or fewer values than columns
  TypeMismatch,       // value alternative not accepted by the column
  NullNotAllowed,     // NULL in a required or key column
  DuplicateKey,
  RowTooLarge,
  FileFull,           // the 2 GB limit
  ReadOnly,
  ReferenceMissing,   // an enforced relationship finds no row for the referenced values
  RuleBroken,         // the row breaks a validation rule; the message is its ValidationText
};

class Error : public std::runtime_error {
 public:
  Error(ErrorCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
};

// ---- Tables and the database -------------------------------------------

class Database;

// Reads every row of a table in storage order.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // Fills `row` (one Value per column) and returns true, or returns false at the end.
  virtual bool Next(std::vector<Value>& row) = 0;
};

class Table {
 public:
  virtual ~Table() = default;
  virtual const TableDef& definition() const = 0;
  virtual std::uint64_t rowCount() const = 0;

  // Inserts one row: one Value per column, in column order; a Null in the AutoNumber
  // column gets the next number. Either the whole row
  // (data, long values, every index entry) is added, or nothing changes and
  // jet::Error says why.
  virtual void Insert(const std::vector<Value>& row) = 0;

  virtual std::unique_ptr<RowCursor> Scan() const = 0;
};

enum class OpenMode { ReadOnly, ReadWrite };

// How far a flush goes.
//   Written: every changed page is handed to the operating system, in the order that
//     keeps the file valid at every instant. Other programs see the data at once, and
//     a process killed at any moment leaves a valid file. A power failure before the
//     next Synced flush may lose those pages or leave them half applied: without a
//     sync between its steps, the disk may store them in another order.
//   Synced: as Written, and the flush also waits (fdatasync) until the pages are on
//     the disk, between its steps and at the end, so a power failure after it returns
//     loses nothing; pages an earlier Written flush left unsynced are synced too.
enum class Durability { Written, Synced };

class Database {
 public:
  virtual ~Database() = default;

  // Creates a new, empty database (system tables and catalog as the Jet engine
  // writes them). Fails with FileExists if the path exists. The file is complete
  // and valid for other programs when Create returns.
  static std::unique_ptr<Database> Create(const std::string& path);

  // Opens an existing Jet 4 file (ours or any other writer's).
  static std::unique_ptr<Database> Open(const std::string& path, OpenMode mode);

  virtual const std::string& path() const = 0;

  // User tables, in catalog order.
  virtual std::vector<std::string> TableNames() const = 0;

  // Finds a user table by name, ignoring letter case as Access does; nullptr if none.
  // The pointer stays valid as long as the Database.
  virtual Table* FindTable(std::string_view name) = 0;

  // Adds a table; its catalog rows, permissions and indexes are written as Access does.
  // Its `indexes` are ignored (see CreateIndex).
  virtual Table& CreateTable(const TableDef& def) = 0;

  // Adds an index to a table that may already hold rows: every key is sorted and the
  // tree built in one pass. An index with the same columns, order and flags as an
  // existing one shares its entries, as Access does. Either the whole index is added
  // or nothing changes (DuplicateKey when rows break a unique index, NullNotAllowed
  // for a required one, LimitExceeded for 32 indexes, 10 columns or too long a key).
  virtual void CreateIndex(std::string_view table, const IndexDef& index) = 0;

  // Adds a relationship as Access does: its MSysRelationships rows, its catalog entry
  // and the foreign-key indexes on both tables. The referenced columns need a unique
  // index of exactly those columns. When rows of `table` already refer to rows that
  // do not exist, the relationship is kept but not enforced, and the outcome says so.
  virtual RelationshipOutcome CreateRelationship(const RelationshipDef& relationship) = 0;

  // Brings the file on disk up to date. After Flush returns the file is complete and
  // valid for any other program. A process killed at any moment, also inside Flush,
  // leaves a file that readers open, holding at least what the last Flush wrote.
  // See Durability for what survives a power failure.
  virtual void Flush(Durability durability) = 0;
  void Flush() { Flush(Durability::Synced); }

  // Keeps at most `pages` cached pages that match the file (the most recently
  // used), giving the memory of the others back; they are read again when needed.
  // For a database that stays open while nobody uses it.
  virtual void TrimCache(std::size_t pages) = 0;
};

// ---- Integrity -----------------------------------------------------------------

// Reads the whole file without changing it and returns one line per inconsistency,
// for every table (system tables included): owned and free-space usage maps against
// the pages' owners, row counts, free-space counts, long-value chains, and every
// index entry against the rows (one entry per row, pointing at a live row, in
// strictly ascending order, with the key bytes the encoder makes of that row).
// Empty when the file is sound. Throws Error when the file cannot be opened at all.
std::vector<std::string> CheckIntegrity(const std::string& path);

}  // namespace jet
