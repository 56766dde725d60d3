// The WinMM ports as the core sees them, through the port set: a reply
// reaches the input's handler whole, and a sent block goes to the driver
// whole and is reported sent.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/win32/midiports_win32.h"
#include "tests/win32/winmm_double.h"

namespace {

TEST(WinMmPorts, AReplyReachesTheHandlerAndABlockGoesOutWhole) {
  winmmdouble::Reset({"In"}, {"Out"});
  MidiPortSet ports;
  RegisterWinMmPorts(ports, winmmdouble::Calls());
  ASSERT_EQ(ports.InputNames(), std::vector<std::string>{"In"});
  ASSERT_EQ(ports.OutputNames(), std::vector<std::string>{"Out"});

  std::vector<std::vector<uint8_t>> replies;
  std::vector<MidiResult> sent;
  PlatMidiPort* in = nullptr;
  PlatMidiPort* out = nullptr;
  ASSERT_TRUE(
      ports.OpenInput("In", {[&replies](const BYTE* d, size_t n) { replies.emplace_back(d, d + n); }, nullptr}, &in)
          .Ok());
  ASSERT_TRUE(ports.OpenOutput("Out", [&sent](const MidiResult& r) { sent.push_back(r); }, &out).Ok());
  ASSERT_TRUE(ports.Listen(in, true).Ok());

  const std::vector<uint8_t> reply = {0xF0, 0x10, 0x05, 0x01, 0x0F, 0x43, 0xF7};
  winmmdouble::Receive(reply);
  // The service thread hands the bytes over; the GUI thread frames them.
  for (int i = 0; i < 600 && !ports.HasPendingInput(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ports.Deliver();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], reply);

  std::vector<uint8_t> block(4096, 0x11);
  block.front() = 0xF0;
  block.back() = 0xF7;
  ASSERT_TRUE(ports.Send(out, block.data(), block.size()).Ok());
  // The close right after the send cuts nothing: it waits for the message.
  ASSERT_TRUE(ports.Close(out).Ok());
  ASSERT_TRUE(ports.Close(in).Ok());
  for (int i = 0; i < 600 && winmmdouble::LongMessages().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(winmmdouble::LongMessages().size(), 1u);
  EXPECT_EQ(winmmdouble::LongMessages()[0], block);
  for (int i = 0; i < 600 && !ports.HasPendingInput(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ports.Deliver();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].Ok());
}

}  // namespace
