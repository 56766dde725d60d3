// The input framer sits under every MIDI input: whatever the cable or a
// device thread delivers, in whatever pieces, must come out as the same
// whole messages, and never cost unbounded memory.
#include "platform/midi/framer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Kind = MidiFramerEvent::Kind;

struct Seen {
  Kind kind;
  Bytes bytes;  // Short and Sysex only
  size_t size;
  bool operator==(const Seen& o) const { return kind == o.kind && bytes == o.bytes && size == o.size; }
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
  os << "kind " << static_cast<int>(s.kind) << " size " << s.size << " [";
  for (uint8_t b : s.bytes) os << std::hex << static_cast<int>(b) << ' ';
  return os << std::dec << "]";
}

Seen Short(Bytes b) { return {Kind::Short, b, b.size()}; }
Seen Sysex(Bytes b) { return {Kind::Sysex, b, b.size()}; }
Seen Incomplete(size_t n) { return {Kind::SysexIncomplete, {}, n}; }
Seen OverLength(size_t n) { return {Kind::SysexOverLength, {}, n}; }

class Framed {
 public:
  explicit Framed(size_t maxSysex = 1 << 20)
      : framer_(maxSysex, [this](const MidiFramerEvent& e) {
          Bytes bytes = e.data ? Bytes(e.data, e.data + e.size) : Bytes();
          seen.push_back({e.kind, bytes, e.size});
        }) {}
  Framed& Feed(const Bytes& b) {
    framer_.Feed(b.data(), b.size());
    return *this;
  }
  MidiFramer& framer() { return framer_; }
  std::vector<Seen> seen;

 private:
  MidiFramer framer_;
};

std::vector<Seen> FrameOf(const Bytes& stream) {
  Framed f;
  f.Feed(stream);
  return f.seen;
}

Bytes Insert(Bytes b, size_t at, uint8_t value) {
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), value);
  return b;
}

TEST(MidiFramer, ShortMessagesWithRunningStatus) {
  Framed f;
  f.Feed({0x90, 0x40, 0x7F, 0x41, 0x00, 0xC3, 0x05, 0x06, 0xE0, 0x00, 0x40});
  EXPECT_EQ(f.seen, (std::vector<Seen>{Short({0x90, 0x40, 0x7F}), Short({0x90, 0x41, 0x00}), Short({0xC3, 0x05}),
                                       Short({0xC3, 0x06}), Short({0xE0, 0x00, 0x40})}));
}

TEST(MidiFramer, SystemCommonCancelsRunningStatusAndStrayDataIsDropped) {
  EXPECT_EQ(FrameOf({0x01, 0x02, 0x90, 0x40, 0x7F, 0xF1, 0x10, 0x41, 0x00}),
            (std::vector<Seen>{Short({0x90, 0x40, 0x7F}), Short({0xF1, 0x10})}));
  EXPECT_EQ(FrameOf({0xF2, 0x01, 0x02, 0xF6, 0xF3, 0x05}),
            (std::vector<Seen>{Short({0xF2, 0x01, 0x02}), Short({0xF6}), Short({0xF3, 0x05})}));
  // Undefined statuses and a stray end of exclusive carry no message.
  EXPECT_EQ(FrameOf({0x90, 0x40, 0x7F, 0xF4, 0x40, 0x7F, 0xF7, 0x01, 0xF5}),
            (std::vector<Seen>{Short({0x90, 0x40, 0x7F})}));
  // A new status abandons a short message half received.
  EXPECT_EQ(FrameOf({0x90, 0x40, 0x80, 0x41, 0x00}), (std::vector<Seen>{Short({0x80, 0x41, 0x00})}));
}

TEST(MidiFramer, RealTimeBytesAreDroppedAtEveryPositionOfEveryMessage) {
  const Bytes stream = {0xF0, 0x10, 0x05, 0x01, 0x4A, 0x07, 0xF7, 0x90, 0x40, 0x7F, 0x41, 0x00, 0xC0, 0x05};
  const std::vector<Seen> expected = FrameOf(stream);
  ASSERT_EQ(expected.size(), 4u);
  for (uint8_t rt : {0xF8, 0xFA, 0xFE, 0xFF}) {
    for (size_t at = 0; at <= stream.size(); ++at) {
      EXPECT_EQ(FrameOf(Insert(stream, at, rt)), expected) << "byte " << int(rt) << " at " << at;
    }
  }
}

