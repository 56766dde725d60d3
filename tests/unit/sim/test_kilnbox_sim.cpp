// The simulated Kilnbox stands in for the hardware in every scenario test and
// in the demo, so it must keep exactly what the program relies on: the
// message bytes, the reply packet, the wire timing, and EPROM behaviour.
// Messages are written out by hand here, from the protocol's own examples,
// so that neither the program's encoder nor the model's can hide a fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/kilnbox.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int k2732 = 0, k2764 = 2, k27128 = 4, k27512 = 8, k2864C = 10;

Bytes Command(std::initializer_list<uint8_t> codes) {
  Bytes m = {0xF0, 0x10, 0x05, 0x02};
  m.insert(m.end(), codes);
  m.push_back(0xF7);
  return m;
}

Bytes Request(uint8_t blockField) { return {0xF0, 0x10, 0x05, 0x00, blockField, 0xF7}; }

// A data-block packet as the host builds it, written independently of the
// model's builder.
Bytes HostPacket(int block, uint32_t startK, const Bytes& data, int lengthFieldAdjust = 0) {
  Bytes m = {0xF0, 0x10, 0x05, 0x01, static_cast<uint8_t>(block - 1)};
  auto pair = [&m](uint8_t d) { m.push_back(0x40 | (d >> 4)); m.push_back(d & 0x0F); };
  const uint32_t lengthField = static_cast<uint32_t>(data.size()) - 1 + lengthFieldAdjust;
  pair(static_cast<uint8_t>(startK * 4)); pair(0);
  pair(static_cast<uint8_t>(lengthField >> 8)); pair(static_cast<uint8_t>(lengthField));
  for (int i = 0; i < 4; ++i) pair(0);
  pair(0x7F); pair(0); pair(1);
  for (int i = 0; i < 9; ++i) pair(0);
  for (uint8_t d : data) pair(d);
  m.push_back(0xF7);
  return m;
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
  return b;
}

class KilnboxSim : public ::testing::Test {
 protected:
  explicit KilnboxSim(double speed = 1.0) : box(speed) {
    box.SetOutput([this](const uint8_t* d, size_t n) { out.insert(out.end(), d, d + n); });
  }
  // The bytes arrive now; the device takes them at once.
  void Send(const Bytes& m) {
    box.Receive(m.data(), m.size(), now);
    box.RunTo(now);
  }
  void Advance(uint64_t ms) {
    now += ms;
    box.RunTo(now);
  }
  // Lets time pass until nothing is due (bounded).
  void Settle() {
    for (int guard = 0; guard < 100000; ++guard) {
      std::optional<uint64_t> due = box.NextDue();
      if (!due) return;
      ASSERT_GT(*due, now) << "NextDue must lie after the time just run to";
      now = *due;
      box.RunTo(now);
    }
    FAIL() << "the device never went idle";
  }
  std::string Line(int i) const { return box.DisplayLine(i); }
  void SetUpBlock(int block, int startK, int sizeK) {
    Bytes m = Command({0x14});
    m.pop_back();
    auto digits = [&m](int v) {
      if (v >= 10) m.push_back(static_cast<uint8_t>(v / 10));
      m.push_back(static_cast<uint8_t>(v % 10));
    };
    digits(block); m.push_back(0x16); digits(startK); m.push_back(0x16); digits(sizeK);
    m.push_back(0xF7);
    Send(m);
  }
  void SelectType(int type) {
    Bytes m = {0xF0, 0x10, 0x05, 0x02, 0x24, 0x0D};
    for (int t = k2764; t < type; ++t) m.push_back(0x0E);
    for (int t = type; t < k2764; ++t) m.push_back(0x0C);
    m.push_back(0xF7);
    Send(m);
  }

  sim::Kilnbox box;
  Bytes out;
  uint64_t now = 0;
};

class FastKilnboxSim : public KilnboxSim {
 protected:
  FastKilnboxSim() : KilnboxSim(10.0) {}
};

// --- commands ---------------------------------------------------------------

