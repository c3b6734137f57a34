#include "jet/header_pages.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "jet/data_page.h"
#include "jet/format.h"
#include "jet/jet.h"

namespace jet {

using namespace format;

namespace {

constexpr std::size_t kMaskedStart = 0x18;
constexpr std::size_t kMaskedSize = 128;

// The mask of the header region: the RC4 key stream of the key C7 DA 39 6B.
void ApplyHeaderMask(std::uint8_t* region) {
  const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::size_t n = 0, i = 0, j = 0; n < kMaskedSize; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    region[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

}  // namespace

void BuildHeaderPage(std::uint8_t* p) {
  std::memset(p, 0, kPageSize);
  p[1] = 0x01;
  std::memcpy(p + 4, "Standard Jet DB", 16);
  Put32(p + 0x14, 1);  // Jet 4
  std::uint8_t clear[kMaskedSize] = {};
  const std::uint32_t constants[6] = {256, 257, 2, 3, 4, 5};
  for (int k = 0; k < 6; ++k) Put32(clear + 4 * k, constants[k]);
  Put16(clear + 0x3C - kMaskedStart, 1252);  // code page
  // No password: the password area holds the creation date's integer part, repeated.
  auto dateMask = static_cast<std::uint32_t>(static_cast<std::int32_t>(kCreationDate));
  for (int k = 0; k < 10; ++k) Put32(clear + 0x42 - kMaskedStart + 4 * k, dateMask);
  clear[0x6A - kMaskedStart] = 0x1C;
  clear[0x6B - kMaskedStart] = 0x26;
  Put16(clear + 0x6E - kMaskedStart, 1033);  // sort order General, version 0
  std::memcpy(clear + 0x72 - kMaskedStart, &kCreationDate, 8);
  ApplyHeaderMask(clear);
  std::memcpy(p + kMaskedStart, clear, kMaskedSize);
  Put32(p + 0x98, 0x0654);
  std::memcpy(p + 0x9C, "4.0", 4);
  p[0xE00] = 0x01;
  p[0xE01] = 0x01;
  for (std::size_t i = 0xE02; i < kPageSize; i += 2) {
    p[i] = 0x00;
    p[i + 1] = 0x01;
  }
}

void CheckHeaderPage(const std::uint8_t* p) {
  if (p[0] != 0 || std::memcmp(p + 4, "Standard Jet DB", 15) != 0) {
    throw Error(ErrorCode::NotJet4, "The file is not a Jet database");
  }
  if (p[0x14] != 1) throw Error(ErrorCode::NotJet4, "The file is not a Jet 4 (Access 2000-2003) database");
  std::uint8_t clear[kMaskedSize];
  std::memcpy(clear, p + kMaskedStart, kMaskedSize);
  ApplyHeaderMask(clear);
  if (Get32(clear + 0x3E - kMaskedStart) != 0) throw Error(ErrorCode::NotJet4, "The database is encrypted");
}

void WriteGlobalUsageMap(PageStore& store, std::uint32_t pageCount, const std::vector<std::uint32_t>& freePages) {
  // Row 0 is an inline map; bits set = free. Files larger than one row can describe
  // keep the map's start near the end (pages below it count as used).
  constexpr std::size_t kMaxBitmap = 4000;
  std::uint32_t needed = pageCount + 64;
  std::uint32_t start = 0;
  std::size_t bytes;
  if (needed <= kMaxBitmap * 8) {
    bytes = std::max<std::size_t>(64, ((needed + 7) / 8 + 63) / 64 * 64);
    bytes = std::min(bytes, kMaxBitmap);
  } else {
    bytes = kMaxBitmap;
    start = ((pageCount + 2048 - static_cast<std::uint32_t>(kMaxBitmap * 8)) / 512) * 512;
  }
  std::vector<std::uint8_t> row(5 + bytes, 0);
  Put32(row.data() + 1, start);
  for (std::size_t bit = 0; bit < bytes * 8; ++bit)
    if (start + bit >= pageCount) row[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  for (std::uint32_t page : freePages)
    if (page >= start && page < pageCount && page - start < bytes * 8)
      row[5 + (page - start) / 8] |= static_cast<std::uint8_t>(1u << ((page - start) % 8));
  std::uint8_t* page = store.WritablePage(1);
  InitDataPage(page, 1);
  DataPageAppend(page, row);
  std::uint8_t second[kMapRowSize] = {};
  DataPageAppend(page, second);
}

std::vector<std::uint32_t> ReadFreePages(PageStore& store, std::uint32_t pageCount) {
  constexpr std::uint32_t kFreeRunAtEnd = 64;
  constexpr std::uint32_t kFixedPages = 16;  // header, catalog and system tables of every file
  const std::uint8_t* p = store.ReadPage(1);
  std::vector<std::uint32_t> free;
  if (p[0] != kPageData) return free;
  RowBytes row = DataPageRow(p, 0);
  if (!row.present || row.size < 6 || row.data[0] != 0) return free;
  const std::uint32_t start = Get32(row.data + 1);
  const auto bits = static_cast<std::uint32_t>(8 * (row.size - 5));
  auto isFree = [&](std::uint32_t bit) { return (row.data[5 + bit / 8] >> (bit % 8)) & 1; };
  if (start + bits < pageCount + kFreeRunAtEnd) return free;
  for (std::uint32_t bit = pageCount - std::min(pageCount, start); bit < bits; ++bit)
    if (!isFree(bit)) return free;  // not a map this engine wrote
  for (std::uint32_t bit = 0; bit < bits && start + bit < pageCount; ++bit)
    if (start + bit >= kFixedPages && isFree(bit)) free.push_back(start + bit);
  return free;
}

}  // namespace jet
