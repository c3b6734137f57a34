// One handler per kind of statement; each writes its own reply tokens and
// throws SqlError on failure.
#pragma once

#include "catalog/catalog_procedures.h"
#include "tsql/statement_context.h"
#include "tsql/tsql_statements.h"

namespace standin {

// Databases and objects (ddl_statements.cpp).
void RunCreateDatabase(StatementContext& ctx, const CreateDatabaseStmt& s);
void RunDropDatabase(StatementContext& ctx, const DropDatabaseStmt& s);
void RunUse(StatementContext& ctx, const UseStmt& s);
void RunCreateTable(StatementContext& ctx, const CreateTableStmt& s);
// The same without a reply of its own (a history table made for another).
void CreateTable(StatementContext& ctx, const CreateTableStmt& s);
void RunCreateView(StatementContext& ctx, const CreateViewStmt& s);
void RunDropObject(StatementContext& ctx, const DropObjectStmt& s);

// alter_table_statement.cpp
void RunAlterTable(StatementContext& ctx, const AlterTableStmt& s);
void RunCreateIndex(StatementContext& ctx, const CreateIndexStmt& s);
void RunDropIndex(StatementContext& ctx, const DropIndexStmt& s);

// insert_statement.cpp
void RunInsert(StatementContext& ctx, const InsertStmt& s);

// bulk_insert_statement.cpp
void RunBulkInsert(StatementContext& ctx, const BulkInsertStmt& s);

// xml_schema_collection_statement.cpp
void RunCreateXmlSchemaCollection(StatementContext& ctx, const CreateXmlSchemaCollectionStmt& s);

// update_statement.cpp
void RunUpdate(StatementContext& ctx, const UpdateStmt& s);

// SELECT, DELETE, TRUNCATE (query_statement.cpp).
void RunQuery(StatementContext& ctx, const QueryStmt& s);

// SET, transactions, EXEC (session_statements.cpp).
void RunSet(StatementContext& ctx, const SetStmt& s);
void RunTransaction(StatementContext& ctx, const TransactionStmt& s);
void RunExec(StatementContext& ctx, const ExecStmt& s);

// Script statements (script_statements.cpp).
bool EvaluateCondition(StatementContext& ctx, TokenRange condition);
void RunDeclare(StatementContext& ctx, const DeclareStmt& s);
void RunAssign(StatementContext& ctx, const AssignStmt& s);
void RunPrint(StatementContext& ctx, const PrintStmt& s);
void RunRaiserror(StatementContext& ctx, const RaiserrorStmt& s);
void RunCreateModule(StatementContext& ctx, const CreateModuleStmt& s);
void RunDropModule(StatementContext& ctx, const DropModuleStmt& s);
void RunCreateType(StatementContext& ctx, const CreateTypeStmt& s);
void RunDropType(StatementContext& ctx, const DropTypeStmt& s);
// schema_statements.cpp
void RunCreateSchema(StatementContext& ctx, const CreateSchemaStmt& s);
void RunDropSchema(StatementContext& ctx, const DropSchemaStmt& s);
// Error 2760 when the schema of a new object's stored name does not exist.
void RequireSchema(StatementContext& ctx, const std::string& storedName);
// sp_addtype, sp_droptype; false when `procedure` is neither.
bool RunScriptProcedure(StatementContext& ctx, const std::string& procedure, const ProcedureArgs& args);
void RunSecurity(StatementContext& ctx, const SecurityStmt& s);
struct StatementAccess;
// Throws 229 / 262 (and the errors SQL Server gives for DROP / ALTER / CREATE
// INDEX without permission) when the session's user may not run `statement`.
void CheckPermissions(StatementContext& ctx, const Statement& statement, const StatementAccess& access);
// sp_addrolemember / sp_droprolemember; false for any other procedure.
bool RunSecurityProcedure(StatementContext& ctx, const std::string& procedure, const ProcedureArgs& args);

// Transaction control shared by T-SQL and transaction-manager requests.
void BeginTransaction(SessionState& session, ReplyWriter& w);
void CommitTransaction(SessionState& session, ReplyWriter& w);
void RollbackTransaction(SessionState& session, ReplyWriter& w);

}  // namespace standin
