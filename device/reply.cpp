#include "device/reply.h"

#include <cstddef>

namespace {

// A data block is recognised from its first six bytes on.
constexpr DWORD kShortestDataBlock = 6;
constexpr DWORD kLengthEnd = offsetof(KILNBOX_SYSEX_BLOCK, unpackedBlockLengthLSB) + sizeof(UNPACKED);

bool IsDataBlock(const BYTE* m, DWORD n) {
  return n >= kShortestDataBlock && m[0] == SYSEX_START && m[1] == KILNBOX_MFR_ID && m[2] == KILNBOX_PRODUCT_ID &&
         m[3] == PACKET_DATA_BLOCK;
}

bool PairIsWellFormed(const BYTE* pair) { return (pair[0] & 0xF0) == 0x40 && (pair[1] & 0xF0) == 0x00; }

}  // namespace

KilnboxReply DecodeReply(const BYTE* bytes, DWORD count) {
  KilnboxReply reply;
  if (!IsDataBlock(bytes, count)) return reply;
  reply.isDataBlock = true;
  reply.blockNumber = bytes[offsetof(KILNBOX_SYSEX_BLOCK, sysexBlockNumber)] + 1u;
  reply.hasLength = count >= kLengthEnd;
  if (reply.hasLength) {
    const BYTE high = SysexCombineAt(bytes + offsetof(KILNBOX_SYSEX_BLOCK, unpackedBlockLengthMSB));
    const BYTE low = SysexCombineAt(bytes + offsetof(KILNBOX_SYSEX_BLOCK, unpackedBlockLengthLSB));
    reply.announced = high * 256u + low + 1;
  }
  if (count > SYSEX_BLOCK_HEADER) {
    reply.data = bytes + SYSEX_BLOCK_HEADER;
    reply.pairsArrived = (count - SYSEX_BLOCK_HEADER) / 2;
  }
  if (count >= SysexBlockPacketSize(0)) reply.receivedLength = (count - SysexBlockPacketSize(0)) / 2;
  reply.pairsWellFormed = reply.hasLength && reply.announced == reply.pairsArrived;
  for (DWORD i = 0; reply.pairsWellFormed && i < reply.pairsArrived; ++i)
    reply.pairsWellFormed = PairIsWellFormed(reply.data + 2 * i);
  return reply;
}
