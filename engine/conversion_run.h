// The conversion run: creates the destination file and its data source, turns
// each chosen source table into a destination table with all its rows, and
// settles the data sources at the end. It reports through ConversionObserver
// and never touches a window; the wizard's Convert handler and the command-line
// mode both drive it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion_settings.h"
#include "odbc/source_table.h"

namespace talvoro::engine {

inline constexpr char kStatusConvertingDatabase[] = "Converting Database...";
inline constexpr char kStatusConvertingTablesPrefix[] = "Converting....Tables  ";
inline constexpr char kStatusConversionDone[] = "Database Conversion Compleated";
inline constexpr char kCompletionMessage[] = "Database Conversion Compleated Successfully";
inline constexpr char kSelectTableMessage[] = "Please Select a Table";

// The progress range of the run; each table advances it by kProgressHigh / n.
inline constexpr int kProgressLow = 40;
inline constexpr int kProgressHigh = 650;

// How often (in rows) the run calls OnRowsCopied during a table's row copy.
inline constexpr std::uint64_t kRowReportInterval = 1000;

// "Converting....Tables  " + " " + name.
std::string ConvertingTableStatus(std::string_view sourceName);

// The name a source table gets in the destination: a dbo table keeps its name
// ("counter" becomes "countr", exact, case-sensitive), a table of another
// schema is called "Schema_Table", as Access names the tables it imports.
// (The run then makes the name legal and unique.)
std::string DestinationTableName(std::string_view sourceName);
std::string DestinationTableName(const odbc::SourceTable& source);

// What became of one table.
struct TableOutcome {
  std::string sourceName;  // source.Display(), for messages and the observer
  std::string destName;
  bool created = false;          // the destination table exists
  std::uint64_t rowsCopied = 0;  // rows committed to the destination
  bool converted = false;        // created and every row copied
  std::string failure;           // the driver's message (with SQLSTATE) when not converted
  // A commit failed: `failure` says that the rows could not be saved, and
  // rowsCopied is what the file holds for the table (asked after the failure).
  bool rowsNotSaved = false;
  // What the Access file holds differently from the source, one sentence each:
  // renames, schema items not carried and why, values stored less precisely.
  std::vector<std::string> notes;
  odbc::SourceTable source;  // what every statement and catalog call names
};

struct ConversionResult {
  // The list of tables was empty: nothing was done (no file, no data source);
  // the wizard shows kSelectTableMessage.
  bool emptySelection = false;
  std::vector<TableOutcome> tables;
  // Notes about the whole run (what the login may not read), before the tables'.
  std::vector<std::string> notes;
  // Installer messages about the destination file or "dsna", when there were any.
  std::string destinationProblem;

  bool AllConverted() const;
  std::vector<const TableOutcome*> Failed() const;
};

// The completion text: kCompletionMessage when every table converted, otherwise
// which tables failed and why, one line each.
std::string CompletionText(const ConversionResult& result);

// The notes of every table, one line each ("Orders: ..."); empty when there are none.
std::string ConversionNotesText(const ConversionResult& result);

// Receives the run's progress. Every method has an empty default. All calls come
// from the thread that called RunConversion.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;

  // The status line: kStatusConvertingDatabase, then ConvertingTableStatus(name)
  // per table, then kStatusConversionDone.
  virtual void OnStatusText(const std::string& /*text*/) {}
  // The progress bar: the range once at the start, then one step of `step`
  // after each table (converted or not), then the final position kProgressHigh.
  virtual void OnProgressRange(int /*lower*/, int /*upper*/) {}
  virtual void OnProgressStep(int /*step*/) {}
  virtual void OnProgressPosition(int /*position*/) {}
  // The page should repaint now (before each table's status text, and at the end).
  virtual void OnRepaint() {}
  // A table begins (index from 0 of `count`).
  virtual void OnTableStarted(std::size_t /*index*/, std::size_t /*count*/,
                              const std::string& /*sourceName*/) {}
  // The number of rows the source table holds, once it is known: before its rows
  // are copied when the server answers quickly, else between two OnRowsCopied or
  // after the last; not called when the source could not say.
  virtual void OnTableRowCount(const std::string& /*sourceName*/, std::uint64_t /*rows*/) {}
  // Called every kRowReportInterval rows during a row copy (and at its end) so that
  // a user interface can keep painting and show the count.
  virtual void OnRowsCopied(const std::string& /*sourceName*/, std::uint64_t /*rows*/) {}
  virtual void OnTableFinished(const TableOutcome& /*outcome*/) {}
  // "dsna" could not be added: show kDataSourceFailureMessage. The run goes on.
  virtual void OnDataSourceFailure(const std::string& /*message*/) {}
  // After the last table and kStatusConversionDone: the wizard shows its
  // completion dialog here (CompletionText(result)), before the data sources are
  // settled.
  virtual void OnConversionFinished(const ConversionResult& /*result*/) {}
};

// Runs the whole conversion of `tables` (source names, in order) with the
// settings' destination path, database name and source logon. An empty list
// returns at once with emptySelection set. A table that fails does not stop the
// run; its outcome says why. Each table gets Access names (see access_names.h),
// its identity column as an AutoNumber, its defaults and, after its rows, its
// secondary indexes; after the last table the foreign keys between converted
// tables become relationships. What cannot be carried is listed in the notes.
ConversionResult RunConversion(const std::vector<odbc::SourceTable>& tables,
                               const ConversionSettings& settings, ConversionObserver& observer);
// The same for tables of the default schema dbo, by their bare names.
ConversionResult RunConversion(const std::vector<std::string>& dboTables,
                               const ConversionSettings& settings, ConversionObserver& observer);

}  // namespace talvoro::engine
