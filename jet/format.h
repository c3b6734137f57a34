// On-disk constants of Jet 4 files and the little-endian accessors used on pages.
#pragma once

#include <cstdint>
#include <cstring>

#include "jet/page_store.h"

namespace jet::format {

inline constexpr std::uint32_t kMaxPages = 0x80000000u / kPageSize;  // the 2 GB limit

// Page types (first byte of a page).
inline constexpr std::uint8_t kPageData = 0x01;
inline constexpr std::uint8_t kPageTdef = 0x02;
inline constexpr std::uint8_t kPageIndexNode = 0x03;
inline constexpr std::uint8_t kPageIndexLeaf = 0x04;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;

// Data pages.
inline constexpr std::size_t kDataHeaderSize = 14;
inline constexpr std::size_t kMaxRowsPerPage = 255;
inline constexpr std::size_t kMaxRowSize = 4060;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kRowDeleted = 0x8000;
inline constexpr std::uint16_t kRowOverflow = 0x4000;

// Table definitions.
inline constexpr std::uint32_t kTdefMagic = 1625;
inline constexpr std::uint32_t kRealIndexMagic = 1923;
inline constexpr std::size_t kTdefHeaderSize = 63;
inline constexpr std::size_t kColumnBlockSize = 25;
inline constexpr std::size_t kRealIndexCountSize = 12;
inline constexpr std::size_t kRealIndexBlockSize = 52;
inline constexpr std::size_t kLogicalIndexBlockSize = 28;
inline constexpr std::uint8_t kTableTypeUser = 0x4E;
inline constexpr std::uint8_t kTableTypeSystem = 0x53;

// Column flags.
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnUpdatable = 0x02;
inline constexpr std::uint8_t kColumnAutoNumber = 0x04;
inline constexpr std::uint8_t kColumnSystem = 0x10;
inline constexpr std::uint8_t kColumnCompressible = 0x01;  // extra-flags byte

// Long values.
inline constexpr std::size_t kLongValueHeaderSize = 12;
inline constexpr std::size_t kMaxInlineLongValue = 64;
inline constexpr std::size_t kMaxSingleLongValueRow = 4076;
inline constexpr std::size_t kLongValueChunk = 4072;
inline constexpr std::uint32_t kMaxLongValueBytes = 0xFFFFFF;  // 3-byte length in the header
inline constexpr std::uint8_t kLongValueInline = 0x80;
inline constexpr std::uint8_t kLongValueSingleRow = 0x40;

// Index pages.
inline constexpr std::uint8_t kIndexUnique = 0x01;
inline constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIndexRequired = 0x08;
inline constexpr std::uint8_t kIndexAccess2000 = 0x80;
inline constexpr std::size_t kMaxIndexes = 32;
inline constexpr std::size_t kMaxIndexColumns = 10;

inline constexpr std::size_t kMaxColumns = 255;
inline constexpr std::size_t kMaxNameLength = 64;

// Usage maps.
inline constexpr std::uint8_t kMapInline = 0x00;
inline constexpr std::uint8_t kMapReference = 0x01;
inline constexpr std::size_t kMapRowSize = 69;  // both forms: 1 + 4 + 64, or 1 + 17 * 4
inline constexpr std::size_t kReferenceMapSlots = 17;
inline constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;

// Catalog ids.
inline constexpr std::int32_t kTablesContainerId = 0x0F000001;
inline constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
inline constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
inline constexpr std::int32_t kRootId = 0x0F000000;
inline constexpr std::int32_t kMSysDbId = 0x10000000;
inline constexpr std::uint32_t kCatalogTdefPage = 2;

inline std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// A row pointer: (page << 8) | row.
struct RowPointer {
  std::uint32_t page = 0;
  std::uint8_t row = 0;
  std::uint32_t Encode() const { return (page << 8) | row; }
  static RowPointer Decode(std::uint32_t v) { return {v >> 8, static_cast<std::uint8_t>(v & 0xFF)}; }
  bool operator==(const RowPointer&) const = default;
};

}  // namespace jet::format
