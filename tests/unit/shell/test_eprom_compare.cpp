// The comparison of what an EPROM holds with what it should hold: which
// bytes differ, and which of them programming can't reach.
#include <gtest/gtest.h>

#include <vector>

#include "shell/eprom_compare.h"

namespace {

TEST(EpromCompare, ABitCanOnlyBeClearedByProgramming) {
  struct Case { BYTE held, wanted; bool reachable; };
  const Case cases[] = {
      {0xFF, 0x00, true},  {0xFF, 0xA5, true}, {0xF0, 0x30, true},  {0x5A, 0x5A, true},
      {0x00, 0x01, false}, {0x0F, 0x1F, false}, {0x7F, 0x80, false}, {0xA5, 0x5A, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReachableByClearingBits(c.held, c.wanted), c.reachable) << int(c.held) << " -> " << int(c.wanted);
}

TEST(EpromCompare, CountsAndSpansOfDifferingAndUnreachableBytes) {
  std::vector<BYTE> wanted(0x2000, 0x55);
  std::vector<BYTE> held = wanted;
  EpromComparison same = CompareEprom(held.data(), wanted.data(), 0x2000);
  EXPECT_EQ(same.compared, 0x2000u);
  EXPECT_EQ(same.differing.count, 0u);
  EXPECT_EQ(same.needErasing.count, 0u);

  held[0x0003] = 0xFF;  // blank: reachable
  held[0x0123] = 0x54;  // bit 0 cleared already: needs erasing
  held[0x1000] = 0x75;  // bit 5 still set: reachable
  held[0x1F00] = 0x00;  // needs erasing
  const EpromComparison c = CompareEprom(held.data(), wanted.data(), 0x2000);
  EXPECT_EQ(c.differing.count, 4u);
  EXPECT_EQ(c.differing.first, 0x0003u);
  EXPECT_EQ(c.differing.last, 0x1F00u);
  EXPECT_EQ(c.needErasing.count, 2u);
  EXPECT_EQ(c.needErasing.first, 0x0123u);
  EXPECT_EQ(c.needErasing.last, 0x1F00u);
}

}  // namespace
