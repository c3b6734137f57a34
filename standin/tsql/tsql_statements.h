// The statements the stand-in understands, as the parser hands them over.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "storage/database_store.h"
#include "tsql/index_filter.h"

namespace standin {

// Tokens [begin, end) of the batch's token list.
struct TokenRange {
  size_t begin = 0;
  size_t end = 0;
  bool empty() const { return begin >= end; }
};

// `name` is the stored name: the bare name for the default schema dbo, the
// schema and the name joined for another schema (catalog/schema_names.h).
struct ObjectName {
  std::string database;  // empty: the current one
  std::string schema;    // as written; empty: the default schema
  std::string name;
};

struct CreateDatabaseStmt {
  std::string name;
  std::string collation;  // COLLATE name, else empty
};
struct DropDatabaseStmt { std::vector<std::string> names; bool ifExists = false; };
struct UseStmt { std::string name; };

// One column of an index or key, in key order.
struct KeyColumn {
  std::string name;
  bool descending = false;
};

enum class ReferentialAction { NoAction, Cascade, SetNull, SetDefault };

// A table constraint as declared (in CREATE TABLE or ALTER TABLE ... ADD).
struct ConstraintDef {
  enum class Kind { PrimaryKey, Unique, ForeignKey, Default, Check } kind = Kind::PrimaryKey;
  std::string name;                      // empty: generated
  int clustered = -1;                    // -1 unspecified, 0 NONCLUSTERED, 1 CLUSTERED
  std::vector<KeyColumn> columns;        // key columns; FOREIGN KEY: referencing columns; DEFAULT: FOR column
  ObjectName referenced;                 // FOREIGN KEY
  std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
  ReferentialAction onDelete = ReferentialAction::NoAction;
  ReferentialAction onUpdate = ReferentialAction::NoAction;
  std::string expression;                // DEFAULT (normalised) or CHECK text
};

struct CreateTableStmt {
  ObjectName name;
  std::vector<ColumnMeta> columns;        // pkSeq filled from column or table constraints
  std::vector<ConstraintDef> constraints; // keys, foreign keys, named defaults, checks
  std::string pkName;                     // empty: generated
  bool systemVersioned = false;           // WITH (SYSTEM_VERSIONING = ON ...)
  ObjectName historyTable;                // HISTORY_TABLE = ...; empty name: one is named for the table
};

struct CreateIndexStmt {
  ObjectName table;
  std::string name;
  bool unique = false;
  IndexFilter filter;     // WHERE ...: the rows a filtered index covers
  int clustered = -1;
  std::vector<KeyColumn> columns;
};

struct DropIndexStmt {
  std::vector<std::pair<ObjectName, std::string>> indexes;  // (table, index)
  bool ifExists = false;
};

struct AlterTableStmt {
  enum class Action { AddConstraints, AddColumns, DropConstraints, DropColumns, CheckConstraints, AlterColumn };
  ObjectName table;
  Action action = Action::AddConstraints;
  bool noCheck = false;                    // WITH NOCHECK ADD / NOCHECK CONSTRAINT
  bool withCheck = false;                  // WITH CHECK written (CHECK CONSTRAINT then also checks the rows)
  std::vector<ConstraintDef> constraints;  // ADD
  std::vector<ColumnMeta> columns;         // ADD columns / ALTER COLUMN
  std::vector<std::string> names;          // DROP / [NO]CHECK CONSTRAINT; empty with `all`
  bool all = false;
  bool ifExists = false;
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
  long long number = 0; // LOCK_TIMEOUT milliseconds
};

struct TransactionStmt {
  enum class Action { Begin, Commit, Rollback } action = Action::Begin;
};

struct ExecStmt {
  std::string database;  // [db]..procedure; empty: the current one
  std::string procedure;
  std::vector<std::pair<std::string, TokenRange>> args;  // (@name or "", value)
  TokenRange dynamic;  // EXEC ('...' + @sql): the text to run
  std::string returnVariable;    // EXEC @rc = p: receives the return status
  std::vector<bool> outputArgs;  // per argument: OUTPUT written after it
};

// Control flow is flattened: IF jumps over what it does not run, blocks vanish.
struct IfStmt {
  TokenRange condition;
  size_t falseTarget = 0;  // statement index run next when the condition is not true
};
struct GotoStmt { size_t target = 0; };
struct ReturnStmt { TokenRange value; };  // RETURN [n]: a procedure's status

struct DeclareStmt {
  struct Variable {
    std::string name;  // "@name"
    TokenRange initial;  // empty: NULL
  };
  std::vector<Variable> variables;
};

// SET @v = expr, and SELECT @a = expr, @b = expr [FROM ...].
struct AssignStmt {
  std::vector<std::pair<std::string, TokenRange>> assignments;
  TokenRange rest;  // FROM ... of a SELECT; empty for SET or a SELECT without FROM
};

struct PrintStmt { TokenRange expression; };
struct RaiserrorStmt { std::vector<TokenRange> args; };
struct NoOpStmt {};  // CHECKPOINT, UPDATE STATISTICS, DBCC: accepted, nothing to do

// CREATE [OR ALTER] / ALTER PROCEDURE, TRIGGER, FUNCTION: kept, listed, not run.
struct CreateModuleStmt {
  std::string kind;  // "P", "TR", "FN", "IF", "TF"
  ObjectName name;
  std::string parent;  // a trigger's table
  std::string text;
  bool replace = false;  // CREATE OR ALTER / ALTER
  bool mustExist = false;  // ALTER
};
struct DropModuleStmt {
  std::string kind;
  std::vector<ObjectName> names;
  bool ifExists = false;
};

// CREATE TYPE name FROM base [NULL | NOT NULL]; DROP TYPE [IF EXISTS] name.
struct CreateTypeStmt {
  std::string name;
  std::string base;
  bool nullable = true;
};
struct DropTypeStmt {
  std::string name;
  bool ifExists = false;
};

// CREATE SCHEMA name [AUTHORIZATION owner]; DROP SCHEMA [IF EXISTS] name.
struct CreateSchemaStmt {
  std::string name;
  std::string owner;  // empty: dbo
};
struct DropSchemaStmt {
  std::string name;
  bool ifExists = false;
};

// CREATE LOGIN / USER / ROLE, ALTER ROLE ... ADD|DROP MEMBER, GRANT, DENY, REVOKE.
struct SecurityStmt {
  enum class Kind {
    CreateLogin, CreateUser, CreateRole, AddMember, DropMember, Grant, Deny, Revoke,
    DropLogin, DropUser, DropRole, AlterLogin
  } kind = Kind::Grant;
  std::string name;      // login, user or role
  std::string password;  // CREATE LOGIN ... WITH PASSWORD
  std::string login;     // CREATE USER ... FOR LOGIN; empty with WITHOUT LOGIN
  bool withoutLogin = false;
  std::string member;                    // ALTER ROLE
  std::vector<std::string> permissions;  // upper case, words joined by one blank: "VIEW DEFINITION"
  std::string targetClass;               // "", "OBJECT", "SCHEMA", "DATABASE"
  ObjectName target;                     // ON ...; empty name: the database
  std::vector<std::string> principals;   // TO / FROM
  bool ifExists = false;                 // DROP LOGIN|USER|ROLE IF EXISTS
  int enable = -1;                       // ALTER LOGIN: 1 ENABLE, 0 DISABLE, -1 neither
  bool newPassword = false;              // ALTER LOGIN ... WITH PASSWORD
};

// BULK INSERT table FROM 'file' WITH (...): options as written, checked when it runs.
struct BulkInsertStmt {
  ObjectName table;
  std::string file;
  std::vector<std::pair<std::string, std::string>> options;  // (upper-case name, value or "")
};

// CREATE XML SCHEMA COLLECTION name AS expression: the schemas' text is kept.
struct CreateXmlSchemaCollectionStmt {
  ObjectName name;
  TokenRange definition;
};

using Statement = std::variant<CreateDatabaseStmt, DropDatabaseStmt, UseStmt, CreateTableStmt, CreateViewStmt,
                               InsertStmt, UpdateStmt, DropObjectStmt, QueryStmt, SetStmt, TransactionStmt, ExecStmt,
                               CreateIndexStmt, DropIndexStmt, AlterTableStmt, IfStmt, GotoStmt, ReturnStmt,
                               DeclareStmt, AssignStmt, PrintStmt, RaiserrorStmt, NoOpStmt, CreateModuleStmt,
                               DropModuleStmt, CreateTypeStmt, DropTypeStmt, CreateSchemaStmt, DropSchemaStmt, SecurityStmt,
                               BulkInsertStmt, CreateXmlSchemaCollectionStmt>;

}  // namespace standin
