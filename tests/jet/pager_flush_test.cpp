// The pager writes exactly its changed pages: pages written early to keep the cache
// bounded, pages changed again after that, and pages an undone section put back
// all reach the file, with either durability.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "jet/format.h"
#include "jet/jet.h"
#include "jet/pager.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

void Stamp(jet::Pager& pager, std::uint32_t page, std::uint32_t value) {
  jet::format::Put32(pager.WritablePage(page) + 8, value);
}

std::uint32_t StampOf(jet::Pager& pager, std::uint32_t page) {
  return jet::format::Get32(pager.ReadPage(page) + 8);
}

class PagerFlush : public testing::TestWithParam<jet::Durability> {};

TEST_P(PagerFlush, EveryChangedPageReachesTheFile) {
  TempDir dir;
  std::string path = dir.File("pages.mdb");
  constexpr std::uint32_t kOld = 4, kNew = 2500;  // more new pages than the cache holds
  {
    auto pager = jet::Pager::CreateFile(path);
    for (std::uint32_t p = 0; p < kOld; ++p) Stamp(*pager, pager->AppendPage(), 100 + p);
    pager->Flush(GetParam());
    for (std::uint32_t i = 0; i < kNew; ++i) Stamp(*pager, pager->AppendPage(), 1000 + i);
    Stamp(*pager, kOld, 7);  // written early (evicted), then changed again
    Stamp(*pager, 1, 201);
    pager->BeginAtomic();
    Stamp(*pager, 2, 999);
    Stamp(*pager, pager->AppendPage(), 999);
    pager->RollbackAtomic();
    pager->Flush(GetParam());
    pager->Flush(GetParam());  // nothing left to write
  }
  auto reader = jet::Pager::OpenFile(path, false);
  ASSERT_EQ(reader->pageCount(), kOld + kNew);
  EXPECT_EQ(StampOf(*reader, 0), 100u);
  EXPECT_EQ(StampOf(*reader, 1), 201u);
  EXPECT_EQ(StampOf(*reader, 2), 102u);
  EXPECT_EQ(StampOf(*reader, kOld), 7u);
  for (std::uint32_t i = 1; i < kNew; ++i) ASSERT_EQ(StampOf(*reader, kOld + i), 1000 + i) << "page " << kOld + i;
}

// A section that saved only some bytes of a page puts exactly those back, also
// when the same page is later saved whole in the same section.
TEST(PagerUndo, SavedBytesGoBackWithAndWithoutAWholePageSave) {
  TempDir dir;
  auto pager = jet::Pager::CreateFile(dir.File("bytes.mdb"));
  const std::uint32_t page = pager->AppendPage();
  std::memset(pager->WritablePage(page), 0x11, jet::kPageSize);
  pager->Flush();
  std::vector<std::uint8_t> before(pager->ReadPage(page), pager->ReadPage(page) + jet::kPageSize);

  const jet::PageStore::ByteRange ranges[] = {{10, 4}, {4000, 2}};
  for (bool wholeSaveLater : {false, true}) {
    SCOPED_TRACE(wholeSaveLater ? "whole page saved later" : "bytes only");
    pager->BeginAtomic();
    std::uint8_t* p = pager->WritablePageBytes(page, ranges);
    std::memset(p + 10, 0xAA, 4);
    std::memset(p + 4000, 0xBB, 2);
    if (wholeSaveLater) std::memset(pager->WritablePage(page) + 100, 0xCC, 50);
    pager->RollbackAtomic();
    std::vector<std::uint8_t> after(pager->ReadPage(page), pager->ReadPage(page) + jet::kPageSize);
    EXPECT_EQ(after, before);
  }
  // Committed, the change stays.
  pager->BeginAtomic();
  std::memset(pager->WritablePageBytes(page, ranges) + 10, 0xAA, 4);
  pager->CommitAtomic();
  EXPECT_EQ(pager->ReadPage(page)[12], 0xAA);
}

INSTANTIATE_TEST_SUITE_P(Durability, PagerFlush,
                         testing::Values(jet::Durability::Written, jet::Durability::Synced),
                         [](const auto& info) {
                           return info.param == jet::Durability::Written ? "Written" : "Synced";
                         });

}  // namespace
}  // namespace talvoro::test
