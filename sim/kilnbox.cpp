#include "sim/kilnbox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {
namespace {

const EpromType kTypes[kTypeCount] = {
    {"2732", 4, false},   {"2732A", 4, false},  {"2764", 8, false},   {"2764A", 8, false},
    {"27128", 16, false}, {"27128A", 16, false}, {"27256", 32, false}, {"27256D", 32, false},
    {"27512", 64, false}, {"Am9864", 8, true},   {"2864C", 8, true},
};

// The longest SysEx the device buffers: a 64 KB data block.
constexpr size_t kMaxMessage = 46 + 2 * size_t{kMemorySize};
// Output is announced to the clock owner in runs of this many bytes (about
// 10 ms at the true wire rate) rather than byte by byte; RunTo still sends
// every byte at its own time.
constexpr size_t kWakeChunk = 32;

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

}  // namespace

const EpromType* TypeInfo(int type) {
  return type >= 0 && type < kTypeCount ? &kTypes[type] : nullptr;
}

int TypeByName(const std::string& name) {
  for (int t = 0; t < kTypeCount; ++t) {
    if (name == kTypes[t].name) return t;
  }
  return -1;
}

std::vector<uint8_t> BuildBlockPacket(int block, uint32_t start, const uint8_t* data, size_t size) {
  std::vector<uint8_t> packet = {kSysexStart, kMfrId, kProductId, kPacketDataBlock,
                                 static_cast<uint8_t>((block - 1) & 0x0F)};
  packet.reserve(46 + 2 * size);
  auto field = [&packet](uint8_t value) {
    uint8_t pair[2];
    SplitByte(value, pair);
    packet.insert(packet.end(), pair, pair + 2);
  };
  const uint32_t lengthMinusOne = size == 0 ? 0 : static_cast<uint32_t>(size - 1);
  field(static_cast<uint8_t>(start >> 8));
  field(static_cast<uint8_t>(start));
  field(static_cast<uint8_t>(lengthMinusOne >> 8));
  field(static_cast<uint8_t>(lengthMinusOne));
  for (int i = 0; i < 4; ++i) field(0);  // loop start and end
  field(0x7F);                           // zone upper limit
  field(0);                              // zone lower limit
  field(1);                              // status
  for (int i = 0; i < 9; ++i) field(0);  // playback mode .. future expansion 5
  for (size_t i = 0; i < size; ++i) field(data[i]);
  packet.push_back(kSysexEnd);
  return packet;
}

Kilnbox::Kilnbox(double speed) {
  SetSpeed(speed);
  memory_.fill(0xFF);
  for (int b = 0; b < kBlockCount; ++b) blocks_[b] = {static_cast<uint32_t>(b) * 4, 4};
  Show(ReadyLine(), "");
}

void Kilnbox::SetSpeed(double speed) {
  speed_ = std::isfinite(speed) && speed > 0 ? speed : 1.0;
}

BlockDef Kilnbox::Block(int block) const {
  return block >= 1 && block <= kBlockCount ? blocks_[block - 1] : BlockDef{};
}

bool Kilnbox::Sending() const { return !outgoing_.empty(); }

// --- the socket ---------------------------------------------------------------

void Kilnbox::InsertEprom(int type, std::vector<uint8_t> contents) {
  const EpromType* info = TypeInfo(type);
  if (!info) return;
  contents.resize(info->sizeK * 1024, 0xFF);
  socket_ = {true, type, std::move(contents)};
}

void Kilnbox::InsertBlankEprom(int type) { InsertEprom(type, {}); }

void Kilnbox::RemoveEprom() { socket_ = Socket{}; }

// --- time -------------------------------------------------------------------------

uint64_t Kilnbox::DeviceTimeUs(double ms) const {
  return static_cast<uint64_t>(std::ceil(ms * 1000.0 / speed_));
}

uint64_t Kilnbox::ByteDueUs(const Transmission& t, size_t index) const {
  const double usPerByte = 1e6 / (kWireBytesPerSecond * speed_);
  return t.startUs + static_cast<uint64_t>(std::ceil(static_cast<double>(index + 1) * usPerByte));
}

void Kilnbox::Receive(const uint8_t* data, size_t size, uint64_t atMs) {
  if (size == 0) return;
  uint64_t atUs = std::max(atMs * 1000, nowUs_);
  if (!arrivals_.empty()) atUs = std::max(atUs, arrivals_.back().atUs);
  arrivals_.push_back({atUs, std::vector<uint8_t>(data, data + size)});
}

