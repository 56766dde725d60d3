// What an EPROM holds against the bytes it should hold. Programming an
// EPROM cell only takes it from 1 to 0; only ultraviolet light brings it
// back to 1. So a byte can be programmed over another only by clearing
// bits, whereas the electrically erasable types rewrite any byte.
#pragma once

#include "platform/platform.h"
#include "shell/image_model.h"

// Offsets of bytes that have something in common: how many, the first and
// the last.
struct ByteOffsets {
  DWORD count = 0;
  DWORD first = 0;
  DWORD last = 0;

  void Add(DWORD offset);
};

struct EpromComparison {
  DWORD compared = 0;
  ByteOffsets differing;    // the EPROM's byte is not the one wanted
  ByteOffsets needErasing;  // ... and has a 0 where the wanted one has a 1
};

// Whether programming, which only clears bits, turns `held` into `wanted`.
constexpr bool ReachableByClearingBits(BYTE held, BYTE wanted) { return (wanted & ~held) == 0; }

// The `size` bytes an EPROM holds against those wanted there.
EpromComparison CompareEprom(const BYTE* held, const BYTE* wanted, DWORD size);

// Whether programming `type` leaves a 0 bit at 0: true for the UV-erased
// EPROMs, false for the two written at 5 V, which erase each byte they write.
constexpr bool ProgrammingOnlyClearsBits(etEnum type) { return type != etAM9864 && type != et2864C; }
