#include "row_copy.h"

#include <stdexcept>
#include <thread>

#include "source_failure.h"
#include "sql_names.h"
#include "statement_queue.h"
#include "value_literals.h"

namespace talvoro::engine {
namespace {

[[noreturn]] void ThrowUnstorable(odbc::Recordset& source, int column, const std::string& what) {
  throw std::runtime_error("column " + source.columns()[column].name + ": " + what);
}

void AppendTimestamp(odbc::Recordset& source, int column, const SQL_TIMESTAMP_STRUCT& value,
                     std::string& out, RowBuffers& buffers) {
  if (buffers.countFinerThanMillisecond && value.fraction % 1000000 != 0) ++buffers.finerThanMillisecond;
  if (!AppendTimestampLiteral(value, out)) {
    ThrowUnstorable(source, column,
                    "the date " + std::to_string(value.year) + "-" + std::to_string(value.month) +
                        "-" + std::to_string(value.day) +
                        " lies outside the years 100 to 9999 that Access can store");
  }
}

}  // namespace

void FormatColumnValue(odbc::Recordset& source, int column, ValueKind kind, std::string& out,
                       RowBuffers& buffers) {
  switch (kind) {
    case ValueKind::Integer: {
      std::int64_t value = 0;
      if (!source.GetInt64(column, value)) break;
      AppendIntegerLiteral(value, out);
      return;
    }
    case ValueKind::Exact:
      if (!source.GetText(column, buffers.value)) break;
      out += buffers.value;
      return;
    case ValueKind::Double: {
      double value = 0;
      if (!source.GetDouble(column, value)) break;
      AppendDoubleLiteral(value, out);
      return;
    }
    case ValueKind::Real: {
      float value = 0;
      if (!source.GetFloat(column, value)) break;
      AppendRealLiteral(value, out);
      return;
    }
    case ValueKind::DateTime: {
      SQL_TIMESTAMP_STRUCT value{};
      if (!source.GetTimestamp(column, value)) break;
      AppendTimestamp(source, column, value, out, buffers);
      return;
    }
    case ValueKind::DateText: {
      if (!source.GetText(column, buffers.value)) break;
      SQL_TIMESTAMP_STRUCT value{};
      if (!ParseTimestampText(buffers.value, value)) {
        ThrowUnstorable(source, column, "unreadable date or time '" + buffers.value + "'");
      }
      AppendTimestamp(source, column, value, out, buffers);
      return;
    }
    case ValueKind::Text:
      if (!source.GetText(column, buffers.value)) break;
      AppendTextLiteral(buffers.value, out);
      return;
    case ValueKind::WideText:
      if (!source.GetUtf8FromWide(column, buffers.value)) break;
      AppendTextLiteral(buffers.value, out);
      return;
    case ValueKind::Binary:
      if (!source.GetBinary(column, buffers.value)) break;
      AppendBinaryLiteral(buffers.value, out);
      return;
    case ValueKind::Guid:
      if (!source.GetText(column, buffers.value)) break;
      AppendGuidLiteral(buffers.value, out);
      return;
  }
  out += kNullLiteral;
}

void BuildInsertStatement(odbc::Recordset& source, const std::string& quotedDestName,
                          const std::vector<ColumnMapping>& columns, std::string& statement,
                          RowBuffers& buffers) {
  statement.clear();
  statement += "INSERT INTO ";
  statement += quotedDestName;
  statement += " values(";
  const int n = static_cast<int>(columns.size());
  for (int j = 0; j < n; ++j) {
    const ColumnMapping& column = columns[static_cast<std::size_t>(j)];
    buffers.countFinerThanMillisecond = column.finerThanMillisecond;
    FormatColumnValue(source, j, column.valueKind, statement, buffers);
    statement += (j + 1 == n) ? " )" : ", ";
  }
}

namespace {

// Statements handed over at a time, and blocks that may wait: small enough to
// keep memory flat, large enough that the threads rarely wait for each other.
// A block also goes when its text reaches kBlockBytes, so that rows with large
// values (a picture is twice its size as hexadecimal text) stay within bounds.
constexpr std::size_t kStatementsPerBlock = 1024;
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kBlocksInFlight = 16;

// Reads the source and builds the statements; runs on its own thread.
void ProduceStatements(odbc::Recordset& source, const std::string& quotedName,
                       const std::vector<ColumnMapping>& columns, StatementQueue& queue,
                       std::uint64_t& finerThanMillisecond) {
  std::exception_ptr failure;
  RowBuffers buffers;
  StatementBlock block = queue.TakeSpare();
  std::size_t used = 0, bytes = 0;
  bool open = true;
  try {
    while (open && source.Fetch()) {
      if (used == block.size()) block.emplace_back();
      BuildInsertStatement(source, quotedName, columns, block[used], buffers);
      bytes += block[used].size();
      ++used;
      if (used == kStatementsPerBlock || bytes >= kBlockBytes) {
        block.resize(used);
        open = queue.Push(std::move(block));
        block = queue.TakeSpare();
        used = bytes = 0;
      }
    }
  } catch (const odbc::DBException& e) {
    failure = std::make_exception_ptr(SourceFailure(e));
  } catch (...) {
    failure = std::current_exception();
  }
  // The rows read before a failure are still copied.
  if (open && used > 0) {
    block.resize(used);
    queue.Push(std::move(block));
  }
  finerThanMillisecond = buffers.finerThanMillisecond;
  queue.Finish(failure);
}

// Commits; a failure is noted in `copied` before it is thrown on.
void CommitOrRecord(odbc::Database& destination, RowCopyResult& copied) {
  try {
    destination.Commit();
  } catch (const odbc::DBException& e) {
    copied.commitFailed = true;
    copied.commitFailure = odbc::FormatDiagnostics(e.records());
    if (copied.commitFailure.empty()) copied.commitFailure = e.what();
    throw;
  }
}

// Stops and joins the producer on every way out of the copy.
class ProducerThread {
 public:
  ProducerThread(StatementQueue& queue, std::thread thread)
      : queue_(queue), thread_(std::move(thread)) {}
  ~ProducerThread() { Join(); }
  void Join() {
    if (!thread_.joinable()) return;
    queue_.Stop();
    thread_.join();
  }

