// Adding keys, indexes, foreign keys, defaults and checks to a table, with SQL
// Server's checks and messages. Runs inside the caller's transaction.
#pragma once

#include <string>

#include "catalog/schema_metadata.h"
#include "tsql/statement_context.h"
#include "tsql/tsql_statements.h"

namespace standin {

// `inCreateTable`: the table was just created with this constraint's primary
// key and column defaults already in place. `checkRows`: existing rows must
// satisfy a new foreign key (WITH CHECK). `clustered` overrides the
// constraint's own CLUSTERED/NONCLUSTERED choice when not -1.
void AddTableConstraint(StatementContext& ctx, const std::string& table, const ConstraintDef& c, bool inCreateTable,
                        bool checkRows, int clustered = -1);

// A secondary index (CREATE INDEX) or the index behind a key.
void AddIndex(StatementContext& ctx, IndexMeta index);

// Fails with error 547 (ALTER TABLE wording) when a row has no parent.
void ValidateForeignKeyRows(StatementContext& ctx, const ForeignKeyMeta& fk);

// Resolves an alias type in a column declaration; throws 2715 when unknown.
void ResolveAliasType(StatementContext& ctx, ColumnMeta& column);

// Character columns declared without COLLATE take the database's default collation.
void TakeDatabaseCollation(StatementContext& ctx, std::vector<ColumnMeta>& columns);

}  // namespace standin