TEST_F(KilnboxSim, BlockSizeEntriesFromTheProtocolExamples) {
  Send(Command({0x14, 0x02, 0x16, 0x01, 0x06, 0x16, 0x01, 0x06}));  // (2, 16)
  EXPECT_EQ(box.Block(2).startK, 16u);
  EXPECT_EQ(box.Block(2).sizeK, 16u);
  Send(Command({0x14, 0x01, 0x16, 0x00, 0x16, 0x04}));  // (1, 4): start is the single digit 0
  EXPECT_EQ(box.Block(1).startK, 0u);
  EXPECT_EQ(box.Block(1).sizeK, 4u);
  Send(Command({0x14, 0x01, 0x16, 0x00, 0x16, 0x06, 0x04}));  // (1, 64)
  EXPECT_EQ(box.Block(1).sizeK, 64u);
  Send(Command({0x14, 0x01, 0x06, 0x16, 0x01, 0x05, 0x16, 0x01}));  // (16, 1): two-digit block
  EXPECT_EQ(box.Block(16).startK, 15u);
  EXPECT_EQ(box.Block(16).sizeK, 1u);
  EXPECT_EQ(box.SelectedBlock(), 16);
  for (int block = 1; block <= 16; ++block) {
    SetUpBlock(block, block - 1, 2);
    EXPECT_EQ(box.Block(block).startK, static_cast<uint32_t>(block - 1)) << block;
    EXPECT_EQ(box.Block(block).sizeK, 2u) << block;
  }
  EXPECT_EQ(box.GetCounters().badCommands, 0u);
}

TEST_F(KilnboxSim, BadBlockEntriesAreRefusedAndKeepTheOldDefinition) {
  SetUpBlock(17, 0, 4);
  EXPECT_EQ(Line(1), "Bad block number");
  SetUpBlock(3, 60, 8);  // would reach past 64 KB
  EXPECT_EQ(Line(1), "Bad block size");
  SetUpBlock(3, 8, 0);
  EXPECT_EQ(Line(1), "Bad block size");
  Send(Command({0x14, 0x03, 0x16, 0x01, 0x00, 0x00, 0x16, 0x04}));  // 100 has no encoding
  EXPECT_EQ(Line(1), "Bad command");
  Send(Command({0x14, 0x03, 0x16, 0x00, 0x16}));  // size missing
  EXPECT_EQ(box.Block(3).startK, 8u);
  EXPECT_EQ(box.Block(3).sizeK, 4u);
  EXPECT_EQ(box.GetCounters().badCommands, 5u);
}

TEST_F(KilnboxSim, TypeStepsStartFromThe2764EachTimeAndStopAtTheEnds) {
  Send(Command({0x24, 0x0D, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E}));
  EXPECT_EQ(box.SelectedType(), k27512);
  EXPECT_EQ(Line(0), "Ready      27512");
  Send(Command({0x24, 0x0D}));
  EXPECT_EQ(box.SelectedType(), k2764);
  Send(Command({0x24, 0x0D, 0x0C, 0x0C}));
  EXPECT_EQ(box.SelectedType(), k2732);
  Send(Command({0x24, 0x0D, 0x0C, 0x0C, 0x0C, 0x0C}));
  EXPECT_EQ(box.SelectedType(), k2732);
  Send(Command({0x24, 0x0D, 0x0E}));
  Send(Command({0x24, 0x0D, 0x0E}));  // opens at 2764 again: 2764A, not 27128
  EXPECT_EQ(box.SelectedType(), 3);
  Send(Command({0x24, 0x0D, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E}));
  EXPECT_EQ(box.SelectedType(), k2864C);
  EXPECT_EQ(Line(1), "Type 2864C");
  Send(Command({0x24, 0x0E}));  // the type setting not selected
  EXPECT_EQ(box.SelectedType(), k2864C);
  EXPECT_EQ(Line(1), "Bad command");
}

TEST_F(KilnboxSim, OperationKeysNeedTheirEnters) {
  box.InsertBlankEprom(k2764);
  Send(Command({0x14, 0x01, 0x22, 0x15}));  // programming wants a confirming second Enter
  Send(Command({0x14, 0x01, 0x21}));
  Send(Command({0x14, 0x01, 0x23, 0x15, 0x15}));
  EXPECT_FALSE(box.Busy());
  EXPECT_EQ(box.GetCounters().badCommands, 3u);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  EXPECT_TRUE(box.Busy());
  EXPECT_EQ(Line(0), "Program 2764");
}

// --- EPROM operations -------------------------------------------------------

