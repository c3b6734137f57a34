// One table as stored in the file (system or user): inserts rows with their long
// values and index entries, and reads rows back. Knows nothing of the catalog.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "jet/index_key_encoder.h"
#include "jet/index_tree.h"
#include "jet/jet.h"
#include "jet/long_value.h"
#include "jet/pager.h"
#include "jet/usage_map.h"
#include "jet/row_codec.h"
#include "jet/table_definition.h"

namespace jet {

class StoredTable {
 public:
  // `def` describes the TDEF at `tdefPage`; `logical` is its public form (names,
  // types, required flags, primary key).
  // `newMapRow` provides a usage-map row when the table needs a spare one.
  StoredTable(Pager& pager, std::uint32_t tdefPage, TableDefinition def, TableDef logical,
              std::function<format::RowPointer()> newMapRow);

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
    std::uint16_t dataPageRows, dataPageFree;
    std::vector<std::uint32_t> uniqueCounts, longValuePages;
    ShadowedUsageMap::State owned, free;
    std::vector<ShadowedUsageMap::State> longValueMaps;  // owned, free per long column
    bool tailVisible;
  };
  State Save() const;
  // The same into `into`, reusing its buffers (an insert saves the state every time).
  void Save(State& into) const;
  void Undo(const State& s);

  // Readies the table's part of a flush: index trees changed since the last flush
  // move to new pages (with new usage-map rows), and the definition's first page
  // gets the new counters, map rows and roots. Nothing the file on disk refers to
  // is written over, so the flush's write of that first page switches the table
  // from its previous state to the new one in one step.
  void PrepareCommit();

  // Everything written so far has reached the disk (called after a flush).
  void Committed();

  // Files of earlier versions may carry a mark that their indexes were being
  // written when the writer died.
  bool indexesInDoubt() const { return def_.indexesInDoubt; }

  // Pages of the table's index trees, as last counted: what a flush may copy.
  std::size_t IndexPages() const;

  // After a crash: builds every index again from the rows and recounts the
  // distinct keys. The next flush writes the trees and clears the mark.
  void RepairIndexes();

  // Data pages in storage order.
  std::vector<std::uint32_t> DataPages();

  // True if the index with logical number `logicalIndex` holds `key`.
  bool ContainsKey(std::uint32_t logicalIndex, std::span<const std::uint8_t> key);

  // Asks whether a referenced row exists (referenced table's definition page, its
  // logical index, key); on false it names that table in `relatedTable`. Without
  // it, relationships are not checked.
  using ReferenceCheck = std::function<bool(std::uint32_t, std::uint32_t, std::span<const std::uint8_t>,
                                            std::string& relatedTable)>;
  void SetReferenceCheck(ReferenceCheck check) { referenceExists_ = std::move(check); }

  // Every row with its place (data page, row number), in storage order. With
  // `wanted` (a flag per physical column), only those columns are read.
  void ForEachRow(const std::function<void(std::uint32_t page, std::uint8_t row, const std::vector<Value>&)>& visit,
                  const std::vector<bool>* wanted = nullptr);

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
    bool required;     // no key column may be NULL
    bool ignoreNulls;  // an all-NULL key gets no entry
    // Enforced relationships this index is the referencing side of: the referenced
    // table's definition page and logical index.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> references;
    bool changed = false;  // entries added since the last flush
    std::size_t pages = 1;  // of the tree, as last counted
    // The map row the file on disk names, and a row free for the next copy.
    format::RowPointer committedMap, spareMap;
  };
  std::uint32_t PlaceRow(const std::vector<std::uint8_t>& row, std::uint8_t& rowNumber);
  void RelocateIndex(Index& idx);
  // The definition fields WriteTableState writes, to tell whether they changed.
  std::vector<std::uint32_t> StateFields() const;
  void StartNewDataPage();
  void FindCurrentPages();
  std::string KeyColumnNames(const Index& idx) const;
  void CheckReferences(const Index& idx);
  // The row with the next AutoNumber in place of a Null; moves the counter past an
  // explicit value.
  const std::vector<Value>& WithAutoNumber(const std::vector<Value>& values);

  Pager& store_;
  std::uint32_t tdefPage_;
  TableDefinition def_;
  TableDef logical_;
  RowEncoder encoder_;
  LongValueWriter longValues_;
  std::vector<Index> indexes_;
  std::function<format::RowPointer()> newMapRow_;
  ShadowedUsageMap owned_;
  ShadowedUsageMap free_;
  std::vector<ShadowedUsageMap> longValueOwned_, longValueFree_;  // per entry of def_.longValueMaps
  std::uint32_t dataPage_ = 0;
  // True when the file on disk lists dataPage_: rows then go to a new page.
  bool tailVisible_ = false;
  std::vector<std::uint32_t> longValuePages_;  // current LVAL page per entry of def_.longValueMaps
  std::vector<std::uint32_t> writtenFields_;
  std::vector<Value> keyValues_;
  Bytes key_;
  ReferenceCheck referenceExists_;
  int autoNumberPos_ = -1;  // the AutoNumber column's position, -1 for none
  std::vector<Value> withAutoNumber_;
};

// The public description of a stored definition (names, types, primary key).
TableDef LogicalDefinition(const TableDefinition& def, const std::u16string& name);

// A ColumnDef for a physical column (index key encoding needs the public form).
ColumnDef PublicColumn(const PhysicalColumn& c);

}  // namespace jet
