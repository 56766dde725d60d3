// The simulated Kilnbox's ports: the host's messages take their wire time
// before the device sees them, and the device's bytes reach whoever listens
// as the clock, virtual or real, moves on.
#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/headless_kilnbox.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes HostBlock1K(uint8_t value) {
  Bytes m = {0xF0, 0x10, 0x05, 0x01, 0x00};
  const uint8_t header[20] = {0, 0, 0x03, 0xFF, 0, 0, 0, 0, 0x7F, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint8_t h : header) m.insert(m.end(), {static_cast<uint8_t>(0x40 | (h >> 4)), static_cast<uint8_t>(h & 0x0F)});
  for (int i = 0; i < 1024; ++i) m.insert(m.end(), {static_cast<uint8_t>(0x40 | (value >> 4)), static_cast<uint8_t>(value & 0x0F)});
  m.push_back(0xF7);
  return m;
}

const Bytes kSetBlock1To1K = {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x01, 0xF7};
const Bytes kRequestBlock1 = {0xF0, 0x10, 0x05, 0x00, 0x00, 0xF7};

class SimPort : public ::testing::Test {
 protected:
  SimPort() : link(std::make_shared<simport::KilnboxLink>([this] { return clock; })), in(link), out(link) {
    EXPECT_TRUE(in.Open([this](const BYTE* d, size_t n) { received.insert(received.end(), d, d + n); }).Ok());
    EXPECT_EQ(out.Open(nullptr).error, MMSYSERR_NOERROR);
  }
  void Send(const Bytes& m) { ASSERT_EQ(out.Send(m.data(), m.size()).error, MMSYSERR_NOERROR); }
  void At(uint64_t ms) {
    clock = ms;
    link->Poll();
  }
  sim::BlockDef Block1() {
    sim::BlockDef def;
    link->WithModel([&def](sim::Kilnbox& box) { def = box.Block(1); });
    return def;
  }

  uint64_t clock = 0;
  std::shared_ptr<simport::KilnboxLink> link;
  simport::SimInputDevice in;
  simport::SimOutputDevice out;
  Bytes received;
};

TEST_F(SimPort, HostMessagesTakeTheirWireTimeInOrder) {
  EXPECT_EQ(in.Name(), "Kilnbox Simulator In");
  EXPECT_EQ(out.Name(), "Kilnbox Simulator Out");
  Send(kSetBlock1To1K);        // 11 bytes: 3.52 ms
  Send(HostBlock1K(0x5A));     // 2094 bytes after it: done at 673.6 ms
  Send(kRequestBlock1);        // 6 bytes after that: done at 675.52 ms
  At(3);
  EXPECT_EQ(Block1().sizeK, 4u);
  At(4);
  EXPECT_EQ(Block1().sizeK, 1u);
  At(673);
  link->WithModel([](sim::Kilnbox& box) {
    EXPECT_EQ(box.Memory()[0], 0xFF);
    EXPECT_EQ(box.DisplayLine(0), "Receiving blk 1");
  });
  At(674);
  link->WithModel([](sim::Kilnbox& box) { EXPECT_EQ(box.Memory()[1023], 0x5A); });
  At(676);
  EXPECT_TRUE(received.empty());
  // The reply (2094 bytes) starts when the request is in, at 676 ms.
  ASSERT_TRUE(link->MsUntilDue().has_value());
  At(676 + 670);
  EXPECT_LT(received.size(), 2094u);
  At(676 + 671);
  ASSERT_EQ(received.size(), 2094u);
  EXPECT_EQ(received[45], 0x45);
  EXPECT_EQ(received[46], 0x0A);
  EXPECT_FALSE(link->MsUntilDue().has_value());
}

TEST_F(SimPort, SpeedFactorAlsoScalesTheHostsWire) {
  auto fast = std::make_shared<simport::KilnboxLink>([this] { return clock; }, 100.0);
  simport::SimOutputDevice fastOut(fast);
  ASSERT_EQ(fastOut.Open(nullptr).error, MMSYSERR_NOERROR);
  const Bytes block = HostBlock1K(0x33);  // 670 ms at the true rate
  fastOut.Send(block.data(), block.size());
  clock = 6;
  fast->Poll();
  fast->WithModel([](sim::Kilnbox& box) { EXPECT_EQ(box.Memory()[0], 0xFF); });
  clock = 7;
  fast->Poll();
  fast->WithModel([](sim::Kilnbox& box) { EXPECT_EQ(box.Memory()[0], 0x33); });
}

TEST_F(SimPort, ClosedPortsNeitherSendNorHear) {
  in.Close();
  Send(kRequestBlock1);
  At(5000);
  EXPECT_TRUE(received.empty()) << "output with nobody listening is lost, like on a cable";
  out.Close();
  EXPECT_EQ(out.Send(kRequestBlock1.data(), kRequestBlock1.size()).error, MMSYSERR_INVALHANDLE);
  EXPECT_EQ(out.Open(nullptr).error, MMSYSERR_NOERROR);
  EXPECT_EQ(out.Open(nullptr).error, MMSYSERR_ALLOCATED);
}

