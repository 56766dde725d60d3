#include "platform/midi/framer.h"

#include <algorithm>

namespace {

constexpr uint8_t kSysexStart = 0xF0;
constexpr uint8_t kSysexEnd = 0xF7;
constexpr uint8_t kFirstRealTime = 0xF8;

bool IsStatus(uint8_t b) { return (b & 0x80) != 0; }

// Data bytes that follow a status byte; -1 for a stray 0xF7 and the
// undefined system common statuses (0xF4, 0xF5), which carry no message.
int DataBytesAfter(uint8_t status) {
  if (status == 0xF4 || status == 0xF5) return -1;
  return static_cast<int>(MidiMessageLength(status)) - 1;
}

}  // namespace

size_t AppendBounded(std::vector<uint8_t>& buffer, const uint8_t* data, size_t size, size_t max) {
  const size_t room = buffer.size() < max ? max - buffer.size() : 0;
  const size_t keep = std::min(size, room);
  if (keep == 0) return 0;
  const size_t wanted = buffer.size() + keep;
  if (wanted > buffer.capacity()) buffer.reserve(std::min(max, std::max(wanted, 2 * buffer.capacity())));
  buffer.insert(buffer.end(), data, data + keep);
  return keep;
}

MidiFramer::MidiFramer(size_t maxSysex, Handler handler) : maxSysex_(maxSysex), handler_(std::move(handler)) {}

void MidiFramer::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    if (inSysex_ && !IsStatus(data[i])) {
      size_t end = i;
      while (end < size && !IsStatus(data[end])) ++end;
      FeedSysexRun(data + i, end - i);
      i = end;
      continue;
    }
    const uint8_t b = data[i++];
    if (b >= kFirstRealTime) continue;
    if (IsStatus(b)) {
      OnStatus(b);
    } else {
      OnData(b);
    }
  }
}

void MidiFramer::Interrupt() {
  if (inSysex_) EndSysex(false);
  Reset();
}

void MidiFramer::Reset() {
  inSysex_ = false;
  sysexSeen_ = 0;
  sysex_.clear();
  runningStatus_ = 0;
  have_ = need_ = 0;
}

void MidiFramer::OnStatus(uint8_t status) {
  if (inSysex_) {
    if (status == kSysexEnd) {
      EndSysex(true);
      return;
    }
    EndSysex(false);
  }
  have_ = need_ = 0;
  if (status == kSysexStart) {
    runningStatus_ = 0;
    inSysex_ = true;
    sysexSeen_ = 0;
    FeedSysexRun(&status, 1);
    return;
  }
  const int dataBytes = DataBytesAfter(status);
  runningStatus_ = status < 0xF0 ? status : 0;
  if (dataBytes < 0) return;  // a stray 0xF7 or an undefined status
  message_[0] = status;
  have_ = 1;
  need_ = 1 + static_cast<size_t>(dataBytes);
  if (have_ == need_) EmitShort();
}

void MidiFramer::OnData(uint8_t data) {
  if (need_ == 0) {
    if (runningStatus_ == 0) return;  // no status to belong to
    message_[0] = runningStatus_;
    have_ = 1;
    need_ = 1 + static_cast<size_t>(DataBytesAfter(runningStatus_));
  }
  message_[have_++] = data;
  if (have_ == need_) EmitShort();
}

void MidiFramer::EmitShort() {
  MidiFramerEvent event;
  event.kind = MidiFramerEvent::Kind::Short;
  event.data = message_;
  event.size = have_;
  have_ = need_ = 0;
  if (handler_) handler_(event);
}

void MidiFramer::FeedSysexRun(const uint8_t* data, size_t size) {
  sysexSeen_ += size;
  AppendBounded(sysex_, data, size, maxSysex_);
}

void MidiFramer::EndSysex(bool complete) {
  if (complete) {
    const uint8_t end = kSysexEnd;
    FeedSysexRun(&end, 1);
  }
  MidiFramerEvent event;
  if (sysexSeen_ > maxSysex_) {
    event.kind = MidiFramerEvent::Kind::SysexOverLength;
  } else if (complete) {
    event.kind = MidiFramerEvent::Kind::Sysex;
    event.data = sysex_.data();
  } else {
    event.kind = MidiFramerEvent::Kind::SysexIncomplete;
  }
  event.size = sysexSeen_;
  inSysex_ = false;
  if (handler_) handler_(event);
  sysex_.clear();
  sysexSeen_ = 0;
}
