// Memo and OLE values kept outside the row: one LVAL row (kind 0x40) when the value
// fits a page, otherwise a chain of LVAL rows each holding a pointer to the next.
#pragma once

#include <cstdint>
#include <span>

#include "jet/jet.h"
#include "jet/page_store.h"
#include "jet/table_definition.h"
#include "jet/usage_map.h"

namespace jet {

class LongValueWriter {
 public:
  LongValueWriter(PageStore& store, std::uint32_t tdefPage) : store_(store), tdefPage_(tdefPage) {}

  // Stores `payload` for the column whose maps are `owned` and `free`; fills the
  // row's 12-byte header. `currentPage` is the column's LVAL page with room (0 =
  // none yet); updated.
  void Store(ShadowedUsageMap& owned, ShadowedUsageMap& free, std::uint32_t& currentPage,
             std::span<const std::uint8_t> payload, std::uint8_t header[12]);

 private:
  std::uint32_t NewPage(ShadowedUsageMap& owned);

  PageStore& store_;
  std::uint32_t tdefPage_;
};

// Reads the payload a row's long-value field refers to.
Bytes LoadLongValue(PageStore& store, std::span<const std::uint8_t> field);

}  // namespace jet
