// The Kilnbox's System Exclusive messages. Each function builds one whole
// message and hands it to the output port at once; nothing here waits for
// or reads a reply.
#include "device/sysex.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shell/image_model.h"

namespace {

// Command codes.
constexpr BYTE CMD_TYPE_STEP_DOWN = 0x0C;
constexpr BYTE CMD_TYPE_SETTING = 0x0D;
constexpr BYTE CMD_TYPE_STEP_UP = 0x0E;
constexpr BYTE CMD_SELECT_BLOCK = 0x14;
constexpr BYTE CMD_ENTER = 0x15;
constexpr BYTE CMD_NEXT_NUMBER = 0x16;
constexpr BYTE CMD_STOP = 0x1F;
constexpr BYTE CMD_READ = 0x21;
constexpr BYTE CMD_PROGRAM = 0x22;
constexpr BYTE CMD_BLANK_CHECK = 0x23;
constexpr BYTE CMD_SETTINGS = 0x24;
constexpr BYTE CMD_TRANSFER = 0x27;
constexpr BYTE CMD_VERIFY = 0x29;

// The type selection stands here when the settings open.
constexpr UINT kTypeSelectionHome = et2764;

// A command message being built. The longest (a type change to the highest
// type) is 15 bytes.
struct Command {
  BYTE bytes[24] = {};
  size_t size = 0;
  bool encodable = true;
  long badNumber = 0;  // the first number that has no encoding
};

void Put(Command& cmd, BYTE code) {
  if (cmd.size < sizeof cmd.bytes) cmd.bytes[cmd.size++] = code;
}

Command StartMessage(BYTE packetType) {
  Command cmd;
  Put(cmd, SYSEX_START);
  Put(cmd, KILNBOX_MFR_ID);
  Put(cmd, KILNBOX_PRODUCT_ID);
  Put(cmd, packetType);
  return cmd;
}

// A number travels as one code per decimal digit; only 0 .. 99 can be sent.
void PutNumber(Command& cmd, long value) {
  if (value < 0 || value > 99) {
    if (cmd.encodable) cmd.badNumber = value;
    cmd.encodable = false;
    return;
  }
  if (value >= 10) Put(cmd, static_cast<BYTE>(value / 10));
  Put(cmd, static_cast<BYTE>(value % 10));
}

// Ends the message and sends it, or, when a number could not be encoded,
// sends nothing: a command with a wrong number could act on the wrong
// memory of the device.
bool SendCommand(const SysexOutput& out, Command& cmd) {
  if (!cmd.encodable) {
    char text[96];
    std::snprintf(text, sizeof text, "Kilnbox command number out of range: %ld", cmd.badNumber);
    plat::MessageBox(nullptr, text, nullptr, MB_OK | MB_ICONERROR);
    return false;
  }
  Put(cmd, SYSEX_END);
  return TxSysexMsg(out, cmd.bytes, sizeof cmd.bytes);
}

// "Select block b, then these codes".
bool SendBlockCommand(const SysexOutput& out, BYTE blocknum, const BYTE* codes, size_t count) {
  Command cmd = StartMessage(PACKET_COMMAND);
  Put(cmd, CMD_SELECT_BLOCK);
  PutNumber(cmd, blocknum);
  for (size_t i = 0; i < count; ++i) Put(cmd, codes[i]);
  return SendCommand(out, cmd);
}

BYTE BlockByte(BYTE blocknum) { return static_cast<BYTE>((blocknum - 1) & 0x0F); }

void PutSplit(BYTE* field, BYTE d) {
  field[0] = static_cast<BYTE>(0x40 | (d >> 4));
  field[1] = static_cast<BYTE>(d & 0x0F);
}

#define FIELD(name) (packet + offsetof(KILNBOX_SYSEX_BLOCK, name))

void WriteBlockHeader(BYTE* packet, BYTE blocknum, BYTE sizek) {
  packet[0] = SYSEX_START;
  packet[1] = KILNBOX_MFR_ID;
  packet[2] = KILNBOX_PRODUCT_ID;
  packet[3] = PACKET_DATA_BLOCK;
  packet[4] = BlockByte(blocknum);
  // Start and length are byte addresses in the device's 64 KB; their low
  // bytes are always 0x00 and 0xFF because blocks are whole K.
  PutSplit(FIELD(unpackedStartAddressMSB), static_cast<BYTE>((blocknum - 1) * sizek * 4));
  PutSplit(FIELD(unpackedStartAddressLSB), 0);
  PutSplit(FIELD(unpackedBlockLengthMSB), static_cast<BYTE>(sizek * 4 - 1));
  PutSplit(FIELD(unpackedBlockLengthLSB), 0xFF);
  for (BYTE* f = FIELD(unpackedLoopStartMSB); f < packet + SYSEX_BLOCK_HEADER; f += 2) PutSplit(f, 0);
  PutSplit(FIELD(unpackedZoneUpperLimit), 0x7F);
  PutSplit(FIELD(unpackedStatus), 1);
}

#undef FIELD

void RefuseBlock() { plat::MessageBox(nullptr, "block size too large", nullptr, MB_OK); }

}  // namespace

WORD SysexSplitBytes(BYTE d) { return static_cast<WORD>((0x40 | (d >> 4)) | ((d & 0x0F) << 8)); }

BYTE SysexCombineBytes(WORD w) { return static_cast<BYTE>(((w << 4) & 0xF0) | ((w >> 8) & 0x0F)); }

