// Page 0 (the database header, partly RC4-masked) and page 1 (the global usage map).
#pragma once

#include <cstdint>
#include <vector>

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

// Rewrites page 1: every page below `pageCount` used but those of `freePages`,
// everything after it free. A file too large for one map row leaves the pages
// below the row's start marked used.
void WriteGlobalUsageMap(PageStore& store, std::uint32_t pageCount, const std::vector<std::uint32_t>& freePages = {});

// The free pages page 1 lists below `pageCount`, when page 1 is a map of this
// engine's (ending in a run of free pages past the file); else nothing.
std::vector<std::uint32_t> ReadFreePages(PageStore& store, std::uint32_t pageCount);

}  // namespace jet
