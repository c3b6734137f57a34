// Page 0 (the database header, partly RC4-masked) and page 1 (the global usage map).
#pragma once

#include <cstdint>

#include "jet/page_store.h"

namespace jet {

// The creation date written into page 0 and the catalog; it goes together with the
// security ids of the permission rows (see system_catalog.cpp), so it is fixed.
inline constexpr double kCreationDate = 42329.944803009259;

// Writes the header of a new database into `page` (4096 bytes).
void BuildHeaderPage(std::uint8_t* page);

// Checks page 0 of an existing file; throws NotJet4 unless it is a Jet 4 database
// that is not encrypted.
void CheckHeaderPage(const std::uint8_t* page);

// Rewrites page 1: every page below `pageCount` used, everything after it free.
void WriteGlobalUsageMap(PageStore& store, std::uint32_t pageCount);

}  // namespace jet