TEST_F(KilnboxSim, ReadCopiesTheSocketIntoTheSelectedBlock) {
  const Bytes eprom = Pattern(16384, 3);
  box.InsertEprom(k27128, eprom);
  SetUpBlock(3, 32, 16);
  SelectType(k27128);
  Send(Command({0x14, 0x03, 0x21, 0x15}));
  EXPECT_EQ(Line(0), "Reading 27128");
  EXPECT_EQ(Line(1), "Block 3");
  Advance(200);
  EXPECT_TRUE(box.Busy()) << "a 16 KB read takes about a quarter second";
  Advance(200);
  EXPECT_FALSE(box.Busy());
  EXPECT_EQ(Line(1), "Read OK");
  EXPECT_TRUE(std::equal(eprom.begin(), eprom.end(), box.Memory().begin() + 32768));
  EXPECT_EQ(box.Memory()[32767], 0xFF);
  EXPECT_EQ(box.Memory()[49152], 0xFF);
}

TEST_F(KilnboxSim, ProgrammingOnlyClearsBits) {
  Bytes eprom(8192, 0xFF);
  eprom[0x10] = 0xF0;
  box.InsertEprom(k2764, eprom);
  SetUpBlock(1, 0, 8);
  std::fill(box.Memory().begin(), box.Memory().begin() + 8192, 0x5A);
  box.Memory()[0x10] = 0x0F;
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  Settle();
  EXPECT_EQ(box.GetSocket().contents[0x10], 0x00);  // 0xF0 & 0x0F
  EXPECT_EQ(box.GetSocket().contents[0x11], 0x5A);
  EXPECT_EQ(Line(1), "Prog fail @0010");

  box.InsertBlankEprom(k2764);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  Settle();
  EXPECT_EQ(Line(1), "Program OK");
  EXPECT_TRUE(std::equal(box.GetSocket().contents.begin(), box.GetSocket().contents.end(), box.Memory().begin()));

  box.InsertEprom(k2864C, Bytes(8192, 0x00));  // electrically erasable: takes any value
  SelectType(k2864C);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  Settle();
  EXPECT_EQ(Line(1), "Program OK");
  EXPECT_EQ(box.GetSocket().contents[0x11], 0x5A);
}

TEST_F(KilnboxSim, BlankCheckAndVerifyShowTheFirstAddress) {
  box.InsertBlankEprom(k2764);
  Send(Command({0x14, 0x01, 0x23, 0x15}));
  EXPECT_EQ(Line(0), "Blank chk 2764");
  Settle();
  EXPECT_EQ(Line(1), "EPROM blank");

  Bytes eprom(8192, 0xFF);
  eprom[0x0123] = 0x7F;
  eprom[0x1000] = 0x00;
  box.InsertEprom(k2764, eprom);
  Send(Command({0x14, 0x01, 0x23, 0x15}));
  Settle();
  EXPECT_EQ(Line(1), "Not blank @0123");

  SetUpBlock(2, 8, 8);
  std::copy(eprom.begin(), eprom.end(), box.Memory().begin() + 8192);
  Send(Command({0x14, 0x02, 0x29, 0x15}));
  Settle();
  EXPECT_EQ(Line(1), "Verify OK");
  box.Memory()[8192 + 0x0ABC] ^= 1;
  Send(Command({0x14, 0x02, 0x29, 0x15}));
  Settle();
  EXPECT_EQ(Line(1), "Verify err @0ABC");
  EXPECT_EQ(box.GetCounters().operations, 4u);
}

TEST_F(KilnboxSim, RefusesWithoutAnEpromOrWithAnotherType) {
  SetUpBlock(1, 0, 8);
  Send(Command({0x14, 0x01, 0x21, 0x15}));
  EXPECT_EQ(Line(1), "No EPROM");
  EXPECT_FALSE(box.Busy());

  box.InsertEprom(k2764, Bytes(8192, 0x00));
  SelectType(k27128);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  EXPECT_FALSE(box.Busy());
  EXPECT_EQ(Line(0), "Type mismatch");
  EXPECT_EQ(Line(1), "Socket: 2764");
  Send(Command({0x14, 0x01, 0x21, 0x15}));
  Settle();
  EXPECT_EQ(box.Memory()[0], 0xFF) << "a refused read leaves the memory alone";
  EXPECT_EQ(box.GetCounters().operations, 0u);
}