std::optional<uint64_t> Kilnbox::NextEventUs() const {
  std::optional<uint64_t> next;
  auto consider = [&next](uint64_t us) { if (!next || us < *next) next = us; };
  if (!arrivals_.empty()) consider(arrivals_.front().atUs);
  if (busy_) consider(busy_->endUs);
  if (!busy_ && !queue_.empty()) consider(nowUs_);
  if (!outgoing_.empty()) {
    const Transmission& t = outgoing_.front();
    consider(ByteDueUs(t, std::min(t.sent + kWakeChunk, t.bytes.size()) - 1));
  }
  return next;
}

std::optional<uint64_t> Kilnbox::NextDue() const {
  std::optional<uint64_t> us = NextEventUs();
  if (!us) return std::nullopt;
  return (*us + 999) / 1000;
}

void Kilnbox::RunTo(uint64_t nowMs) {
  const uint64_t targetUs = nowMs * 1000;
  for (;;) {
    if (!busy_ && !queue_.empty()) {
      std::vector<uint8_t> message = std::move(queue_.front());
      queue_.pop_front();
      Dispatch(message);
      continue;
    }
    const bool arrivalDue = !arrivals_.empty() && arrivals_.front().atUs <= targetUs;
    const bool jobDue = busy_ && busy_->endUs <= targetUs;
    if (arrivalDue && (!jobDue || arrivals_.front().atUs <= busy_->endUs)) {
      Arrival arrival = std::move(arrivals_.front());
      arrivals_.pop_front();
      nowUs_ = std::max(nowUs_, arrival.atUs);
      for (uint8_t byte : arrival.bytes) Frame(byte);
    } else if (jobDue) {
      nowUs_ = std::max(nowUs_, busy_->endUs);
      FinishJob();
    } else {
      break;
    }
  }
  nowUs_ = std::max(nowUs_, targetUs);
  EmitDue(targetUs);
}

// --- output -----------------------------------------------------------------------

uint64_t Kilnbox::QueueOutput(std::vector<uint8_t> bytes, uint64_t earliestUs) {
  uint64_t startUs = earliestUs;
  if (!outgoing_.empty()) {
    const Transmission& last = outgoing_.back();
    startUs = std::max(startUs, ByteDueUs(last, last.bytes.size() - 1));
  }
  if (bytes.empty()) return startUs;
  outgoing_.push_back({startUs, std::move(bytes), 0});
  const Transmission& t = outgoing_.back();
  return ByteDueUs(t, t.bytes.size() - 1);
}

void Kilnbox::EmitDue(uint64_t nowUs) {
  while (!outgoing_.empty()) {
    Transmission& t = outgoing_.front();
    const size_t first = t.sent;
    while (t.sent < t.bytes.size() && ByteDueUs(t, t.sent) <= nowUs) ++t.sent;
    if (t.sent > first) {
      counters_.bytesOut += t.sent - first;
      if (output_) output_(t.bytes.data() + first, t.sent - first);
    }
    if (t.sent < t.bytes.size()) return;
    outgoing_.pop_front();
  }
}

// --- the display ------------------------------------------------------------------

void Kilnbox::Show(const std::string& line1, const std::string& line2) {
  display_[0] = line1.substr(0, kDisplayWidth);
  display_[1] = line2.substr(0, kDisplayWidth);
}

void Kilnbox::ShowResult(const std::string& line2) { Show(ReadyLine(), line2); }

std::string Kilnbox::ReadyLine() const {
  char text[kDisplayWidth + 1];
  std::snprintf(text, sizeof text, "Ready%11s", kTypes[selectedType_].name);
  return text;
}

// --- input framing ----------------------------------------------------------------

void Kilnbox::Frame(uint8_t byte) {
  ++counters_.bytesIn;
  if (byte >= 0xF8) {  // real-time bytes may stand anywhere, even inside SysEx
    ++counters_.realTimeBytes;
    return;
  }
  if (byte & 0x80) {
    if (inSysex_) {
      if (byte == kSysexEnd) {
        framing_.push_back(byte);
        inSysex_ = false;
        if (overlong_) {
          ++counters_.badPackets;
          ShowResult("Packet too long");
        } else {
          HandleMessage(std::move(framing_));
        }
        framing_.clear();
        return;
      }
      // Any other status byte cuts the SysEx off; what was gathered is lost.
      counters_.droppedBytes += static_cast<uint32_t>(framing_.size());
      framing_.clear();
      inSysex_ = false;
    }
    if (byte == kSysexStart) {
      framing_.assign(1, byte);
      inSysex_ = true;
      overlong_ = false;
    } else {
      ++counters_.droppedBytes;  // short messages mean nothing to the device
    }
    return;
  }
  if (!inSysex_) {
    ++counters_.droppedBytes;
    return;
  }
  if (framing_.size() >= kMaxMessage) {
    overlong_ = true;
    return;
  }
  framing_.push_back(byte);
  if (framing_.size() == 5 && framing_[1] == kMfrId && framing_[2] == kProductId &&
      framing_[3] == kPacketDataBlock && !busy_) {
    display_[0] = Format("Receiving blk %u", (framing_[4] & 0x0F) + 1u);
  }
}

