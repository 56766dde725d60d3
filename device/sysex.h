// The Kilnbox's System Exclusive messages: the byte codec, the command
// messages, the transfer request and the data-block packet (decoded by
// device/reply.h).
#pragma once

#include "device/midi.h"
#include "platform/platform.h"

constexpr BYTE SYSEX_START = 0xF0;
constexpr BYTE SYSEX_END = 0xF7;
constexpr BYTE KILNBOX_MFR_ID = 0x10;
constexpr BYTE KILNBOX_PRODUCT_ID = 0x05;
constexpr BYTE PACKET_TRANSFER_REQUEST = 0;
constexpr BYTE PACKET_DATA_BLOCK = 1;
constexpr BYTE PACKET_COMMAND = 2;

// Bytes of a data-block packet before its data, and in all for n data bytes
// (the end byte included). The one header size of the encoder here and the
// decoder in device/reply.h.
constexpr UINT SYSEX_BLOCK_HEADER = 45;
constexpr UINT SysexBlockPacketSize(UINT nData) { return SYSEX_BLOCK_HEADER + 2 * nData + 1; }

// A data byte travels as two bytes, stored low byte first: 0x40 | high
// nibble, then the low nibble.
typedef WORD UNPACKED;

#pragma pack(push, 1)
typedef struct _KILNBOX_SYSEX_BLOCK {
  BYTE sysexStatus;
  BYTE sysexMfrID;
  BYTE sysexProductID;
  BYTE sysexPacketType;
  BYTE sysexBlockNumber;
  UNPACKED unpackedStartAddressMSB;
  UNPACKED unpackedStartAddressLSB;
  UNPACKED unpackedBlockLengthMSB;
  UNPACKED unpackedBlockLengthLSB;
  UNPACKED unpackedLoopStartMSB;
  UNPACKED unpackedLoopStartLSB;
  UNPACKED unpackedLoopEndMSB;
  UNPACKED unpackedLoopEndLSB;
  UNPACKED unpackedZoneUpperLimit;
  UNPACKED unpackedZoneLowerLimit;
  UNPACKED unpackedStatus;
  UNPACKED unpackedPlaybackMode;
  UNPACKED unpackedPitchTranspose;
  UNPACKED unpackedPitchFineTune;
  UNPACKED unpackedFilterFreq;
  UNPACKED unpackedFutureExpansion1;
  UNPACKED unpackedFutureExpansion2;
  UNPACKED unpackedFutureExpansion3;
  UNPACKED unpackedFutureExpansion4;
  UNPACKED unpackedFutureExpansion5;
  UNPACKED unpackedData[1];  // open-ended: n fields, then the end byte
} KILNBOX_SYSEX_BLOCK, *PKILNBOX_SYSEX_BLOCK;
#pragma pack(pop)

static_assert(sizeof(KILNBOX_SYSEX_BLOCK) == SYSEX_BLOCK_HEADER + 2, "packet header must be packed");

WORD SysexSplitBytes(BYTE d);
BYTE SysexCombineBytes(WORD w);
// Rejoins the two-byte field at `p` (low byte first).
inline BYTE SysexCombineAt(const BYTE* p) { return SysexCombineBytes(static_cast<WORD>(p[0] | (p[1] << 8))); }

// Where messages leave: the output port's record, the buffer of
// BUFFER_SIZE bytes a message stays in while the port sends it, and the
// window that owns the port layer's message boxes.
struct SysexOutput {
  LPMIDIINFO port = nullptr;
  BYTE* buffer = nullptr;
  HWND owner = nullptr;
};

// Sends the message up to its end byte; true when the driver took it (a
// refusal has been shown to the user). So do the builders below.
bool TxSysexMsg(const SysexOutput& out, const BYTE* msg);
// The same for a message built in a buffer of `capacity` bytes: nothing
// beyond it is looked at.
bool TxSysexMsg(const SysexOutput& out, const BYTE* msg, size_t capacity);
bool SysexSendStop(const SysexOutput& out);
bool SysexSendTransferReq(const SysexOutput& out);
bool SysexRequestTransfer(const SysexOutput& out, BYTE blocknum);
bool SysexSetBlockSize(const SysexOutput& out, BYTE blocknum, BYTE blocksize);
bool SysexSetEPROMType(const SysexOutput& out, UINT etype);
bool SysexStartProgramming(const SysexOutput& out, BYTE blocknum);
bool SysexReadEPROM(const SysexOutput& out, BYTE blocknum);
bool SysexBlankCheck(const SysexOutput& out, BYTE blocknum);
bool SysexVerify(const SysexOutput& out, BYTE blocknum);
// Sends `sizek` KB of the IMAGE_SIZE bytes at `image` from byte
// `buffOffset` as block `blocknum`, built in the output's buffer. Returns
// false (sending nothing) when the block would not fit the image or the
// send buffer, or when the driver refused it.
bool SysexSendBlock(const SysexOutput& out, const BYTE* image, BYTE blocknum, BYTE sizek, DWORD buffOffset);