bool TxSysexMsg(const SysexOutput& out, const BYTE* msg) { return TxSysexMsg(out, msg, BUFFER_SIZE); }

bool TxSysexMsg(const SysexOutput& out, const BYTE* msg, size_t capacity) {
  if (msg == nullptr || out.buffer == nullptr) {
    plat::DebugTrace("\r\nTxSysexMsg: no message or no send buffer");
    return false;
  }
  const void* end = std::memchr(msg, SYSEX_END, capacity < BUFFER_SIZE ? capacity : BUFFER_SIZE);
  if (end == nullptr) {
    plat::DebugTrace("\r\nTxSysexMsg: no end of message within the send buffer");
    return false;
  }
  const DWORD len = static_cast<DWORD>(static_cast<const BYTE*>(end) - msg + 1);
  if (msg != out.buffer) std::memmove(out.buffer, msg, len);
  const UINT attached = MidiAssignBuffer(out.owner, out.port, reinterpret_cast<char*>(out.buffer), len, 1);
  const UINT sent = MidiSendLongMsg(out.owner, out.port, 1);
  MidiAssignBuffer(out.owner, out.port, nullptr, 0, 0);
  return attached == 0 && sent == 0;
}

bool SysexSendStop(const SysexOutput& out) {
  Command cmd = StartMessage(PACKET_COMMAND);
  Put(cmd, CMD_STOP);
  return SendCommand(out, cmd);
}

bool SysexSendTransferReq(const SysexOutput& out) {
  Command cmd = StartMessage(PACKET_COMMAND);
  Put(cmd, CMD_TRANSFER);
  Put(cmd, CMD_ENTER);
  return SendCommand(out, cmd);
}

bool SysexRequestTransfer(const SysexOutput& out, BYTE blocknum) {
  Command cmd = StartMessage(PACKET_TRANSFER_REQUEST);
  Put(cmd, BlockByte(blocknum));
  return SendCommand(out, cmd);
}

bool SysexSetBlockSize(const SysexOutput& out, BYTE blocknum, BYTE blocksize) {
  // The block's start in K in the device's memory. Kept whole: a start
  // beyond 99 K has no encoding and is refused rather than wrapped.
  const long startK = (static_cast<long>(blocknum) - 1) * blocksize;
  Command cmd = StartMessage(PACKET_COMMAND);
  Put(cmd, CMD_SELECT_BLOCK);
  PutNumber(cmd, blocknum);
  Put(cmd, CMD_NEXT_NUMBER);
  PutNumber(cmd, startK);
  Put(cmd, CMD_NEXT_NUMBER);
  PutNumber(cmd, blocksize);
  return SendCommand(out, cmd);
}

bool SysexSetEPROMType(const SysexOutput& out, UINT etype) {
  if (etype >= etINVALID) etype = kTypeSelectionHome;
  Command cmd = StartMessage(PACKET_COMMAND);
  Put(cmd, CMD_SETTINGS);
  Put(cmd, CMD_TYPE_SETTING);
  for (UINT t = kTypeSelectionHome; t < etype; ++t) Put(cmd, CMD_TYPE_STEP_UP);
  for (UINT t = etype; t < kTypeSelectionHome; ++t) Put(cmd, CMD_TYPE_STEP_DOWN);
  return SendCommand(out, cmd);
}

bool SysexStartProgramming(const SysexOutput& out, BYTE blocknum) {
  const BYTE codes[] = {CMD_PROGRAM, CMD_ENTER, CMD_ENTER};
  return SendBlockCommand(out, blocknum, codes, sizeof codes);
}

bool SysexReadEPROM(const SysexOutput& out, BYTE blocknum) {
  const BYTE codes[] = {CMD_READ, CMD_ENTER};
  return SendBlockCommand(out, blocknum, codes, sizeof codes);
}

bool SysexBlankCheck(const SysexOutput& out, BYTE blocknum) {
  const BYTE codes[] = {CMD_BLANK_CHECK, CMD_ENTER};
  return SendBlockCommand(out, blocknum, codes, sizeof codes);
}

bool SysexVerify(const SysexOutput& out, BYTE blocknum) {
  const BYTE codes[] = {CMD_VERIFY, CMD_ENTER};
  return SendBlockCommand(out, blocknum, codes, sizeof codes);
}

bool SysexSendBlock(const SysexOutput& out, const BYTE* image, BYTE blocknum, BYTE sizek, DWORD buffOffset) {
  const uint64_t n = static_cast<uint64_t>(sizek) * 1024;
  if (n > IMAGE_SIZE || buffOffset + n > IMAGE_SIZE || SysexBlockPacketSize(static_cast<UINT>(n)) > BUFFER_SIZE) {
    RefuseBlock();
    return false;
  }
  if (out.buffer == nullptr || image == nullptr || n == 0) {
    plat::DebugTrace("\r\nSysexSendBlock: no buffer, no image or an empty block");
    return false;
  }
  WriteBlockHeader(out.buffer, blocknum, sizek);
  BYTE* packed = out.buffer + SYSEX_BLOCK_HEADER;
  const BYTE* in = image + buffOffset;
  for (uint64_t i = 0; i < n; ++i, packed += 2) PutSplit(packed, in[i]);
  *packed = SYSEX_END;
  return TxSysexMsg(out, out.buffer);
}