void Kilnbox::HandleMessage(std::vector<uint8_t> message) {
  if (message.size() < 5 || message[1] != kMfrId || message[2] != kProductId ||
      message[3] > kPacketCommand) {
    ++counters_.ignoredMessages;
    return;
  }
  // Stop is a key that works at once, also while an operation runs.
  if (message[3] == kPacketCommand && message.size() == 6 && message[4] == kCodeStop) {
    ++counters_.commands;
    Stop();
    return;
  }
  queue_.push_back(std::move(message));
}

void Kilnbox::Dispatch(const std::vector<uint8_t>& message) {
  switch (message[3]) {
    case kPacketTransferRequest: DoTransferRequest(message); break;
    case kPacketDataBlock: DoDataBlock(message); break;
    default: DoCommand(message); break;
  }
}

// --- transfer request and data blocks ------------------------------------------

void Kilnbox::DoTransferRequest(const std::vector<uint8_t>& message) {
  if (message.size() != 6 || message[4] > 0x0F) {
    ++counters_.badPackets;
    ShowResult("Bad request");
    return;
  }
  ++counters_.transferRequests;
  SendBlock(message[4] + 1);
}

void Kilnbox::SendBlock(int block) {
  const BlockDef def = blocks_[block - 1];
  const uint32_t start = def.startK * 1024;
  const int64_t size = std::clamp<int64_t>(int64_t{def.sizeK} * 1024 + faults_.sizeDelta, 1, kMemorySize - start);
  std::vector<uint8_t> packet = BuildBlockPacket(block, start, memory_.data() + start, static_cast<size_t>(size));
  uint64_t delayUs = 0;
  std::vector<uint8_t> wire = ApplyFaults(std::move(packet), &delayUs);
  if (wire.empty()) {
    ShowResult(Format("Block %u not sent", static_cast<unsigned>(block)));
    return;
  }
  ++counters_.repliesSent;
  Job job;
  job.reply = true;
  job.block = block;
  job.endUs = QueueOutput(std::move(wire), nowUs_ + delayUs);
  busy_ = job;
  Show(Format("Sending block %u", static_cast<unsigned>(block)), Format("%u bytes", def.sizeK * 1024));
}

std::vector<uint8_t> Kilnbox::ApplyFaults(std::vector<uint8_t> reply, uint64_t* delayUs) {
  const FaultKnobs f = faults_;
  if (!f.allReplies) faults_ = FaultKnobs{};
  *delayUs = uint64_t{f.lateMs} * 1000;
  if (f.noReply) return {};

  std::vector<uint8_t> wire;
  auto copyWith = [&](size_t offset, uint8_t value, int count) {
    for (int i = 0; i < count; ++i) {
      const size_t at = wire.size();
      wire.insert(wire.end(), reply.begin(), reply.end());
      wire[at + offset] = value;
    }
  };
  copyWith(1, f.foreignMfrId, f.foreignMfrPackets);
  copyWith(3, f.otherPacketType, f.otherTypePackets);
  for (int i = 0; i < f.notesBefore; ++i) wire.insert(wire.end(), {0x90, 0x3C, 0x64});

  if (f.corruptOffset >= 0 && static_cast<size_t>(f.corruptOffset) < reply.size()) {
    reply[f.corruptOffset] = f.corruptValue;
  }
  if (f.truncateAfter >= 0 && static_cast<size_t>(f.truncateAfter) < reply.size()) {
    reply.resize(f.truncateAfter);
  }
  if (f.statusByteAt >= 0 && static_cast<size_t>(f.statusByteAt) <= reply.size()) {
    reply.insert(reply.begin() + f.statusByteAt, f.statusByte);
  }
  for (size_t i = 0; i < reply.size(); ++i) {
    wire.push_back(reply[i]);
    if (f.realTimeEvery > 0 && (i + 1) % static_cast<size_t>(f.realTimeEvery) == 0) wire.push_back(0xF8);
  }
  return wire;
}