TEST_F(KilnboxSim, MessagesWaitForARunningOperationAndStopCutsItShort) {
  const Bytes eprom = Pattern(8192, 9);
  box.InsertEprom(k2764, eprom);
  SetUpBlock(1, 0, 8);
  Send(Command({0x14, 0x01, 0x21, 0x15}));
  Send(Request(0x00));  // arrives while the read runs
  EXPECT_EQ(box.QueuedMessages(), 1u);
  Settle();
  ASSERT_EQ(out.size(), 46u + 2 * 8192);
  uint8_t first;
  ASSERT_TRUE(sim::JoinPair(&out[45], &first));
  EXPECT_EQ(first, eprom[0]) << "the reply carries what the read put in memory";

  box.InsertBlankEprom(k2764);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));
  Send(Command({0x14, 0x01, 0x23, 0x15}));
  Advance(100);
  Send(Command({0x1F}));
  EXPECT_FALSE(box.Busy());
  EXPECT_EQ(box.QueuedMessages(), 0u);
  EXPECT_EQ(Line(1), "Stopped");
  Settle();
  EXPECT_EQ(box.GetSocket().contents[0], 0xFF) << "a stopped program writes nothing";
}

// --- the reply --------------------------------------------------------------

TEST_F(KilnboxSim, TransferRequestIsAnsweredWithTheWholeBlock) {
  SetUpBlock(3, 32, 16);
  const Bytes data = Pattern(16384, 1);
  std::copy(data.begin(), data.end(), box.Memory().begin() + 32768);
  Send(Request(0x02));
  EXPECT_EQ(Line(0), "Sending block 3");
  Settle();
  ASSERT_EQ(out.size(), 46u + 2 * 16384);
  const Bytes header = {0xF0, 0x10, 0x05, 0x01, 0x02,
                        0x48, 0x00, 0x40, 0x00,   // start 0x8000
                        0x43, 0x0F, 0x4F, 0x0F,   // length - 1 = 0x3FFF
                        0x40, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00,
                        0x47, 0x0F, 0x40, 0x00, 0x40, 0x01,
                        0x40, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00,
                        0x40, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00};
  ASSERT_EQ(header.size(), 45u);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), out.begin()));
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(out[45 + 2 * i], 0x40 | (data[i] >> 4)) << i;
    ASSERT_EQ(out[46 + 2 * i], data[i] & 0x0F) << i;
  }
  EXPECT_EQ(out.back(), 0xF7);
  EXPECT_EQ(Line(1), "Sent block 3");
  EXPECT_EQ(box.GetCounters().repliesSent, 1u);
}

TEST_F(KilnboxSim, A64KBlockHasLengthFieldsOfAllOnes) {
  SetUpBlock(1, 0, 64);
  Send(Request(0x00));
  Settle();
  ASSERT_EQ(out.size(), 131118u);
  EXPECT_EQ(Bytes(out.begin() + 5, out.begin() + 13), (Bytes{0x40, 0x00, 0x40, 0x00, 0x4F, 0x0F, 0x4F, 0x0F}));
}

TEST_F(KilnboxSim, ReplyGoesOutAtTheWireRate) {
  Send(Request(0x00));  // the default 4 KB block 1: 8238 bytes, 0.32 ms each
  Advance(1);
  EXPECT_EQ(out.size(), 3u);
  now = 2636;
  box.RunTo(now);
  EXPECT_EQ(out.size(), 8237u);
  Advance(1);
  EXPECT_EQ(out.size(), 8238u);
  EXPECT_FALSE(box.Busy());
  EXPECT_FALSE(box.NextDue().has_value());
}

TEST_F(FastKilnboxSim, SpeedFactorScalesWireAndOperations) {
  Send(Request(0x00));
  now = 263;
  box.RunTo(now);
  EXPECT_EQ(out.size(), 8218u);  // 32 us a byte; the last lands at 263.616 ms
  Advance(1);
  EXPECT_EQ(out.size(), 8238u);

  box.InsertBlankEprom(k2764);
  SetUpBlock(1, 0, 8);
  Send(Command({0x14, 0x01, 0x22, 0x15, 0x15}));  // 1020 ms at speed 1
  Advance(101);
  EXPECT_TRUE(box.Busy());
  Advance(1);
  EXPECT_FALSE(box.Busy());
}

