// The WinMM ports as the core sees them, through the port set: a reply
// reaches the input's handler whole; a sent block goes to the driver in
// pieces paced at the wire rate (times read from a clock that moves only
// when the pacer sleeps on it) and is reported sent once; a piece the driver
// refuses ends the message.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/midi/output_writer.h"
#include "platform/midi/ports.h"
#include "platform/win32/winmm_win32.h"
#include "tests/support/fake_pace_clock.h"
#include "tests/win32/winmm_double.h"

namespace {

using std::chrono::microseconds;

using testsupport::FakeClock;

struct Ports {
  Ports() {
    winmmdouble::Reset({"In"}, {"Out"});
    winmmdouble::SetClock([c = clock] { return c->Now(); });
    w32::RegisterWinMmPorts(set, winmmdouble::Calls(), *clock);
  }
  // Waits for `count` sent reports.
  void WaitForReports(size_t count) {
    for (int i = 0; i < 600 && sent.size() < count; ++i) {
      if (!set.HasPendingInput()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      set.Deliver();
    }
  }

  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  MidiPortSet set;
  std::vector<MidiResult> sent;
};

std::vector<uint8_t> Block(size_t size) {
  std::vector<uint8_t> block(size, 0x11);
  block.front() = 0xF0;
  block.back() = 0xF7;
  return block;
}

TEST(WinMmPorts, AReplyReachesTheHandlerAndABlockGoesOutInPiecesAtTheWireRate) {
  Ports ports;
  ASSERT_EQ(ports.set.InputNames(), std::vector<std::string>{"In"});
  ASSERT_EQ(ports.set.OutputNames(), std::vector<std::string>{"Out"});

  std::vector<std::vector<uint8_t>> replies;
  PlatMidiPort* in = nullptr;
  PlatMidiPort* out = nullptr;
  ASSERT_TRUE(ports.set
                  .OpenInput("In", {[&replies](const uint8_t* d, size_t n) { replies.emplace_back(d, d + n); }, nullptr},
                             &in)
                  .Ok());
  ASSERT_TRUE(ports.set.OpenOutput("Out", [&ports](const MidiResult& r) { ports.sent.push_back(r); }, &out).Ok());
  ASSERT_TRUE(ports.set.Listen(in, true).Ok());

  const std::vector<uint8_t> reply = {0xF0, 0x10, 0x05, 0x01, 0x0F, 0x43, 0xF7};
  winmmdouble::Receive(reply);
  // The service thread hands the bytes over; the GUI thread frames them.
  for (int i = 0; i < 600 && !ports.set.HasPendingInput(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ports.set.Deliver();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], reply);

  const std::vector<uint8_t> block = Block(1000);
  const uint8_t note[] = {0x90, 0x40, 0x7F};
  ASSERT_TRUE(ports.set.Send(out, block.data(), block.size()).Ok());
  ASSERT_TRUE(ports.set.Send(out, note, sizeof note).Ok());
  // The close right after the send cuts nothing: it waits for the messages.
  ASSERT_TRUE(ports.set.Close(out).Ok());
  ASSERT_TRUE(ports.set.Close(in).Ok());
  ports.WaitForReports(2);
  ASSERT_EQ(ports.sent.size(), 2u);  // one report a message, not a piece
  EXPECT_TRUE(ports.sent[0].Ok());
  EXPECT_TRUE(ports.sent[1].Ok());

  const std::vector<std::vector<uint8_t>> pieces = winmmdouble::LongMessages();
  std::vector<uint8_t> joined;
  std::vector<size_t> sizes;
  for (const std::vector<uint8_t>& piece : pieces) {
    joined.insert(joined.end(), piece.begin(), piece.end());
    sizes.push_back(piece.size());
  }
  EXPECT_EQ(joined, block);
  EXPECT_EQ(sizes, std::vector<size_t>({256, 256, 256, 232}));
  EXPECT_EQ(winmmdouble::ShortMessages(), std::vector<uint32_t>({0x7F4090}));
  // Each piece and the note after it wait for the piece before to have
  // left at 3125 bytes a second: 320 us a byte.
  const std::vector<microseconds> times = winmmdouble::SendTimes();
  ASSERT_EQ(times.size(), 5u);
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_GE((times[i] - times[i - 1]).count(), static_cast<long long>(sizes[i - 1]) * 320) << "piece " << i;
}

TEST(WinMmPorts, APieceTheDriverRefusesEndsTheMessageAndIsReportedInItsWords) {
  Ports ports;
  PlatMidiPort* out = nullptr;
  ASSERT_TRUE(ports.set.OpenOutput("Out", [&ports](const MidiResult& r) { ports.sent.push_back(r); }, &out).Ok());
  winmmdouble::FailLongMessage(2, midi_error::kNoMemory);
  const std::vector<uint8_t> block = Block(1000);
  ASSERT_TRUE(ports.set.Send(out, block.data(), block.size()).Ok());
  ports.WaitForReports(1);
  ASSERT_EQ(ports.sent.size(), 1u);
  EXPECT_EQ(ports.sent[0].error, midi_error::kNoMemory);
  EXPECT_EQ(ports.sent[0].text, "Fake WinMM error 7.");
  EXPECT_EQ(winmmdouble::LongMessages().size(), 1u);  // nothing after the refused piece
  ASSERT_TRUE(ports.set.Close(out).Ok());
}

}  // namespace
