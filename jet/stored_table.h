// One table as stored in the file (system or user): inserts rows with their long
// values and index entries, and reads rows back. Knows nothing of the catalog.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "jet/index_key_encoder.h"
#include "jet/index_tree.h"
#include "jet/jet.h"
#include "jet/long_value.h"
#include "jet/row_codec.h"
#include "jet/table_definition.h"

namespace jet {

class StoredTable {
 public:
  // `def` describes the TDEF at `tdefPage`; `logical` is its public form (names,
  // types, required flags, primary key).
  StoredTable(PageStore& store, std::uint32_t tdefPage, TableDefinition def, TableDef logical);

  std::uint32_t tdefPage() const { return tdefPage_; }
  const TableDefinition& physical() const { return def_; }
  const TableDef& logical() const { return logical_; }
  std::uint64_t rowCount() const { return def_.rowCount; }

  // Adds a row and its index entries. On an exception some pages may be changed:
  // the caller runs this inside an atomic page section and calls Undo() on failure.
  void Insert(const std::vector<Value>& values);

  // What Insert changes besides pages, saved before and restored after a failure.
  struct State {
    std::uint32_t rowCount, autoNumber, dataPage;
    std::vector<std::uint32_t> uniqueCounts, longValuePages;
  };
  State Save() const;
  void Undo(const State& s);

  // Writes the counters into the TDEF if they changed since the last call.
  void WriteCountersIfChanged();

  // Data pages in storage order.
  std::vector<std::uint32_t> DataPages();

  // Makes `page` the data page new rows go to (used while building a new file).
  void UseDataPage(std::uint32_t page) { dataPage_ = page; }

 private:
  struct Index {
    std::size_t realNumber;
    std::unique_ptr<IndexTree> tree;
    std::unique_ptr<IndexKeyEncoder> encoder;
    std::vector<std::size_t> columnPositions;  // positions in the value vector
    bool unique;
    bool primary;
  };
  std::uint32_t PlaceRow(const std::vector<std::uint8_t>& row, std::uint8_t& rowNumber);
  void FindCurrentPages();

  PageStore& store_;
  std::uint32_t tdefPage_;
  TableDefinition def_;
  TableDef logical_;
  RowEncoder encoder_;
  LongValueWriter longValues_;
  std::vector<Index> indexes_;
  std::uint32_t dataPage_ = 0;
  std::vector<std::uint32_t> longValuePages_;  // current LVAL page per entry of def_.longValueMaps
  std::uint32_t writtenRowCount_;
  std::uint32_t writtenAutoNumber_;
  std::vector<std::uint32_t> writtenUniqueCounts_;
  std::vector<Value> keyValues_;
  Bytes key_;
};

// The public description of a stored definition (names, types, primary key).
TableDef LogicalDefinition(const TableDefinition& def, const std::u16string& name);

// A ColumnDef for a physical column (index key encoding needs the public form).
ColumnDef PublicColumn(const PhysicalColumn& c);

}  // namespace jet
