// The statements the stand-in understands, as the parser hands them over.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "database_store.h"

namespace standin {

// Tokens [begin, end) of the batch's token list.
struct TokenRange {
  size_t begin = 0;
  size_t end = 0;
  bool empty() const { return begin >= end; }
};

struct ObjectName {
  std::string database;  // empty: the current one
  std::string name;
};

struct CreateDatabaseStmt { std::string name; };
struct DropDatabaseStmt { std::vector<std::string> names; bool ifExists = false; };
struct UseStmt { std::string name; };

struct CreateTableStmt {
  ObjectName name;
  std::vector<ColumnMeta> columns;        // pkSeq filled from column or table constraints
  std::vector<std::vector<std::string>> uniqueKeys;
  std::string pkName;                     // empty: generated
};

struct CreateViewStmt {
  ObjectName name;
  std::vector<std::string> columns;
  TokenRange select;
};

struct InsertStmt {
  ObjectName table;
  std::vector<std::string> columns;             // empty: all, in order
  std::vector<std::vector<TokenRange>> rows;    // VALUES (...), (...)
  bool defaultValues = false;
  TokenRange select;                            // INSERT ... SELECT
};

struct UpdateStmt {
  ObjectName table;
  std::vector<std::pair<std::string, TokenRange>> assignments;  // column = expression
  TokenRange where;                                             // condition after WHERE; empty: every row
};

struct DropObjectStmt {
  bool view = false;
  bool ifExists = false;
  std::vector<ObjectName> names;
};

// Statements SQLite runs after rewriting (SELECT, DELETE, TRUNCATE).
struct QueryStmt {
  enum class Kind { Select, Delete, Truncate } kind = Kind::Select;
  TokenRange range;
  ObjectName table;  // DELETE / TRUNCATE target
};

struct SetStmt {
  std::string option;   // upper case: NOCOUNT, FMTONLY, IDENTITY_INSERT, ... (others ignored)
  bool on = false;
  ObjectName table;     // IDENTITY_INSERT
};

struct TransactionStmt {
  enum class Action { Begin, Commit, Rollback } action = Action::Begin;
};

struct ExecStmt {
  std::string procedure;
  std::vector<std::pair<std::string, TokenRange>> args;  // (@name or "", value)
};

using Statement = std::variant<CreateDatabaseStmt, DropDatabaseStmt, UseStmt, CreateTableStmt, CreateViewStmt,
                               InsertStmt, UpdateStmt, DropObjectStmt, QueryStmt, SetStmt, TransactionStmt, ExecStmt>;

}  // namespace standin
