#include "shell/eprom_compare.h"

void ByteOffsets::Add(DWORD offset) {
  if (count++ == 0) first = offset;
  last = offset;
}

EpromComparison CompareEprom(const BYTE* held, const BYTE* wanted, DWORD size) {
  EpromComparison result;
  result.compared = size;
  for (DWORD i = 0; i < size; ++i) {
    if (held[i] == wanted[i]) continue;
    result.differing.Add(i);
    if (!ReachableByClearingBits(held[i], wanted[i])) result.needErasing.Add(i);
  }
  return result;
}
