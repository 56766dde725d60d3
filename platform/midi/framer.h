// Turns a raw MIDI byte stream, fed in pieces of any size, into whole
// messages. Every MIDI input back end (system ports, raw byte devices, the
// simulated Kilnbox, in-memory test ports) goes through this one framer.
//
// - Real-time bytes (0xF8..0xFF) are dropped wherever they stand, also inside
//   a System Exclusive message or between the data bytes of a short message:
//   an active-sensing byte must never break a transfer.
// - A status byte other than 0xF7 inside a System Exclusive message ends it
//   early (reported as incomplete) and then starts its own message.
// - Channel messages honour running status; system common messages cancel
//   it; data bytes with no status to belong to are dropped.
// - A System Exclusive message is buffered up to a maximum length only; a
//   longer one is counted, its bytes dropped, and reported as over-length
//   when it ends, so memory stays bounded whatever arrives.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/seam.h"

// Appends `size` bytes to `buffer` but lets it hold `max` bytes at most;
// returns how many were appended. Capacity grows by doubling, never past
// `max`.
size_t AppendBounded(std::vector<uint8_t>& buffer, const uint8_t* data, size_t size, size_t max);

struct MidiFramerEvent {
  enum class Kind {
    Short,            // a channel or system common message, 1 to 3 bytes
    Sysex,            // a complete System Exclusive message, 0xF0 .. 0xF7
    SysexIncomplete,  // cut short by a status byte or an interruption
    SysexOverLength,  // longer than the framer's maximum; bytes dropped
  };
  Kind kind = Kind::Short;
  // Short and Sysex: the message's bytes, valid during the callback only.
  // The other kinds carry no bytes.
  const uint8_t* data = nullptr;
  // Bytes of the message; for the incomplete and over-length kinds, the
  // bytes seen before it ended (0xF0 included).
  size_t size = 0;
};

class MidiFramer {
 public:
  using Handler = std::function<void(const MidiFramerEvent&)>;

  // `maxSysex` counts the whole message, 0xF0 and 0xF7 included.
  MidiFramer(size_t maxSysex, Handler handler);

  void Feed(const uint8_t* data, size_t size);
  // Ends a System Exclusive message in progress as incomplete (bytes were
  // lost) and forgets running status.
  void Interrupt();
  // Silently forgets a message in progress and running status.
  void Reset();

 private:
  void OnStatus(uint8_t status);
  void OnData(uint8_t data);
  void FeedSysexRun(const uint8_t* data, size_t size);
  void EndSysex(bool complete);
  void EmitShort();

  size_t maxSysex_;
  Handler handler_;

  bool inSysex_ = false;
  size_t sysexSeen_ = 0;          // bytes of the message so far, kept or not
  std::vector<uint8_t> sysex_;

  uint8_t runningStatus_ = 0;        // 0: none
  uint8_t message_[3] = {};          // the short message being collected
  size_t have_ = 0;               // bytes of message_ collected
  size_t need_ = 0;               // bytes message_ needs in all; 0: none pending
};