void Kilnbox::DoDataBlock(const std::vector<uint8_t>& message) {
  ReceivedPacketInfo info;
  const size_t size = message.size();
  uint8_t header[20];
  bool wellFormed = size >= kBlockHeaderSize + 1 && (size - kBlockHeaderSize - 1) % 2 == 0 && message[4] <= 0x0F;
  for (int i = 0; wellFormed && i < 20; ++i) wellFormed = JoinPair(&message[5 + 2 * i], &header[i]);
  if (wellFormed) {
    info.block = message[4] + 1;
    info.startAddress = header[0] * 256u + header[1];
    info.length = header[2] * 256u + header[3] + 1;
    info.dataBytes = static_cast<uint32_t>((size - kBlockHeaderSize - 1) / 2);
    wellFormed = info.length == info.dataBytes;
  }
  const BlockDef def = wellFormed ? blocks_[info.block - 1] : BlockDef{};
  const uint32_t room = def.sizeK * 1024;
  std::vector<uint8_t> data(std::min(info.dataBytes, room));
  for (size_t i = 0; wellFormed && i < data.size(); ++i) {
    wellFormed = JoinPair(&message[kBlockHeaderSize + 2 * i], &data[i]);
  }
  if (!wellFormed) {
    ++counters_.badPackets;
    ShowResult("Bad data packet");
    return;
  }
  std::copy(data.begin(), data.end(), memory_.begin() + def.startK * 1024);
  info.valid = true;
  info.stored = static_cast<uint32_t>(data.size());
  lastPacket_ = info;
  ++counters_.blocksReceived;
  if (info.dataBytes > room) {
    ShowResult(Format("Blk %u too long", static_cast<unsigned>(info.block)));
  } else {
    ShowResult(Format("Block %u received", static_cast<unsigned>(info.block)));
  }
}

// --- commands ---------------------------------------------------------------------

void Kilnbox::DoCommand(const std::vector<uint8_t>& message) {
  if (RunCommand(message.data() + 4, message.size() - 5)) {
    ++counters_.commands;
  } else {
    ++counters_.badCommands;
  }
}

// Carries out one command message's codes; false (with the reason on the
// display) when they do not form one of the device's entries.
bool Kilnbox::RunCommand(const uint8_t* codes, size_t count) {
  size_t i = 0;
  auto next = [&](uint8_t code) {
    if (i < count && codes[i] == code) return ++i, true;
    return false;
  };
  auto number = [&](uint32_t* value) {
    size_t digits = 0;
    *value = 0;
    while (i < count && codes[i] <= 9 && digits < 3) *value = *value * 10 + codes[i++], ++digits;
    return digits >= 1 && digits <= 2;
  };
  auto end = [&] { return i == count; };
  auto bad = [&](const char* why) {
    ShowResult(why);
    return false;
  };

  if (count == 0) return bad("Bad command");
  if (next(kCodeTransfer)) {
    if (!next(kCodeEnter) || !end()) return bad("Bad command");
    SendBlock(selectedBlock_);
    return true;
  }
  if (next(kCodeSettings)) {
    if (!next(kCodeTypeSetting)) return bad("Bad command");
    const size_t first = i;
    while (next(kCodeStepUp) || next(kCodeStepDown)) {}
    const size_t steps = i - first;
    next(kCodeEnter);
    if (!end()) return bad("Bad command");
    SelectType(codes + first, steps);
    return true;
  }
  uint32_t block = 0;
  if (!next(kCodeBlock) || !number(&block)) return bad("Bad command");
  if (block < 1 || block > kBlockCount) return bad("Bad block number");
  selectedBlock_ = static_cast<int>(block);
  if (next(kCodeNextField)) {
    uint32_t startK = 0, sizeK = 0;
    if (!number(&startK) || !next(kCodeNextField) || !number(&sizeK)) return bad("Bad command");
    next(kCodeEnter);
    if (!end()) return bad("Bad command");
    return SetBlockSize(selectedBlock_, startK, sizeK);
  }
  struct { uint8_t code; Op op; int enters; } const keys[] = {
      {kCodeRead, Op::Read, 1}, {kCodeProgram, Op::Program, 2},
      {kCodeBlankCheck, Op::BlankCheck, 1}, {kCodeVerify, Op::Verify, 1}};
  for (const auto& key : keys) {
    if (!next(key.code)) continue;
    // Programming asks for a second Enter to confirm.
    for (int e = 0; e < key.enters; ++e) {
      if (!next(kCodeEnter)) return bad("Bad command");
    }
    if (!end()) return bad("Bad command");
    StartOperation(key.op, selectedBlock_);
    return true;
  }
  next(kCodeEnter);
  if (!end()) return bad("Bad command");
  ShowResult(Format("Block %u", block));
  return true;
}

