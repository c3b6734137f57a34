#include "jet/long_value.h"

#include <cstring>
#include <vector>

#include "jet/data_page.h"
#include "jet/format.h"
#include "jet/usage_map.h"

namespace jet {

using namespace format;

std::uint32_t LongValueWriter::NewPage(ShadowedUsageMap& owned) {
  std::uint32_t page = store_.AllocatePage();
  InitDataPage(store_.WritablePage(page), kLvalOwner);
  owned.Add(page);
  return page;
}

void LongValueWriter::Store(ShadowedUsageMap& owned, ShadowedUsageMap& free, std::uint32_t& currentPage,
                            std::span<const std::uint8_t> payload, std::uint8_t header[12]) {
  std::memset(header, 0, 12);
  Put32(header, static_cast<std::uint32_t>(payload.size()));
  if (payload.size() <= kMaxSingleLongValueRow) {
    if (currentPage == 0 || !DataPageFits(store_.ReadPage(currentPage), payload.size())) {
      if (currentPage != 0) free.Remove(currentPage);
      currentPage = NewPage(owned);
      free.Add(currentPage);
    }
    std::uint8_t row = DataPageAppend(store_.WritablePage(currentPage), payload);
    header[3] = kLongValueSingleRow;
    Put32(header + 4, RowPointer{currentPage, row}.Encode());
    return;
  }
  // A chain: whole pages, each row = pointer to the next row + up to 4072 bytes.
  std::size_t chunks = (payload.size() + kLongValueChunk - 1) / kLongValueChunk;
  std::vector<std::uint32_t> pages(chunks);
  for (auto& p : pages) p = NewPage(owned);
  std::vector<std::uint8_t> row;
  for (std::size_t i = 0; i < chunks; ++i) {
    std::size_t off = i * kLongValueChunk;
    std::size_t n = std::min(kLongValueChunk, payload.size() - off);
    row.assign(4, 0);
    if (i + 1 < chunks) Put32(row.data(), RowPointer{pages[i + 1], 0}.Encode());
    row.insert(row.end(), payload.begin() + off, payload.begin() + off + n);
    DataPageAppend(store_.WritablePage(pages[i]), row);
  }
  header[3] = 0;
  Put32(header + 4, RowPointer{pages[0], 0}.Encode());
}

Bytes LoadLongValue(PageStore& store, std::span<const std::uint8_t> field) {
  std::uint32_t length = Get24(field.data());
  std::uint8_t kind = field[3];
  if (kind & kLongValueInline) {
    std::size_t n = std::min<std::size_t>(length, field.size() - kLongValueHeaderSize);
    return Bytes(field.begin() + kLongValueHeaderSize, field.begin() + kLongValueHeaderSize + n);
  }
  RowPointer ptr = RowPointer::Decode(Get32(field.data() + 4));
  auto row = [&](RowPointer rp) {
    RowBytes r = DataPageRow(store.ReadPage(rp.page), rp.row);
    if (!r.present) throw Error(ErrorCode::NotJet4, "Damaged long value at page " + std::to_string(rp.page));
    return Bytes(r.data, r.data + r.size);
  };
  if (kind & kLongValueSingleRow) {
    Bytes b = row(ptr);
    if (b.size() > length) b.resize(length);
    return b;
  }
  Bytes out;
  out.reserve(length);
  for (int guard = 0; ptr.page != 0 && out.size() < length; ++guard) {
    if (guard > 1 << 20) throw Error(ErrorCode::NotJet4, "Damaged long-value chain");
    Bytes b = row(ptr);
    if (b.size() < 4) throw Error(ErrorCode::NotJet4, "Damaged long-value chain");
    RowPointer next = RowPointer::Decode(Get32(b.data()));
    std::size_t n = std::min(b.size() - 4, static_cast<std::size_t>(length) - out.size());
    out.insert(out.end(), b.begin() + 4, b.begin() + 4 + n);
    ptr = next;
  }
  return out;
}

}  // namespace jet
