// Data pages (type 0x01): rows packed from the end of the page downwards, with an
// offset table after the 14-byte header. Used for table rows, long values and
// usage-map rows.
#pragma once

#include <cstdint>
#include <span>

#include "jet/format.h"

namespace jet {

// Turns a zeroed page into an empty data page. `owner` is the TDEF page, or the
// bytes "LVAL" for long-value pages, or 0 for usage-map holder pages.
void InitDataPage(std::uint8_t* page, std::uint32_t owner);
inline constexpr std::uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"

std::uint16_t DataPageRowCount(const std::uint8_t* page);
std::uint16_t DataPageFreeSpace(const std::uint8_t* page);

// True if a row of `size` bytes fits (space for it and its offset entry, row limit).
bool DataPageFits(const std::uint8_t* page, std::size_t size);

// Appends a row; the caller checked DataPageFits. Returns the row number.
std::uint8_t DataPageAppend(std::uint8_t* page, std::span<const std::uint8_t> row);

// Bytes of row `row`; empty when the row is deleted, an overflow stub, or out of range.
struct RowBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool present = false;
};
RowBytes DataPageRow(const std::uint8_t* page, std::uint16_t row);

}  // namespace jet
