#include "row_copy.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "source_failure.h"
#include "sql_names.h"
#include "block_queue.h"
#include "odbc/parameter_insert.h"
#include "row_block.h"
#include "source_rows.h"
#include "value_literals.h"

namespace talvoro::engine {
namespace {

void AppendTimestamp(odbc::Recordset& source, int column, const SQL_TIMESTAMP_STRUCT& value,
                     std::string& out, RowBuffers& buffers) {
  if (buffers.countFinerThanMillisecond && value.fraction % 1000000 != 0) ++buffers.finerThanMillisecond;
  if (!AppendTimestampLiteral(value, out)) ThrowUnstorableDate(source, column, value);
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

// Blocks that may wait between the threads, and the memory they may hold: few
// enough to keep memory flat, enough rows (tens of thousands of ordinary ones)
// that neither thread runs dry while the other waits for a core.
constexpr std::size_t kBlocksInFlight = 64;
constexpr std::size_t kBytesInFlight = std::size_t{3} << 20;
// The copy runs at least this many times as long as its commits take.
constexpr int kCommitCostFactor = 9;

using RowQueue = BlockQueue<RowBlock>;

// Reads the source into blocks of rows; runs on its own thread.
void ProduceRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns, RowQueue& queue,
                 std::uint64_t& finerThanMillisecond) {
  std::exception_ptr failure;
  RowBuffers buffers;
  RowBlock block = queue.TakeSpare();
  block.Reset(columns);
  bool open = true;
  try {
    const std::unique_ptr<SourceRows> rows = OpenSourceRows(source, columns);
    while (open && rows->Fill(block, buffers)) {
      block.Seal();
      open = queue.Push(std::move(block));
      block = queue.TakeSpare();
      block.Reset(columns);
    }
  } catch (const odbc::DBException& e) {
    failure = std::make_exception_ptr(SourceFailure(e));
  } catch (...) {
    failure = std::current_exception();
  }
  // The rows read before a failure are still copied.
  if (open && block.rows() > 0) {
    block.Seal();
    queue.Push(std::move(block));
  }
  finerThanMillisecond = buffers.finerThanMillisecond;
  queue.Finish(failure);
}

// "INSERT INTO name values(?, ..., ?)": one marker per column.
std::string ParameterInsertText(const std::string& quotedName, std::size_t columns) {
  std::string sql = "INSERT INTO " + quotedName + " values(";
  for (std::size_t j = 0; j < columns; ++j) sql += j == 0 ? "?" : ", ?";
  return sql + ")";
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
  ProducerThread(RowQueue& queue, std::thread thread)
      : queue_(queue), thread_(std::move(thread)) {}
  ~ProducerThread() { Join(); }
  void Join() {
    if (!thread_.joinable()) return;
    queue_.Stop();
    thread_.join();
  }

 private:
  RowQueue& queue_;
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
  std::uint64_t inserted = 0;
  // Reading the source (network, the source driver's decoding) overlaps with
  // the destination driver's work; the rows go over as arrays of parameters,
  // a block per call.
  odbc::ParameterArrayInsert insert(destination,
                                    ParameterInsertText(QuoteDestinationName(destName), columns.size()));
  destination.SetAutoCommit(false);
  RowQueue queue(kBlocksInFlight, kBytesInFlight);
  std::uint64_t finerThanMillisecond = 0;  // written by the producer before it finishes
  ProducerThread producer(queue, std::thread(ProduceRows, std::ref(source), std::cref(columns),
                                             std::ref(queue), std::ref(finerThanMillisecond)));
  // Progress as if row by row: every multiple of reportInterval passed.
  auto advance = [&](std::uint64_t rows) {
    const std::uint64_t before = inserted;
    inserted += rows;
    if (reportInterval == 0 || !onRows) return;
    for (std::uint64_t at = (before / reportInterval + 1) * reportInterval; at <= inserted; at += reportInterval)
      onRows(at);
  };
  auto nextCommit = std::chrono::steady_clock::now() + commitInterval;
  try {
    RowBlock block;
    while (queue.Pop(block)) {
      block.BindTo(insert);
      try {
        insert.Execute(block.rows());
      } catch (const odbc::RowRefused& e) {
        advance(e.rowsBefore());
        throw odbc::DBException("row " + std::to_string(inserted + 1) + " refused", e.records());
      } catch (const odbc::DBException& e) {
        throw odbc::DBException("row " + std::to_string(inserted + 1) + " refused", e.records());
      }
      advance(block.rows());
      // The clock is read once a block (at most 1024 rows or about 1 MB of values).
      if (const auto now = std::chrono::steady_clock::now(); now >= nextCommit) {
        CommitOrRecord(destination, copied);
        copied.rowsCopied = inserted;
        // A commit writes the table's indexes anew, so it costs more as the
        // table grows: the next one waits at least kCommitCostFactor times as
        // long as this one took, which keeps commits to a bounded share of the
        // copy however long the table.
        const auto done = std::chrono::steady_clock::now();
        nextCommit = done + std::max<std::chrono::steady_clock::duration>(commitInterval,
                                                                         kCommitCostFactor * (done - now));
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