 private:
  StatementQueue& queue_;
  std::thread thread_;
};

}  // namespace

void CopyTableRows(odbc::Recordset& source, const std::string& destName,
                   const std::vector<ColumnMapping>& columns, odbc::Database& destination,
                   std::uint64_t reportInterval,
                   const std::function<void(std::uint64_t)>& onRows, RowCopyResult& copied,
                   std::chrono::milliseconds commitInterval) {
  if (static_cast<std::size_t>(source.GetODBCFieldCount()) != columns.size()) {
    throw std::runtime_error("the source returns " + std::to_string(source.GetODBCFieldCount()) +
                             " columns but the catalog lists " + std::to_string(columns.size()));
  }
  const std::string quotedName = QuoteDestinationName(destName);
  std::uint64_t inserted = 0;
  destination.SetAutoCommit(false);
  odbc::DirectStatement insert(destination);
  // Reading the source (network, the source driver's decoding, literal
  // formatting) overlaps with the destination driver's work.
  StatementQueue queue(kBlocksInFlight);
  std::uint64_t finerThanMillisecond = 0;  // written by the producer before it finishes
  ProducerThread producer(queue, std::thread(ProduceStatements, std::ref(source),
                                             std::cref(quotedName), std::cref(columns),
                                             std::ref(queue), std::ref(finerThanMillisecond)));
  auto nextCommit = std::chrono::steady_clock::now() + commitInterval;
  try {
    StatementBlock block;
    while (queue.Pop(block)) {
      for (const std::string& statement : block) {
        try {
          insert.Execute(statement);
        } catch (const odbc::DBException& e) {
          throw odbc::DBException("row " + std::to_string(inserted + 1) + " refused", e.records());
        }
        ++inserted;
        if (reportInterval != 0 && inserted % reportInterval == 0 && onRows) onRows(inserted);
      }
      // The clock is read once a block (at most 1024 rows or about 1 MB of text).
      if (std::chrono::steady_clock::now() >= nextCommit) {
        CommitOrRecord(destination, copied);
        copied.rowsCopied = inserted;
        nextCommit = std::chrono::steady_clock::now() + commitInterval;
      }
      queue.ReturnSpare(std::move(block));
    }
    producer.Join();
    if (std::exception_ptr failure = queue.failure()) std::rethrow_exception(failure);
    CommitOrRecord(destination, copied);
    copied.rowsCopied = inserted;
    copied.finerThanMillisecond = finerThanMillisecond;
  } catch (...) {
    producer.Join();
    // A refused statement changed nothing, so what was inserted before it is
    // sound: keep it. (After a failed commit there is nothing sound to keep.)
    if (!copied.commitFailed) {
      try {
        CommitOrRecord(destination, copied);
        copied.rowsCopied = inserted;
      } catch (const odbc::DBException&) {
      }
    }
    try {
      destination.SetAutoCommit(true);
    } catch (const odbc::DBException&) {
    }
    throw;
  }
  destination.SetAutoCommit(true);
  if (onRows) onRows(inserted);
}

}  // namespace talvoro::engine
