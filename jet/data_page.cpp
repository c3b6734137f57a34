#include "jet/data_page.h"

#include <cstring>

namespace jet {

using namespace format;

void InitDataPage(std::uint8_t* page, std::uint32_t owner) {
  std::memset(page, 0, kPageSize);
  page[0] = kPageData;
  page[1] = 0x01;
  Put16(page + 2, kPageSize - kDataHeaderSize);
  Put32(page + 4, owner);
}

std::uint16_t DataPageRowCount(const std::uint8_t* page) { return Get16(page + 12); }
std::uint16_t DataPageFreeSpace(const std::uint8_t* page) { return Get16(page + 2); }

bool DataPageFits(const std::uint8_t* page, std::size_t size) {
  // The page may come from a damaged file: append only when the offset table,
  // the last row's start and the free-space count all leave room for the row,
  // so that a lying header never sends the row outside the page.
  const std::uint16_t count = DataPageRowCount(page);
  if (page[0] != kPageData || count >= kMaxRowsPerPage) return false;
  const std::uint32_t end =
      count == 0 ? kPageSize : (Get16(page + kDataHeaderSize + 2 * (count - 1)) & kRowOffsetMask);
  const std::uint32_t tableEnd = kDataHeaderSize + 2u * (count + 1u);
  if (end > kPageSize || end < tableEnd || end - tableEnd < size) return false;
  return size + 2 <= DataPageFreeSpace(page);
}

std::uint8_t DataPageAppend(std::uint8_t* page, std::span<const std::uint8_t> row) {
  std::uint16_t count = DataPageRowCount(page);
  std::uint32_t end = count == 0 ? kPageSize : (Get16(page + kDataHeaderSize + 2 * (count - 1)) & kRowOffsetMask);
  std::uint32_t start = end - static_cast<std::uint32_t>(row.size());
  if (!row.empty()) std::memcpy(page + start, row.data(), row.size());
  Put16(page + kDataHeaderSize + 2 * count, start);
  Put16(page + 12, count + 1);
  Put16(page + 2, DataPageFreeSpace(page) - row.size() - 2);
  return static_cast<std::uint8_t>(count);
}

RowBytes DataPageRow(const std::uint8_t* page, std::uint16_t row) {
  std::uint16_t count = DataPageRowCount(page);
  if (row >= count || kDataHeaderSize + 2u * count > kPageSize) return {};
  std::uint16_t raw = Get16(page + kDataHeaderSize + 2 * row);
  if (raw & (kRowDeleted | kRowOverflow)) return {};
  std::uint32_t start = raw & kRowOffsetMask;
  // The row ends where the nearest earlier live row starts (rows are packed downwards).
  std::uint32_t end = kPageSize;
  if (row > 0) end = Get16(page + kDataHeaderSize + 2 * (row - 1)) & kRowOffsetMask;
  if (start > end || end > kPageSize || start < kDataHeaderSize) return {};
  return {page + start, end - start, true};
}

}  // namespace jet
