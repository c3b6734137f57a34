#include "conversion_run.h"

#include <exception>
#include <new>
#include <optional>

#include "column_catalog.h"
#include "destination_replacement.h"
#include "odbc/data_sources.h"
#include "row_copy.h"
#include "source_row_count.h"
#include "source_failure.h"
#include "sql_names.h"
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

// Converts one table; fills `outcome` as it goes so that a failure keeps what was done.
void ConvertTable(const ConversionSettings& settings, ConversionObserver& observer,
                  TableOutcome& outcome) {
  const odbc::SourceLogon logon = settings.logon();
  ColumnCatalog catalog(logon);
  FromSource([&] { catalog.OpenColumnCatalog(outcome.sourceName); });

  SourceRows rows(logon);
  const int fieldCount = FromSource([&] { return rows.CountSourceFields(outcome.sourceName); });
  const std::vector<std::string>& keys = catalog.FindKeyColumn();
  const std::string keyConstraint = PrimaryKeyConstraint(keys);

  std::string statement = BeginCreateTable(outcome.destName);
  std::vector<ColumnMapping> columns;
  int definitionCount = 0;
  ColumnInfo column;
  while (FromSource([&] { return catalog.FetchTableColumn(column); })) {
    ColumnMapping mapping = MapColumn(column);
    BuildCreateTable(statement, BuildColumnDefinition(column, mapping, KeyRoleOf(column.columnName, keys)),
                     definitionCount, fieldCount, keyConstraint);
    columns.push_back(std::move(mapping));
  }
  if (definitionCount != fieldCount) {
    throw std::runtime_error("the source catalog lists " + std::to_string(definitionCount) +
                             " columns of " + outcome.sourceName + " but the table has " +
                             std::to_string(fieldCount));
  }

  observer.OnRepaint();
  observer.OnStatusText(ConvertingTableStatus(outcome.sourceName));

  odbc::Database destination;
  destination.OpenEx(odbc::kDestConnectString);
  CreateDestinationTable(destination, statement);
  outcome.created = true;

  if (const std::optional<std::uint64_t> count = CountSourceRows(logon, outcome.sourceName))
    observer.OnTableRowCount(outcome.sourceName, *count);

  RowCopyResult copied;
  try {
    CopyTableRows(rows.recordset(), outcome.destName, columns, destination, kRowReportInterval,
                  [&](std::uint64_t n) { observer.OnRowsCopied(outcome.sourceName, n); }, copied,
                  settings.commitInterval);
  } catch (...) {
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
  FromSource([&] {
    rows.Close();
    catalog.CloseColumnCatalog();
  });
  outcome.converted = true;
}

}  // namespace

std::string ConvertingTableStatus(std::string_view sourceName) {
  return std::string(kStatusConvertingTablesPrefix) + " " + std::string(sourceName);
}

std::string DestinationTableName(std::string_view sourceName) {
  return sourceName == "counter" ? std::string("countr") : std::string(sourceName);
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

ConversionResult RunConversion(const std::vector<std::string>& tables,
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
  result.tables.reserve(n);
  // Once the source server has not answered, every further table would wait
  // for it again (a logon time-out each): they fail at once instead.
  bool serverSilent = false;
  for (std::size_t i = 0; i < n; ++i) {
    TableOutcome& outcome = result.tables.emplace_back();
    outcome.sourceName = tables[i];
    outcome.destName = DestinationTableName(tables[i]);
    observer.OnTableStarted(i, n, outcome.sourceName);
    try {
      if (serverSilent) {
        outcome.failure = ServerNotAnsweringText() + "; the table was not tried";
      } else {
        ConvertTable(settings, observer, outcome);
      }
    } catch (const SourceFailure& e) {
      serverSilent = ServerDoesNotAnswer(e);
      outcome.failure = serverSilent ? ServerNotAnsweringText() + ": " + e.what() : e.what();
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

  observer.OnProgressPosition(kProgressHigh);
  observer.OnRepaint();
  observer.OnStatusText(kStatusConversionDone);
  observer.OnConversionFinished(result);

  odbc::RegisterSourceDsn(settings.databaseName, odbc::kSourceDsn);
  odbc::RemoveDestDsn(settings.destPath, odbc::kDestDsn, "");
  return result;
}

}  // namespace talvoro::engine
