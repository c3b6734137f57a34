#include "conversion_run.h"

#include <strings.h>

#include <algorithm>
#include <exception>
#include <chrono>
#include <future>
#include <new>
#include <optional>

#include "access_defaults.h"
#include "access_names.h"
#include "check_translation.h"
#include "column_catalog.h"
#include "definition_access.h"
#include "destination_replacement.h"
#include "odbc/data_sources.h"
#include "referenced_key_types.h"
#include "row_copy.h"
#include "source_row_count.h"
#include "source_failure.h"
#include "sql_names.h"
#include "schema_steps.h"
#include "table_creation.h"
#include "type_mapping.h"

namespace talvoro::engine {
namespace {

// Runs a request to the source; its failure is thrown as SourceFailure.
template <typename Request>
auto FromSource(Request&& request) {
  try {
    return request();
  } catch (const SourceFailure&) {
    throw;
  } catch (const odbc::DBException& e) {
    throw SourceFailure(e);
  }
}

// The number of rows the destination file holds for a table, asked on a new
// connection; nullopt when the file holds no such table.
std::optional<std::uint64_t> CountRowsInFile(const std::string& destName) {
  odbc::Database destination;
  destination.OpenEx(odbc::kDestConnectString);
  odbc::Recordset count(destination);
  try {
    count.Open("SELECT COUNT(*) FROM " + QuoteDestinationName(destName));
  } catch (const odbc::DBException& e) {
    if (e.sqlState() == "42S02") return std::nullopt;
    throw;
  }
  std::int64_t rows = 0;
  if (!count.Fetch() || !count.GetInt64(0, rows) || rows < 0) {
    throw odbc::DBException("no count of " + destName, {});
  }
  return static_cast<std::uint64_t>(rows);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

bool IsLongType(const ColumnMapping& m) {
  return strcasecmp(m.typeText.c_str(), "memo") == 0 || strcasecmp(m.typeText.c_str(), "OLEObject") == 0;
}

// The column definitions of a table, with and without the defaults, so that a
// default the destination refuses costs the defaults, not the table.
struct TableStatements {
  std::string plain;
  std::string withDefaults;
  bool anyDefault = false;
  // The same with the CHECK constraints as validation rules.
  std::string checkedPlain;
  std::string checkedWithDefaults;
  bool anyCheck = false;
};

// The statement ends with the closing parenthesis; the table's clauses go before it.
void AppendTableClauses(std::string& statement, const std::string& clauses) {
  statement.insert(statement.size() - 1, clauses);
}

// The source's row total, counted on another thread, given to the observer
// once (from this thread) as soon as it is known: before the rows when the
// count is quick, during the copy when it is not, at the latest after it.
class RowTotal {
 public:
  RowTotal(std::future<std::optional<std::uint64_t>> count, ConversionObserver& observer, const std::string& table)
      : count_(std::move(count)), observer_(observer), table_(table) {}

  void ReportIfKnown() {
    if (count_.valid() && count_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) Report();
  }
  void Report() {
    if (!count_.valid()) return;
    if (const std::optional<std::uint64_t> rows = count_.get()) observer_.OnTableRowCount(table_, *rows);
  }

 private:
  std::future<std::optional<std::uint64_t>> count_;
  ConversionObserver& observer_;
  const std::string& table_;
};

// Converts one table; fills `outcome` and `table` as it goes so that a failure
// keeps what was done.
void ConvertTable(const ConversionSettings& settings, ConversionObserver& observer,
                  TableOutcome& outcome, ConvertedTable& table) {
  const odbc::SourceLogon logon = settings.logon();
  // The row total (for the progress bar only) is asked for on its own
  // connection; the rows do not wait for it.
  RowTotal rowTotal(std::async(std::launch::async,
                               [&logon, source = outcome.source] { return CountSourceRows(logon, source); }),
                    observer, outcome.sourceName);
  ColumnCatalog catalog(logon);
  FromSource([&] { catalog.OpenColumnCatalog(outcome.source); });
  // The columns the catalog lists (hidden ones too) are the ones read.
  std::vector<ColumnInfo> catalogColumns;
  for (ColumnInfo column; FromSource([&] { return catalog.FetchTableColumn(column); });)
    catalogColumns.push_back(column);
  if (catalogColumns.empty())
    throw std::runtime_error("the source catalog lists no columns of " + outcome.sourceName);

  SourceRows rows(logon);
  std::vector<std::string> listed;
  for (const ColumnInfo& c : catalogColumns) listed.push_back(c.columnName);
  const int fieldCount = FromSource([&] { return rows.OpenSourceRows(outcome.source, listed); });
  const std::vector<std::string>& keys = catalog.FindKeyColumn();

  AccessNameScope columnNames;
  TableStatements statements{BeginCreateTable(outcome.destName), BeginCreateTable(outcome.destName), false,
                             BeginCreateTable(outcome.destName), BeginCreateTable(outcome.destName)};
  std::vector<ColumnMapping> columns;
  std::vector<std::string> defaultNotes;
  int plainCount = 0, withDefaultsCount = 0, checkedPlainCount = 0, checkedWithDefaultsCount = 0;
  // The rest of the schema, read now: a column's type may follow the key it refers to.
  SourceTableSchema schema;
  std::string schemaProblem;
  // The indexes are built after the rows: they are read on the catalog's
  // connection while the rows are copied.
  std::future<std::vector<SourceIndex>> sourceIndexes;
  try {
    schema = catalog.ReadTableSchema();
    sourceIndexes = std::async(std::launch::async, [&catalog] { return catalog.ReadTableIndexes(); });
  } catch (const odbc::DBException& e) {
    schemaProblem = "the indexes and foreign keys could not be read from the source: " + std::string(e.what());
  }
  std::vector<NamedCheck> checks;
  for (const SourceCheck& c : schema.checks) {
    if (c.trusted) {
      checks.push_back({c.name, c.definition});
    } else {
      // Access would refuse the rows that break it, and those were never checked.
      outcome.notes.push_back("CHECK constraint " + Quoted(c.name) + " " + c.definition +
                              " is not carried: it was added WITH NOCHECK, so the existing rows were not "
                              "checked against it");
    }
  }
  // Field rules name no column: their clauses are known before the names are.
  const CheckClauses fieldChecks = PlanCheckClauses(checks, {}, QuoteDestinationName);
  for (ColumnInfo& column : catalogColumns) {
    // An alias type is mapped as its base type ("datetime2", not the alias's name).
    if (const auto alias = schema.aliasBaseTypes.find(column.columnName); alias != schema.aliasBaseTypes.end())
      column.typeName = alias->second + (IsIdentityColumn(column) ? " identity" : "");
    ColumnMapping mapping = MapColumn(column);
    const bool autoNumber = MapAutoNumber(column, mapping);
    if (!autoNumber && !schema.foreignKeys.empty()) {
      if (MayFollowWidenedKey(mapping))  // only then is the key worth a look
        if (const auto key = FromSource([&] { return FindReferencedKey(logon, schema.foreignKeys, column.columnName); }))
          if (auto widened = MatchReferencedKey(mapping, key->mapping)) {
            mapping = std::move(*widened);
            outcome.notes.push_back(WidenedReferenceNote(column.columnName, *key));
          }
    }
    if (!autoNumber && IsIdentityColumn(column)) {
      outcome.notes.push_back("identity column " + Quoted(column.columnName) + " is a plain number: an Access "
                              "AutoNumber is a Long Integer, which cannot hold every " + column.typeName + " value");
    }
    DestinationColumn& dest = table.columns.emplace_back();
    dest.sourceName = column.columnName;
    dest.destName = columnNames.Claim(column.columnName);
    dest.indexable = !IsLongType(mapping);
    if (dest.destName != dest.sourceName) {
      outcome.notes.push_back("column " + Quoted(dest.sourceName) + " is called " + Quoted(dest.destName));
    }

    ColumnInfo named = column;
    named.columnName = dest.destName;
    const std::string definition = BuildColumnDefinition(named, mapping, KeyRoleOf(column.columnName, keys));
    DefaultTranslation def;
    if (!autoNumber) def = TranslateDefault(column, mapping);
    if (!def.problem.empty()) outcome.notes.push_back(def.problem);
    // The key constraint names destination columns; it is built once the names are known.
    std::vector<std::string> destKeys;
    for (const std::string& k : keys) {
      const DestinationColumn* c = FindColumn(table, k);
      destKeys.push_back(c ? c->destName : LegalAccessName(k));
    }
    const std::string keyConstraint = PrimaryKeyConstraint(destKeys);
    BuildCreateTable(statements.plain, definition, plainCount, fieldCount, keyConstraint);
    BuildCreateTable(statements.withDefaults, def.sql.empty() ? definition : definition + " DEFAULT " + def.sql,
                     withDefaultsCount, fieldCount, keyConstraint);
    statements.anyDefault = statements.anyDefault || !def.sql.empty();
    const std::string checked = definition + fieldChecks.ForColumn(column.columnName);
    BuildCreateTable(statements.checkedPlain, checked, checkedPlainCount, fieldCount, keyConstraint);
    BuildCreateTable(statements.checkedWithDefaults, def.sql.empty() ? checked : checked + " DEFAULT " + def.sql,
                     checkedWithDefaultsCount, fieldCount, keyConstraint);
    columns.push_back(std::move(mapping));
  }
  if (plainCount != fieldCount) {
    throw std::runtime_error("the source catalog lists " + std::to_string(plainCount) +
                             " columns of " + outcome.sourceName + " but the table has " +
                             std::to_string(fieldCount));
  }
  for (const std::string& k : keys) {
    if (const DestinationColumn* c = FindColumn(table, k)) table.primaryKey.push_back(c->destName);
  }
  const CheckClauses checkClauses = PlanCheckClauses(
      checks,
      [&](const std::string& source) {
        const DestinationColumn* c = FindColumn(table, source);
        return c ? c->destName : source;
      },
      QuoteDestinationName);
  outcome.notes.insert(outcome.notes.end(), checkClauses.notes.begin(), checkClauses.notes.end());
  statements.anyCheck = !checkClauses.tableClauses.empty() || !checkClauses.columnClauses.empty();
  AppendTableClauses(statements.checkedPlain, checkClauses.tableClauses);
  AppendTableClauses(statements.checkedWithDefaults, checkClauses.tableClauses);

  observer.OnRepaint();
  observer.OnStatusText(ConvertingTableStatus(outcome.sourceName));

  odbc::Database destination;
  destination.OpenEx(odbc::kDestConnectString);
  bool created = false;
  if (statements.anyCheck) {
    try {
      CreateDestinationTable(destination, statements.anyDefault ? statements.checkedWithDefaults : statements.checkedPlain);
      created = true;
    } catch (const odbc::DBException& e) {
      outcome.notes.push_back("the CHECK constraints are not carried: " + DriverMessage(e));
    }
  }
  if (!created && statements.anyDefault) {
    try {
      CreateDestinationTable(destination, statements.withDefaults);
    } catch (const odbc::DBException& e) {
      CreateDestinationTable(destination, statements.plain);
      outcome.notes.push_back("the column defaults are not carried: " + DriverMessage(e));
    }
  } else if (!created) {
    CreateDestinationTable(destination, statements.plain);
  }
  outcome.created = true;

  rowTotal.ReportIfKnown();

  RowCopyResult copied;
  try {
    CopyTableRows(rows.recordset(), outcome.destName, columns, destination, kRowReportInterval,
                  [&](std::uint64_t n) {
                    rowTotal.ReportIfKnown();
                    observer.OnRowsCopied(outcome.sourceName, n);
                  },
                  copied, settings.commitInterval);
    rowTotal.Report();
  } catch (...) {
    rowTotal.Report();
    outcome.rowsCopied = copied.rowsCopied;
    if (!copied.commitFailed) throw;
    // What the destination took was not all saved: the file itself says what
    // it holds, once this connection (and the driver's copy in memory) is gone.
    destination.Close();
    outcome.rowsNotSaved = true;
    std::string held;
    try {
      const std::optional<std::uint64_t> rows = CountRowsInFile(outcome.destName);
      outcome.rowsCopied = rows.value_or(0);
      // The table's creation itself may not have reached the file.
      outcome.created = rows.has_value();
      held = rows ? "the file holds " + std::to_string(*rows) + " rows of this table"
                  : std::string("the file does not hold this table");
    } catch (const odbc::DBException& e) {
      outcome.rowsCopied = 0;
      held = "the file cannot say how many rows it holds: " + std::string(e.what());
    }
    throw std::runtime_error("the rows could not be saved: " + copied.commitFailure + "; " + held);
  }
  outcome.rowsCopied = copied.rowsCopied;
  FromSource([&] { rows.Close(); });
  if (copied.finerThanMillisecond > 0) {
    outcome.notes.push_back(std::to_string(copied.finerThanMillisecond) +
                            (copied.finerThanMillisecond == 1 ? " datetime2 or time value had"
                                                              : " datetime2 or time values had") +
                            " digits below the millisecond, which Access does not keep: rounded down to the "
                            "millisecond");
  }

  // The rest of the schema, after the rows: indexes are built from sorted keys in one pass.
  std::vector<SourceIndex> indexes;
  try {
    if (sourceIndexes.valid()) indexes = sourceIndexes.get();
  } catch (const odbc::DBException& e) {
    schemaProblem = "the indexes could not be read from the source: " + std::string(e.what());
  }
  if (!schemaProblem.empty()) outcome.notes.push_back(schemaProblem);
  CreateSecondaryIndexes(destination, table, indexes, catalog.keyName(), keys, outcome.notes);
  table.foreignKeys = std::move(schema.foreignKeys);
  FromSource([&] { catalog.CloseColumnCatalog(); });
  outcome.converted = true;
  table.converted = true;
}

// Legal, unique Access names for the chosen tables, in list order.
void NameTables(std::vector<TableOutcome>& outcomes) {
  AccessNameScope names;
  // The system tables of the file, and the one Access adds when it opens it.
  for (const char* system : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships", "MSysAccessObjects"}) {
    names.Reserve(system);
  }
  for (TableOutcome& t : outcomes) {
    const std::string wanted = DestinationTableName(t.source);
    t.destName = names.Claim(wanted);
    if (t.destName != t.sourceName) t.notes.push_back("the table is called " + Quoted(t.destName));
  }
}

}  // namespace

std::string ConvertingTableStatus(std::string_view sourceName) {
  return std::string(kStatusConvertingTablesPrefix) + " " + std::string(sourceName);
}

std::string DestinationTableName(std::string_view sourceName) {
  return sourceName == "counter" ? std::string("countr") : std::string(sourceName);
}

std::string DestinationTableName(const odbc::SourceTable& source) {
  return source.InDefaultSchema() ? DestinationTableName(source.name) : source.schema + "_" + source.name;
}

bool ConversionResult::AllConverted() const {
  for (const TableOutcome& t : tables) {
    if (!t.converted) return false;
  }
  return true;
}

std::vector<const TableOutcome*> ConversionResult::Failed() const {
  std::vector<const TableOutcome*> failed;
  for (const TableOutcome& t : tables) {
    if (!t.converted) failed.push_back(&t);
  }
  return failed;
}

std::string CompletionText(const ConversionResult& result) {
  if (result.AllConverted()) return kCompletionMessage;
  std::string text = "Database Conversion Compleated with errors. These tables were not converted:";
  for (const TableOutcome* t : result.Failed()) {
    text += "\n" + t->sourceName + ": ";
    if (t->created && !t->rowsNotSaved) text += std::to_string(t->rowsCopied) + " rows copied, then ";
    text += t->failure;
  }
  if (!result.destinationProblem.empty()) text += "\n" + result.destinationProblem;
  return text;
}

std::string ConversionNotesText(const ConversionResult& result) {
  std::string text;
  for (const std::string& note : result.notes) {
    if (!text.empty()) text += "\n";
    text += note;
  }
  for (const TableOutcome& t : result.tables) {
    for (const std::string& note : t.notes) {
      if (!text.empty()) text += "\n";
      text += t.sourceName + ": " + note;
    }
  }
  return text;
}

ConversionResult RunConversion(const std::vector<std::string>& dboTables,
                               const ConversionSettings& settings, ConversionObserver& observer) {
  std::vector<odbc::SourceTable> tables;
  for (const std::string& name : dboTables) tables.push_back({"", name});
  return RunConversion(tables, settings, observer);
}

ConversionResult RunConversion(const std::vector<odbc::SourceTable>& tables,
                               const ConversionSettings& settings, ConversionObserver& observer) {
  ConversionResult result;
  if (tables.empty()) {
    result.emptySelection = true;
    return result;
  }

  std::string fileError;
  if (!CreateDestinationReplacing(settings, &fileError)) {
    result.destinationProblem = "The destination file " + settings.destPath +
                                " could not be created: " + fileError;
  }
  std::string failureMessage;
  if (!odbc::RegisterDestDsn(settings.destPath, odbc::kDestDsn, "", &failureMessage) &&
      !failureMessage.empty()) {
    observer.OnDataSourceFailure(failureMessage);
    std::string detail = odbc::LastInstallerError();
    if (!result.destinationProblem.empty()) result.destinationProblem += "\n";
    result.destinationProblem += "The data source dsna could not be added" +
                                 (detail.empty() ? std::string() : ": " + detail);
  }

  observer.OnStatusText(kStatusConvertingDatabase);
  observer.OnProgressRange(kProgressLow, kProgressHigh);

  const std::size_t n = tables.size();
  const int step = kProgressHigh / static_cast<int>(n);
  result.tables.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    result.tables[i].source = tables[i];
    result.tables[i].sourceName = tables[i].Display();
  }
  NameTables(result.tables);
  if (const auto note = UnreadableDefinitionsNote(settings.logon())) result.notes.push_back(*note);
  std::vector<ConvertedTable> converted(n);
  // Once the source server has not answered, every further table would wait
  // for it again (a logon time-out each): they fail at once instead.
  bool serverSilent = false;
  for (std::size_t i = 0; i < n; ++i) {
    TableOutcome& outcome = result.tables[i];
    converted[i].sourceName = outcome.sourceName;
    converted[i].destName = outcome.destName;
    observer.OnTableStarted(i, n, outcome.sourceName);
    try {
      if (serverSilent) {
        outcome.failure = ServerNotAnsweringText(settings.serverName) + "; the table was not tried";
      } else {
        ConvertTable(settings, observer, outcome, converted[i]);
      }
    } catch (const SourceFailure& e) {
      // A time-out may only mean a busy table: the run goes on when the server
      // answers a probe, and gives up on the rest only when it does not.
      if (!ServerDoesNotAnswer(e)) {
        outcome.failure = e.what();
      } else if (QueryTimedOut(e) && SourceAnswersProbe(settings.logon())) {
        outcome.failure = QueryTimedOutText(settings.sourceTimeoutSeconds) + ": " + e.what();
      } else {
        serverSilent = true;
        outcome.failure = ServerNotAnsweringText(settings.serverName) + ": " + e.what();
      }
    } catch (const odbc::DBException& e) {
      outcome.failure = e.what();
    } catch (const std::bad_alloc&) {
      outcome.failure = "out of memory";
    } catch (const std::exception& e) {
      outcome.failure = e.what();
    } catch (...) {
      outcome.failure = "unexpected failure";
    }
    observer.OnTableFinished(outcome);
    observer.OnProgressStep(step);
  }

  // The relationships, once every table they may refer to exists.
  const bool anyForeignKey = std::any_of(converted.begin(), converted.end(), [](const ConvertedTable& t) {
    return t.converted && !t.foreignKeys.empty();
  });
  if (anyForeignKey) {
    try {
      odbc::Database destination;
      destination.OpenEx(odbc::kDestConnectString);
      CreateRelationships(destination, converted, result.tables);
    } catch (const odbc::DBException& e) {
      for (std::size_t i = 0; i < n; ++i) {
        if (converted[i].converted && !converted[i].foreignKeys.empty()) {
          result.tables[i].notes.push_back("the foreign keys are not carried: " + DriverMessage(e));
        }
      }
    }
  }

  observer.OnProgressPosition(kProgressHigh);
  observer.OnRepaint();
  observer.OnStatusText(kStatusConversionDone);
  observer.OnConversionFinished(result);

  odbc::RegisterSourceDsn(settings.databaseName, odbc::kSourceDsn, settings.serverName,
                          settings.encryption);
  odbc::RemoveDestDsn(settings.destPath, odbc::kDestDsn, "");
  return result;
}

}  // namespace talvoro::engine