TEST_F(KilnboxSim, TransferKeyAndBadRequests) {
  SetUpBlock(2, 4, 1);
  Send(Command({0x14, 0x02}));
  Send(Command({0x27, 0x15}));
  Settle();
  EXPECT_EQ(out.size(), 46u + 2048);
  EXPECT_EQ(out[4], 0x01);
  out.clear();
  Send(Request(0x10));
  Send({0xF0, 0x10, 0x05, 0x00, 0x00, 0x00, 0xF7});
  Settle();
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(box.GetCounters().badPackets, 2u);
  EXPECT_EQ(Line(1), "Bad request");
}

// --- data blocks from the host ------------------------------------------------

TEST_F(KilnboxSim, DataBlockIsStoredAtItsBlocksStart) {
  SetUpBlock(2, 16, 16);
  const Bytes data = Pattern(16384, 5);
  Send(HostPacket(2, 16, data));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), box.Memory().begin() + 16384));
  EXPECT_EQ(box.Memory()[16383], 0xFF);
  EXPECT_EQ(box.Memory()[32768], 0xFF);
  EXPECT_EQ(Line(1), "Block 2 received");
  EXPECT_TRUE(box.LastPacket().valid);
  EXPECT_EQ(box.LastPacket().startAddress, 0x4000u);
  EXPECT_EQ(box.LastPacket().length, 16384u);
  EXPECT_EQ(box.LastPacket().stored, 16384u);
}

TEST_F(KilnboxSim, ALongerBlockIsCutToTheBlocksSize) {
  SetUpBlock(1, 0, 4);
  Send(HostPacket(1, 0, Bytes(8192, 0x11)));
  EXPECT_EQ(box.Memory()[4095], 0x11);
  EXPECT_EQ(box.Memory()[4096], 0xFF) << "block 2 is not overwritten";
  EXPECT_EQ(Line(1), "Blk 1 too long");
  EXPECT_EQ(box.LastPacket().stored, 4096u);
}

TEST_F(KilnboxSim, MalformedBlocksAreIgnored) {
  SetUpBlock(1, 0, 4);
  Bytes badLength = HostPacket(1, 0, Bytes(4096, 0x22), 1);
  Bytes badPair = HostPacket(1, 0, Bytes(4096, 0x22));
  badPair[45 + 2 * 100] = 0x12;  // the 0x40 mark missing
  Bytes badHeaderPair = HostPacket(1, 0, Bytes(4096, 0x22));
  badHeaderPair[12] = 0x1F;
  Bytes oddLength = HostPacket(1, 0, Bytes(16, 0x22));
  oddLength.insert(oddLength.end() - 1, 0x00);
  Bytes tooShort = {0xF0, 0x10, 0x05, 0x01, 0x00, 0x40, 0x00, 0xF7};
  for (const Bytes& m : {badLength, badPair, badHeaderPair, oddLength, tooShort}) {
    Send(m);
    EXPECT_EQ(Line(1), "Bad data packet");
  }
  EXPECT_EQ(box.Memory()[0], 0xFF);
  EXPECT_EQ(box.GetCounters().badPackets, 5u);
  EXPECT_EQ(box.GetCounters().blocksReceived, 0u);
}

// --- input framing ------------------------------------------------------------

TEST_F(KilnboxSim, RealTimeBytesAndPiecesAndGarbageAreHandledLikeAWire) {
  Bytes m = Command({0x14, 0x02, 0x16, 0x01, 0x06, 0x16, 0x01, 0x06});
  Bytes noisy = {0x12, 0x34};  // stray data bytes before the message
  for (uint8_t b : m) {
    noisy.push_back(b);
    noisy.push_back(0xF8);
  }
  noisy.insert(noisy.begin() + 7, 0xFE);
  for (uint8_t b : noisy) Send({b});  // one byte at a time
  EXPECT_EQ(box.Block(2).startK, 16u);
  EXPECT_EQ(box.Block(2).sizeK, 16u);
  EXPECT_EQ(box.GetCounters().realTimeBytes, m.size() + 1);
  EXPECT_EQ(box.GetCounters().droppedBytes, 2u);
}

