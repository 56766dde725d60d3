// A data-block packet from the Kilnbox, decoded from the bytes received and
// their count alone: no global, port or window. The encoder is in sysex.h.
#pragma once

#include "device/sysex.h"

struct KilnboxReply {
  bool isDataBlock = false;  // the Kilnbox's maker, product and data-block type
  // The rest is read only from a data block.
  UINT blockNumber = 0;      // the block byte plus 1, as blocks are counted for the user
  bool hasLength = false;    // the length field arrived
  DWORD announced = 0;       // data bytes the length field announces, 1 .. 65536; 0 without it
  DWORD pairsArrived = 0;    // whole pairs after the header
  // Data bytes received before the last byte, taken for the end byte: the
  // count the status bar shows.
  DWORD receivedLength = 0;
  // The length arrived, exactly the pairs it announces arrived, and each
  // carries the codec's marks (0x4_ then 0x0_).
  bool pairsWellFormed = false;
  const BYTE* data = nullptr;  // the first pair, within the bytes decoded

  // Data byte `i` (below pairsArrived), rejoined from its pair.
  BYTE DataByte(DWORD i) const { return SysexCombineAt(data + 2 * i); }
};

// Decodes the `count` bytes at `bytes`; the result points into them.
KilnboxReply DecodeReply(const BYTE* bytes, DWORD count);