void Kilnbox::Stop() {
  queue_.clear();
  if (busy_ && !busy_->reply) busy_.reset();  // a reply on the wire goes out whole
  ShowResult("Stopped");
}

bool Kilnbox::SetBlockSize(int block, uint32_t startK, uint32_t sizeK) {
  if (sizeK == 0 || startK + sizeK > kMemorySize / 1024) {
    ShowResult("Bad block size");
    return false;
  }
  blocks_[block - 1] = {startK, sizeK};
  ShowResult(Format("Blk %u %uK@%uK", static_cast<unsigned>(block), sizeK, startK));
  return true;
}

void Kilnbox::SelectType(const uint8_t* steps, size_t count) {
  int type = kDefaultType;
  for (size_t s = 0; s < count; ++s) {
    type += steps[s] == kCodeStepUp ? 1 : -1;
    type = std::clamp(type, 0, kTypeCount - 1);
  }
  selectedType_ = type;
  ShowResult(std::string("Type ") + kTypes[type].name);
}

// --- EPROM operations -------------------------------------------------------------

void Kilnbox::StartOperation(Op op, int block) {
  if (!socket_.present) {
    ShowResult("No EPROM");
    return;
  }
  if (socket_.type != selectedType_) {
    Show("Type mismatch", std::string("Socket: ") + kTypes[socket_.type].name);
    return;
  }
  const uint32_t eprombytes = static_cast<uint32_t>(socket_.contents.size());
  const uint32_t bytes = op == Op::BlankCheck ? eprombytes : std::min(eprombytes, blocks_[block - 1].sizeK * 1024);
  const double msPerK = op == Op::Program ? kProgramMsPerK : kReadMsPerK;
  Job job;
  job.op = op;
  job.block = block;
  job.endUs = nowUs_ + DeviceTimeUs(kOperationSetupMs + msPerK * bytes / 1024.0);
  busy_ = job;
  const char* name = kTypes[selectedType_].name;
  switch (op) {
    case Op::Read: Show(std::string("Reading ") + name, Format("Block %u", static_cast<unsigned>(block))); break;
    case Op::Program: Show(std::string("Program ") + name, Format("Block %u", static_cast<unsigned>(block))); break;
    case Op::BlankCheck: Show(std::string("Blank chk ") + name, ""); break;
    case Op::Verify: Show(std::string("Verify ") + name, Format("Block %u", static_cast<unsigned>(block))); break;
  }
}

void Kilnbox::FinishJob() {
  const Job job = *busy_;
  busy_.reset();
  if (job.reply) {
    ShowResult(Format("Sent block %u", static_cast<unsigned>(job.block)));
  } else {
    FinishOperation(job);
  }
}

void Kilnbox::FinishOperation(const Job& job) {
  ++counters_.operations;
  std::vector<uint8_t>& eprom = socket_.contents;
  if (job.op == Op::BlankCheck) {
    auto it = std::find_if(eprom.begin(), eprom.end(), [](uint8_t b) { return b != 0xFF; });
    ShowResult(it == eprom.end() ? "EPROM blank" : Format("Not blank @%04X", static_cast<unsigned>(it - eprom.begin())));
    return;
  }
  const uint32_t start = blocks_[job.block - 1].startK * 1024;
  const size_t bytes = std::min<size_t>(eprom.size(), blocks_[job.block - 1].sizeK * 1024);
  uint8_t* mem = memory_.data() + start;
  switch (job.op) {
    case Op::Read:
      std::copy(eprom.begin(), eprom.begin() + bytes, mem);
      ShowResult("Read OK");
      return;
    case Op::Program: {
      const bool erasable = kTypes[socket_.type].electricallyErasable;
      std::optional<size_t> failed;
      for (size_t i = 0; i < bytes; ++i) {
        // An EPROM cell can only be cleared: programming turns 1 bits to 0.
        eprom[i] = erasable ? mem[i] : static_cast<uint8_t>(eprom[i] & mem[i]);
        if (eprom[i] != mem[i] && !failed) failed = i;
      }
      ShowResult(failed ? Format("Prog fail @%04X", static_cast<unsigned>(*failed)) : "Program OK");
      return;
    }
    case Op::Verify: {
      auto diff = std::mismatch(eprom.begin(), eprom.begin() + bytes, mem);
      ShowResult(diff.first == eprom.begin() + bytes
                     ? "Verify OK"
                     : Format("Verify err @%04X", static_cast<unsigned>(diff.first - eprom.begin())));
      return;
    }
    case Op::BlankCheck: return;
  }
}

}  // namespace sim
