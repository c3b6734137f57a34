#include "jet/usage_map.h"

#include <cstring>
#include <string>

#include "jet/data_page.h"
#include "jet/jet.h"

namespace jet {

using namespace format;

namespace {

struct MapRow {
  std::uint8_t* data;
  std::size_t size;
};

MapRow LocateForWrite(PageStore& store, RowPointer where) {
  std::uint8_t* page = store.WritablePage(where.page);
  RowBytes row = DataPageRow(page, where.row);
  if (!row.present || row.size < 5) {
    throw Error(ErrorCode::NotJet4, "Damaged usage map at page " + std::to_string(where.page));
  }
  return {page + (row.data - page), row.size};
}

std::vector<std::uint8_t> ReadRow(PageStore& store, RowPointer where) {
  const std::uint8_t* page = store.ReadPage(where.page);
  RowBytes row = DataPageRow(page, where.row);
  if (!row.present || row.size < 1) {
    throw Error(ErrorCode::NotJet4, "Damaged usage map at page " + std::to_string(where.page));
  }
  return {row.data, row.data + row.size};
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

RowPointer UsageMap::AppendEmpty(PageStore& store, std::uint32_t holderPage) {
  std::uint8_t row[kMapRowSize] = {};
  std::uint8_t* page = store.WritablePage(holderPage);
  std::uint8_t n = DataPageAppend(page, row);
  return {holderPage, n};
}

void UsageMap::Add(std::uint32_t page) { Set(page, true); }
void UsageMap::Remove(std::uint32_t page) { Set(page, false); }

void UsageMap::Set(std::uint32_t page, bool on) {
  MapRow row = LocateForWrite(store_, where_);
  if (row.data[0] == kMapInline) {
    std::size_t bits = (row.size - 5) * 8;
    std::uint32_t start = Get32(row.data + 1);
    if (AllZero(row.data + 5, row.size - 5)) {
      if (!on) return;
      start = page & ~7u;
      Put32(row.data + 1, start);
    }
    if (page >= start && page - start < bits) {
      std::uint32_t k = page - start;
      if (on)
        row.data[5 + k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
      else
        row.data[5 + k / 8] &= static_cast<std::uint8_t>(~(1u << (k % 8)));
      return;
    }
    if (!on) return;
    ConvertToReference(page);
    return;
  }
  if (row.data[0] != kMapReference) throw Error(ErrorCode::NotJet4, "Unknown usage map type");
  std::size_t slots = (row.size - 1) / 4;
  std::uint32_t slot = page / kPagesPerBitmapPage;
  if (slot >= slots) throw Error(ErrorCode::FileFull, "The usage map cannot describe page " + std::to_string(page));
  std::uint32_t bitmapPage = Get32(row.data + 1 + 4 * slot);
  if (bitmapPage == 0) {
    if (!on) return;
    bitmapPage = store_.AllocatePage();
    std::uint8_t* bp = store_.WritablePage(bitmapPage);
    bp[0] = kPageUsageBitmap;
    bp[1] = 0x01;
    row = LocateForWrite(store_, where_);
    Put32(row.data + 1 + 4 * slot, bitmapPage);
  }
  std::uint8_t* bp = store_.WritablePage(bitmapPage);
  std::uint32_t k = page % kPagesPerBitmapPage;
  if (on)
    bp[4 + k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
  else
    bp[4 + k / 8] &= static_cast<std::uint8_t>(~(1u << (k % 8)));
}

void UsageMap::ConvertToReference(std::uint32_t extraPage) {
  std::vector<std::uint32_t> pages = Pages();
  pages.push_back(extraPage);
  MapRow row = LocateForWrite(store_, where_);
  std::memset(row.data, 0, row.size);
  row.data[0] = kMapReference;
  for (std::uint32_t p : pages) Set(p, true);
}

std::vector<std::uint32_t> UsageMap::Pages() {
  std::vector<std::uint8_t> row = ReadRow(store_, where_);
  std::vector<std::uint32_t> out;
  if (row[0] == kMapInline) {
    if (row.size() < 5) return out;
    std::uint32_t start = Get32(row.data() + 1);
    for (std::size_t i = 5; i < row.size(); ++i) {
      if (!row[i]) continue;
      for (int b = 0; b < 8; ++b)
        if (row[i] & (1 << b)) out.push_back(start + static_cast<std::uint32_t>((i - 5) * 8 + b));
    }
    return out;
  }
  if (row[0] != kMapReference) throw Error(ErrorCode::NotJet4, "Unknown usage map type");
  for (std::size_t s = 0; s * 4 + 5 <= row.size(); ++s) {
    std::uint32_t bitmapPage = Get32(row.data() + 1 + 4 * s);
    if (bitmapPage == 0) continue;
    const std::uint8_t* bp = store_.ReadPage(bitmapPage);
    for (std::size_t i = 4; i < kPageSize; ++i) {
      if (!bp[i]) continue;
      for (int b = 0; b < 8; ++b)
        if (bp[i] & (1 << b))
          out.push_back(static_cast<std::uint32_t>(s * kPagesPerBitmapPage + (i - 4) * 8 + b));
    }
  }
  return out;
}

void UsageMap::Clear() {
  MapRow row = LocateForWrite(store_, where_);
  if (row.data[0] != kMapReference) {
    std::memset(row.data, 0, row.size);
    return;
  }
  std::vector<std::uint32_t> bitmapPages;
  for (std::size_t s = 0; s * 4 + 5 <= row.size; ++s) bitmapPages.push_back(Get32(row.data + 1 + 4 * s));
  for (std::uint32_t p : bitmapPages)
    if (p != 0) std::memset(store_.WritablePage(p) + 4, 0, kPageSize - 4);
}

void UsageMap::CopyFrom(RowPointer otherRow) {
  std::vector<std::uint8_t> other = ReadRow(store_, otherRow);
  MapRow mine = LocateForWrite(store_, where_);
  if (other[0] == kMapInline && other.size() == mine.size && mine.data[0] == kMapInline) {
    std::memcpy(mine.data, other.data(), mine.size);
    return;
  }
  if (other[0] == kMapReference && mine.size >= other.size()) {
    if (mine.data[0] != kMapReference) {
      std::memset(mine.data, 0, mine.size);
      mine.data[0] = kMapReference;
    }
    std::size_t slots = (mine.size - 1) / 4;
    std::vector<std::uint8_t> bitmap(kPageSize);
    for (std::size_t s = 0; s < slots; ++s) {
      std::uint32_t from = s * 4 + 5 <= other.size() ? Get32(other.data() + 1 + 4 * s) : 0;
      mine = LocateForWrite(store_, where_);
      std::uint32_t to = Get32(mine.data + 1 + 4 * s);
      if (from == 0) {
        if (to != 0) std::memset(store_.WritablePage(to) + 4, 0, kPageSize - 4);
        continue;
      }
      if (to == 0) {
        to = store_.AllocatePage();
        std::uint8_t* bp = store_.WritablePage(to);
        bp[0] = kPageUsageBitmap;
        bp[1] = 0x01;
        mine = LocateForWrite(store_, where_);
        Put32(mine.data + 1 + 4 * s, to);
      }
      std::memcpy(bitmap.data(), store_.ReadPage(from), kPageSize);
      std::memcpy(store_.WritablePage(to) + 4, bitmap.data() + 4, kPageSize - 4);
    }
    return;
  }
  Clear();
  for (std::uint32_t p : UsageMap(store_, otherRow).Pages()) Add(p);
}

ShadowedUsageMap::ShadowedUsageMap(PageStore& store, RowPointer active, RowPointer spare,
                                   std::function<RowPointer()> newRow)
    : store_(store), active_(active), spare_(spare), newRow_(std::move(newRow)) {}

void ShadowedUsageMap::StartPending() {
  if (pending_) return;
  if (spare_.page == 0) spare_ = newRow_();
  UsageMap(store_, spare_).CopyFrom(active_);
  pending_ = true;
}

void ShadowedUsageMap::Add(std::uint32_t page) {
  StartPending();
  UsageMap(store_, spare_).Add(page);
}

void ShadowedUsageMap::Remove(std::uint32_t page) {
  StartPending();
  UsageMap(store_, spare_).Remove(page);
}

void ShadowedUsageMap::Committed() {
  if (!pending_) return;
  std::swap(active_, spare_);
  pending_ = false;
}

std::uint32_t UsageMap::LastPage() {
  std::vector<std::uint32_t> pages = Pages();
  return pages.empty() ? 0 : pages.back();
}

}  // namespace jet