TEST(MidiFramer, StatusByteInsideSysexEndsItAsIncompleteThenStartsItsOwnMessage) {
  EXPECT_EQ(FrameOf({0xF0, 0x01, 0x02, 0x90, 0x40, 0x7F}),
            (std::vector<Seen>{Incomplete(3), Short({0x90, 0x40, 0x7F})}));
  EXPECT_EQ(FrameOf({0xF0, 0x01, 0xF0, 0x02, 0xF7}), (std::vector<Seen>{Incomplete(2), Sysex({0xF0, 0x02, 0xF7})}));
  EXPECT_EQ(FrameOf({0xF0, 0x01, 0xF6}), (std::vector<Seen>{Incomplete(2), Short({0xF6})}));
  // Running status does not survive a System Exclusive message.
  EXPECT_EQ(FrameOf({0x90, 0x40, 0x7F, 0xF0, 0xF7, 0x41, 0x00}),
            (std::vector<Seen>{Short({0x90, 0x40, 0x7F}), Sysex({0xF0, 0xF7})}));
}

TEST(MidiFramer, OverLengthSysexIsCountedNotKeptAndTheNextMessageIsWhole) {
  Bytes fits = {0xF0};
  fits.insert(fits.end(), 14, 0x11);
  fits.push_back(0xF7);  // 16 bytes: exactly the maximum
  Bytes tooLong = fits;
  tooLong.insert(tooLong.begin() + 1, 0x22);

  Framed f(16);
  f.Feed(fits).Feed(tooLong).Feed({0xF0, 0x33, 0xF7});
  EXPECT_EQ(f.seen, (std::vector<Seen>{Sysex(fits), OverLength(17), Sysex({0xF0, 0x33, 0xF7})}));

  // Cut short while over length: still reported as over-length.
  Framed cut(4);
  cut.Feed({0xF0, 1, 2, 3, 4, 5, 0x80, 0x40, 0x00});
  EXPECT_EQ(cut.seen, (std::vector<Seen>{OverLength(6), Short({0x80, 0x40, 0x00})}));
}

TEST(MidiFramer, EndlessSysexCostsNoMoreThanTheMaximum) {
  Framed f(1024);
  const Bytes chunk(64 * 1024, 0x55);
  f.Feed({0xF0});
  for (int i = 0; i < 160; ++i) f.Feed(chunk);  // 10 MB of data bytes
  f.Feed({0xF7});
  ASSERT_EQ(f.seen.size(), 1u);
  EXPECT_EQ(f.seen[0], OverLength(160u * chunk.size() + 2));
}

TEST(MidiFramer, InterruptReportsAHalfReceivedSysexAndResetForgetsItSilently) {
  Framed f;
  f.Feed({0xF0, 0x01, 0x02});
  f.framer().Interrupt();
  f.Feed({0x03, 0xF7});  // the rest of the lost message is stray data
  f.Feed({0x90, 0x40});
  f.framer().Reset();
  f.Feed({0x7F});  // running status was forgotten too
  EXPECT_EQ(f.seen, (std::vector<Seen>{Incomplete(3)}));
}

TEST(MidiFramer, FullSizeReplySplitAtRandomBoundariesComesOutWhole) {
  // The largest reply: a 64 KB block, 45 header bytes, two bytes per data
  // byte and the end byte.
  std::mt19937 rng(20240611);
  Bytes reply = {0xF0, 0x10, 0x05, 0x01, 0x00};
  while (reply.size() < 45) reply.push_back(0x40);
  for (int i = 0; i < 65536; ++i) {
    const uint8_t d = static_cast<uint8_t>(rng());
    reply.push_back(static_cast<uint8_t>(0x40 | (d >> 4)));
    reply.push_back(static_cast<uint8_t>(d & 0x0F));
  }
  reply.push_back(0xF7);
  ASSERT_EQ(reply.size(), 131118u);

  for (bool withClock : {false, true}) {
    Framed f;
    size_t pos = 0;
    while (pos < reply.size()) {
      const size_t n = std::min<size_t>(reply.size() - pos, 1 + rng() % 3000);
      Bytes piece(reply.begin() + static_cast<std::ptrdiff_t>(pos),
                  reply.begin() + static_cast<std::ptrdiff_t>(pos + n));
      if (withClock) piece = Insert(piece, rng() % (piece.size() + 1), 0xF8);
      f.Feed(piece);
      pos += n;
    }
    ASSERT_EQ(f.seen.size(), 1u);
    EXPECT_EQ(f.seen[0].kind, Kind::Sysex);
    EXPECT_TRUE(f.seen[0].bytes == reply);
  }
}

}  // namespace
