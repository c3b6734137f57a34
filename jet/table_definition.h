// The physical table definition as stored in TDEF pages: column blocks, real and
// logical indexes, long-value maps. Built for new tables, parsed for any file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/jet.h"
#include "jet/page_store.h"

namespace jet {

struct PhysicalColumn {
  std::uint8_t type = 0;           // ColumnType code
  std::uint16_t number = 0;        // null-mask bit
  std::uint16_t varIndex = 0;      // variable columns: slot in the offset table
  std::uint16_t fixedOffset = 0;   // fixed columns: offset in the fixed area
  std::uint16_t length = 0;        // bytes
  std::uint8_t flags = 0;
  std::uint8_t extraFlags = 0;
  std::uint8_t misc[4] = {};       // sort order (text) or precision/scale (decimal)
  std::uint8_t sortVersion = 0;
  std::u16string name;

  bool fixed() const { return flags & format::kColumnFixed; }
  bool isBoolean() const { return type == static_cast<std::uint8_t>(ColumnType::Boolean); }
  bool isLong() const {
    return type == static_cast<std::uint8_t>(ColumnType::Memo) || type == static_cast<std::uint8_t>(ColumnType::Ole);
  }
};

struct IndexColumn {
  std::uint16_t column = 0;  // column number
  bool ascending = true;
};

struct RealIndex {
  std::vector<IndexColumn> columns;
  format::RowPointer map;
  std::uint32_t root = 0;
  std::uint8_t flags = 0;
  std::uint32_t entryCount = 0;   // first word of the count block
  std::uint32_t uniqueCount = 0;  // distinct keys
};

struct LogicalIndex {
  std::uint32_t number = 0;
  std::uint32_t realNumber = 0;
  std::uint8_t kind = 0;  // 1 primary key, 2 foreign key, 0 other
  // Foreign keys: the index on the other table (1 = this index is on the referenced
  // side, 2 = on the referencing side), its logical number and TDEF page, and the
  // cascade flags. Other indexes carry 0x04 in both cascade bytes, as Jet writes.
  std::uint8_t relatedTableType = 0;
  std::uint32_t relatedIndex = 0xFFFFFFFF;
  std::uint32_t relatedTablePage = 0;
  std::uint8_t cascadeUpdate = 0x04;
  std::uint8_t cascadeDelete = 0x04;
  std::u16string name;
};

struct LongValueMaps {
  std::uint16_t column = 0;
  format::RowPointer owned;
  format::RowPointer free;
};

struct TableDefinition {
  std::uint32_t rowCount = 0;
  std::uint32_t autoNumber = 0;
  std::uint8_t tableType = format::kTableTypeUser;
  std::uint16_t maxColumns = 0;
  format::RowPointer ownedMap;
  format::RowPointer freeMap;
  // Our second row for the owned-pages map (see ShadowedUsageMap), kept in bytes
  // of the definition header that other programs leave unused; page 0 = none.
  format::RowPointer spareOwnedMap;
  std::uint32_t spareTailPage = 0;  // likewise: our spare copy of the last data page
  // Set while index pages of the table are being written; found set after a crash,
  // it means the indexes may lack entries for the last rows.
  bool indexesInDoubt = false;
  std::vector<PhysicalColumn> columns;  // ascending column number
  std::vector<RealIndex> realIndexes;
  std::vector<LogicalIndex> logicalIndexes;
  std::vector<LongValueMaps> longValueMaps;

  std::uint16_t fixedSize() const;
  std::uint16_t variableCount() const;
  const LongValueMaps* longValueMapsFor(std::uint16_t column) const;
};

// Serialises the definition (the logical buffer, starting with the 8-byte page header).
std::vector<std::uint8_t> EncodeTableDefinition(const TableDefinition& def);

// Writes the buffer to `firstPage` and as many continuation pages as it needs.
void WriteTableDefinition(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint8_t>& bytes);

// Sets or clears the in-doubt mark of the definition at `page`.
void WriteIndexesInDoubt(PageStore& store, std::uint32_t page, bool inDoubt);

// Writes a changed definition at `firstPage`. Continuation pages the file on disk
// refers to are not written over: the continuation goes to new pages and the old
// ones are given back, so that the write of the first page switches the whole
// definition.
void RewriteTableDefinition(PageStore& store, std::uint32_t firstPage, const std::vector<std::uint8_t>& bytes);

// Reads and parses the definition starting at `page`. Throws NotJet4 if damaged.
TableDefinition ReadTableDefinition(PageStore& store, std::uint32_t page);

// Writes the fields that change as rows are added into an existing definition:
// rows, AutoNumber, the in-doubt mark, index counts, the owned and free-space map
// rows, each index's map row and root, the long-value map rows. Other bytes (also
// those of other writers) stay. When fields beyond the first page changed, the
// continuation is written copy-on-write as RewriteTableDefinition does.
void WriteTableState(PageStore& store, std::uint32_t page, const TableDefinition& def);

}  // namespace jet