TEST_F(KilnboxSim, AStatusByteCutsTheSysexAndOtherDevicesAreIgnored) {
  Send({0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x90, 0x40, 0x7F,
        0x16, 0x01, 0x06, 0x16, 0x01, 0x06, 0xF7});
  EXPECT_EQ(box.Block(2).sizeK, 4u);
  EXPECT_EQ(box.GetCounters().commands, 0u);
  Send({0xF0, 0x41, 0x05, 0x00, 0x00, 0xF7});  // another manufacturer's request
  Send({0xF0, 0x10, 0x06, 0x00, 0x00, 0xF7});  // another product
  Send({0xF0, 0x10, 0x05, 0x03, 0x00, 0xF7});  // an unknown packet type
  Settle();
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(box.GetCounters().ignoredMessages, 3u);
}

// --- fault knobs --------------------------------------------------------------

class KilnboxFaults : public FastKilnboxSim {
 protected:
  // The reply to a request for the default block 1 (4 KB of 0xFF).
  Bytes Reply() {
    out.clear();
    Send(Request(0x00));
    Settle();
    return out;
  }
  Bytes clean = sim::BuildBlockPacket(1, 0, Bytes(4096, 0xFF).data(), 4096);
};

TEST_F(KilnboxFaults, NoReplyAppliesToTheNextReplyOnly) {
  sim::FaultKnobs f;
  f.noReply = true;
  box.SetFaults(f);
  EXPECT_TRUE(Reply().empty());
  EXPECT_EQ(Reply(), clean);
  f.allReplies = true;
  box.SetFaults(f);
  EXPECT_TRUE(Reply().empty());
  EXPECT_TRUE(Reply().empty());
  EXPECT_EQ(box.GetCounters().transferRequests, 4u);
}

TEST_F(KilnboxFaults, TruncatedAndCorruptedReplies) {
  sim::FaultKnobs f;
  f.truncateAfter = 100;
  box.SetFaults(f);
  EXPECT_EQ(Reply(), Bytes(clean.begin(), clean.begin() + 100));

  f = {};
  f.corruptOffset = 1;  // the manufacturer id
  f.corruptValue = 0x11;
  box.SetFaults(f);
  Bytes r = Reply();
  ASSERT_EQ(r.size(), clean.size());
  EXPECT_EQ(r[1], 0x11);
  r[1] = clean[1];
  EXPECT_EQ(r, clean);

  f.corruptOffset = 45 + 2 * 10 + 1;  // low nibble of data byte 10
  f.corruptValue = 0x03;
  box.SetFaults(f);
  r = Reply();
  uint8_t d;
  ASSERT_TRUE(sim::JoinPair(&r[65], &d));
  EXPECT_EQ(d, 0xF3);
}

TEST_F(KilnboxFaults, LateReplyStartsAfterTheExtraDelay) {
  sim::FaultKnobs f;
  f.lateMs = 5000;  // clock time, not scaled by the speed factor
  box.SetFaults(f);
  Send(Request(0x00));
  Advance(4999);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(box.Busy());
  Settle();
  EXPECT_EQ(out, clean);
  EXPECT_GE(now, 5000u + 263);
}

TEST_F(KilnboxFaults, ForeignPacketsComeFirst) {
  sim::FaultKnobs f;
  f.foreignMfrPackets = 1;
  f.otherTypePackets = 2;
  box.SetFaults(f);
  const Bytes r = Reply();
  ASSERT_EQ(r.size(), 4 * clean.size());
  Bytes foreign = clean;
  foreign[1] = 0x41;
  Bytes other = clean;
  other[3] = 0x03;
  const auto at = [&r, this](size_t i) { return Bytes(r.begin() + i * clean.size(), r.begin() + (i + 1) * clean.size()); };
  EXPECT_EQ(at(0), foreign);
  EXPECT_EQ(at(1), other);
  EXPECT_EQ(at(2), other);
  EXPECT_EQ(at(3), clean);
}

TEST_F(KilnboxFaults, RealTimeAndStatusBytesInsideTheReply) {
  sim::FaultKnobs f;
  f.realTimeEvery = 10;
  f.statusByteAt = 50;
  f.statusByte = 0x90;
  box.SetFaults(f);
  Bytes r = Reply();
  EXPECT_EQ(std::count(r.begin(), r.end(), 0xF8), static_cast<long>((clean.size() + 1) / 10));
  r.erase(std::remove(r.begin(), r.end(), 0xF8), r.end());
  ASSERT_EQ(r.size(), clean.size() + 1);
  EXPECT_EQ(r[50], 0x90);
  r.erase(r.begin() + 50);
  EXPECT_EQ(r, clean);
}

}  // namespace
