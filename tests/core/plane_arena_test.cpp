#include "core/plane_arena.h"

#include <gtest/gtest.h>

#include <vector>

using namespace corvane;

TEST(PlaneArena, PlanesAreBlackIndependentAndReleaseTheirBlocks) {
  const long long before = PlaneArena::BytesInBlocks();
  std::vector<TImage16> planes(40);
  {
    PlaneArena arena(4 << 20);  // 4 MiB blocks: 640 x 480 planes need several
    for (auto& p : planes) {
      arena.Create(p, 640, 480);
      ASSERT_EQ(p.Width, 640);
      EXPECT_EQ(p.Data[0], 0);
      EXPECT_EQ(p.Data[p.SampleCount() - 1], 0);
    }
    for (std::size_t i = 0; i < planes.size(); ++i) std::fill_n(planes[i].Data.get(), planes[i].SampleCount(), i);
    for (std::size_t i = 0; i < planes.size(); ++i) {
      EXPECT_EQ(planes[i].Data[0], i);
      EXPECT_EQ(planes[i].Data[planes[i].SampleCount() - 1], i);
    }
    TImage16 huge;
    arena.Create(huge, 7200, 2700);  // larger than a block: a block of its own
    EXPECT_EQ(huge.Data[19439999], 0);
    EXPECT_GT(PlaneArena::BytesInBlocks(), before);
  }
  // The arena is gone; the planes still own their samples.
  EXPECT_EQ(planes[39].Data[5], 39);
  planes.clear();
  EXPECT_EQ(PlaneArena::BytesInBlocks(), before);
}