TEST_F(SimPort, MsUntilDueTellsARealTimeDriverWhenToPoll) {
  EXPECT_FALSE(link->MsUntilDue().has_value());
  // Idle, it is still polled now and then, so that a message handed over
  // meanwhile is taken up.
  EXPECT_EQ(link->MsUntilNextPoll(), simport::KilnboxLink::kLongestPollGapMs);
  clock = 1000;
  Send(kRequestBlock1);
  EXPECT_EQ(link->MsUntilDue(), 2u);  // the request is in at 1001.92 ms
  EXPECT_EQ(link->MsUntilNextPoll(), 2u);
  clock = 1500;
  EXPECT_EQ(link->MsUntilDue(), 0u);  // overdue: poll at once
  EXPECT_EQ(link->MsUntilNextPoll(), 0u);
  link->Poll();
  EXPECT_FALSE(received.empty());
}

TEST(HeadlessKilnbox, RunsOnVirtualTime) {
  headless::ScopedHeadless p;
  simport::HeadlessKilnbox kilnbox(*p, 10.0);
  Bytes received;
  simport::SimInputDevice listener(kilnbox.Link());
  ASSERT_TRUE(listener.Open([&received](const BYTE* d, size_t n) { received.insert(received.end(), d, d + n); }).Ok());
  kilnbox.Link()->HostSend(kRequestBlock1.data(), kRequestBlock1.size());
  p->AdvanceTime(100);
  EXPECT_GT(received.size(), 1000u);
  EXPECT_LT(received.size(), 8238u);
  p->AdvanceTime(200);  // 4 KB block at ten times the wire rate: 264 ms
  EXPECT_EQ(received.size(), 8238u);
  EXPECT_FALSE(kilnbox.NextDue().has_value());
}

// --- end to end through the port set -------------------------------------------

TEST(HeadlessKilnbox, ReadsAnEpromThroughTheMidiPortSet) {
  headless::ScopedHeadless p;
  simport::HeadlessKilnbox kilnbox(*p);
  Bytes eprom(16384);
  for (size_t i = 0; i < eprom.size(); ++i) eprom[i] = static_cast<uint8_t>(i ^ (i >> 7));
  kilnbox.WithModel([&eprom](sim::Kilnbox& box) {
    box.InsertEprom(sim::TypeByName("27128"), eprom);
    sim::FaultKnobs clock;
    clock.realTimeEvery = 7;  // a MIDI clock running through the reply
    box.SetFaults(clock);
  });
  std::vector<Bytes> replies;
  ASSERT_EQ(plat::MidiInputNames().at(kilnbox.Ports().input), "Kilnbox Simulator In");
  PlatMidiPort* in = nullptr;
  PlatMidiPort* out = nullptr;
  ASSERT_TRUE(plat::MidiOpenInput("Kilnbox Simulator In",
                                  {[&replies](const BYTE* d, size_t n) { replies.emplace_back(d, d + n); }, nullptr},
                                  &in)
                  .Ok());
  ASSERT_TRUE(plat::MidiOpenOutput("Kilnbox Simulator Out", nullptr, &out).Ok());
  auto send = [out](const Bytes& m) { ASSERT_TRUE(plat::MidiSend(out, m.data(), m.size()).Ok()); };

  send({0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x16, 0x03, 0x02, 0x16, 0x01, 0x06, 0xF7});  // block 3: 16 K at 32 K
  p->AdvanceTime(500);
  send({0xF0, 0x10, 0x05, 0x02, 0x24, 0x0D, 0x0E, 0x0E, 0xF7});  // 27128
  p->AdvanceTime(500);
  send({0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x21, 0x15, 0xF7});
  p->AdvanceTime(2000);
  ASSERT_TRUE(plat::MidiListen(in, true).Ok());
  send({0xF0, 0x10, 0x05, 0x00, 0x02, 0xF7});

  p->AdvanceTime(11900);  // 32814 bytes and 4687 clock bytes take 12 s
  EXPECT_TRUE(replies.empty());
  p->AdvanceTime(200);
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].size(), 46u + 2 * 16384);
  const uint8_t* reply = replies[0].data();
  EXPECT_EQ(reply[4], 0x02);
  for (size_t i = 0; i < eprom.size(); ++i) {
    uint8_t d = 0;
    ASSERT_TRUE(sim::JoinPair(reply + 45 + 2 * i, &d));
    ASSERT_EQ(d, eprom[i]) << i;
  }
  plat::MidiClose(in);
  plat::MidiClose(out);
}

}  // namespace
