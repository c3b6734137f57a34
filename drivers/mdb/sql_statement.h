// The statements the driver understands, as the parser hands them on.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mdb {

// A column's type as written: the type word(s) and up to two numbers in parentheses.
struct TypeSpec {
  std::string word;             // e.g. "VARCHAR", "double precision" (words joined by one blank)
  std::optional<long long> size;   // first number: length or precision
  std::optional<long long> scale;  // second number
};

enum class Nullability { Unspecified, Null, NotNull };

struct ColumnSpec {
  std::string name;
  TypeSpec type;
  bool primaryKey = false;
  Nullability nullability = Nullability::Unspecified;
  // DEFAULT, as the Access expression stored in the DefaultValue property: numbers
  // as written, strings in double quotes ("USA"), True/False, Null, or a function
  // call such as Now().
  std::optional<std::string> defaultExpression;
};

// CONSTRAINT name CHECK (rule): the rule as written, an Access validation rule.
struct CheckSpec {
  std::string name;
  std::string rule;
  std::string column;  // a column's CHECK (a field rule such as >=0 And <=1); empty: the table's
};

struct CreateTableStatement {
  std::string table;
  std::vector<ColumnSpec> columns;
  // Table constraint PRIMARY KEY (a, b); empty when the key (if any) is on a column.
  std::vector<std::string> keyColumns;
  std::string keyName;  // CONSTRAINT name, empty when not given
  std::vector<CheckSpec> checks;
};

// A literal as written. Numbers keep their text so that money and decimals stay exact.
struct Literal {
  // Parameter: a '?' marker, whose value is bound by the application.
  enum class Kind { Null, Number, HexNumber, String, Boolean, Parameter } kind = Kind::Null;
  // Number: digits without sign; HexNumber: digits after 0x; String: the value. A view
  // of the statement's text (see InsertStatement::texts).
  std::string_view text;
  bool negative = false;  // Number only
  bool boolean = false;   // Boolean only
  int parameter = 0;      // Parameter only: the marker's number, from 0
  std::size_t offset = 0;  // where it starts in the statement, for messages
};

// What the literals of a statement view when the statement keeps its own text:
// that text, and the strings whose doubled quotes were undone.
struct StatementTexts {
  std::string source;
  std::list<std::string> unescaped;  // a list: its strings stay where they are
};

struct InsertStatement {
  std::string table;
  std::vector<std::string> columns;  // empty: every column, in table order
  std::vector<Literal> values;
  int parameterCount = 0;  // '?' markers among `values`
  // Owns what `values` view; shared, so that a copy of the statement stays valid.
  // Without `source` (a statement parsed in place) the literals also view the
  // caller's text.
  std::shared_ptr<const StatementTexts> texts;
};

struct SelectStatement {
  std::string table;
  bool countOnly = false;  // SELECT COUNT(*): one row, one column, the table's row count
};

// CREATE [UNIQUE] INDEX name ON table (a [ASC|DESC], ...) [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
struct CreateIndexStatement {
  struct Column {
    std::string name;
    bool ascending = true;
  };
  std::string name;
  std::string table;
  bool unique = false;
  std::vector<Column> columns;
  bool primary = false;        // WITH PRIMARY
  bool disallowNull = false;   // WITH DISALLOW NULL
  bool ignoreNull = false;     // WITH IGNORE NULL
};

// ALTER TABLE table ADD CONSTRAINT name FOREIGN KEY (a, ...) REFERENCES other (b, ...)
//   [ON UPDATE CASCADE] [ON DELETE CASCADE] [NOT ENFORCED]
// NOT ENFORCED (standard SQL's constraint characteristic) keeps the relationship
// without referential integrity, as Access does when "Enforce Referential
// Integrity" is left off.
struct AddForeignKeyStatement {
  std::string table;
  std::string name;
  std::vector<std::string> columns;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  bool enforce = true;
};

using Statement = std::variant<CreateTableStatement, InsertStatement, SelectStatement, CreateIndexStatement,
                               AddForeignKeyStatement>;

}  // namespace mdb
