// The Kilnbox acts on exactly the bytes it is sent: every command and the
// data-block packet are checked byte for byte as they leave the output port,
// and the refusals make sure nothing malformed or out of bounds goes out.
#include "device/sysex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/midi.h"
#include "device/reply.h"
#include "platform/midi/memory_port.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "tests/support/core_fixture.h"

namespace {

using Bytes = std::vector<BYTE>;

TEST(SysexCodec, EveryByteSurvivesSplittingAndRejoiningWithoutTopBits) {
  for (int d = 0; d < 256; ++d) {
    const WORD w = SysexSplitBytes(static_cast<BYTE>(d));
    const BYTE first = static_cast<BYTE>(w & 0xFF), second = static_cast<BYTE>(w >> 8);
    EXPECT_EQ(first, 0x40 | (d >> 4)) << d;
    EXPECT_EQ(second, d & 0x0F) << d;
    EXPECT_EQ(SysexCombineBytes(w), d);
    const BYTE wire[2] = {first, second};
    EXPECT_EQ(SysexCombineAt(wire), d);
  }
  EXPECT_EQ(SysexSplitBytes(0xA7), 0x074A);
  EXPECT_EQ(SysexSplitBytes(0x7F), 0x0F47);
  // The 0x40 mark is not examined when rejoining.
  const BYTE unmarked[2] = {0x0A, 0x07};
  EXPECT_EQ(SysexCombineAt(unmarked), 0xA7);
  EXPECT_EQ(SysexCombineBytes(0xF7FA), 0xA7);
}

class SysexTest : public testsupport::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    mem = midimem::AddMemoryPorts(P().Midi(), "Kilnbox");
    ASSERT_EQ(MidiInit(&App().MidiInInfo, &App().MidiOutInfo), 1);
    App().MidiOutInfo.uDeviceID = mem.outputId;
    ASSERT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_OPEN), 0u);
    for (UINT i = 0; i < IMAGE_SIZE; ++i) ImageBytes()[i] = static_cast<BYTE>(i * 7 + (i >> 8));
  }

  // The output the program sends through, and the image it sends from.
  SysexOutput Out() { return {&App().MidiOutInfo, App().MIDIoutBuffer.get(), App().MyWindow}; }
  const BYTE* Image() { return ImageBytes(); }
  const std::vector<Bytes>& Sent() const { return mem.output->Messages(); }
  Bytes Only() const {
    EXPECT_EQ(Sent().size(), 1u);
    return Sent().empty() ? Bytes() : Sent().back();
  }
  // The port is left as every send must leave it.
  void ExpectOutputReleased() {
    EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
    EXPECT_TRUE(App().MidiOutInfo.Buffer.fDone);
    EXPECT_EQ(App().MidiOutInfo.Buffer.lpData, nullptr);
  }

  midimem::MemoryPorts mem;
};

TEST_F(SysexTest, CommandsGoOutByteForByte) {
  SysexSendStop(Out());
  SysexSendTransferReq(Out());
  SysexRequestTransfer(Out(), 16);
  SysexRequestTransfer(Out(), 1);
  SysexSetBlockSize(Out(), 2, 16);
  SysexSetBlockSize(Out(), 1, 4);
  SysexSetBlockSize(Out(), 1, 64);
  SysexSetBlockSize(Out(), 16, 1);
  SysexStartProgramming(Out(), 1);
  SysexReadEPROM(Out(), 3);
  SysexBlankCheck(Out(), 1);
  SysexVerify(Out(), 2);
  SysexReadEPROM(Out(), 12);
  const std::vector<Bytes> expected = {
      {0xF0, 0x10, 0x05, 0x02, 0x1F, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x27, 0x15, 0xF7},
      {0xF0, 0x10, 0x05, 0x00, 0x0F, 0xF7},
      {0xF0, 0x10, 0x05, 0x00, 0x00, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x16, 0x01, 0x06, 0x16, 0x01, 0x06, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x04, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x16, 0x00, 0x16, 0x06, 0x04, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x06, 0x16, 0x01, 0x05, 0x16, 0x01, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x22, 0x15, 0x15, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x03, 0x21, 0x15, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x23, 0x15, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x02, 0x29, 0x15, 0xF7},
      {0xF0, 0x10, 0x05, 0x02, 0x14, 0x01, 0x02, 0x21, 0x15, 0xF7},
  };
  EXPECT_EQ(Sent(), expected);
  ExpectOutputReleased();
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(SysexTest, EpromTypeStepsFrom2764AndInvalidTypesStayThere) {
  const Bytes head = {0xF0, 0x10, 0x05, 0x02, 0x24, 0x0D};
  for (UINT t = 0; t <= etINVALID + 1; ++t) SysexSetEPROMType(Out(), t);
  ASSERT_EQ(Sent().size(), etINVALID + 2u);
  auto with = [&](int count, BYTE code) {
    Bytes b = head;
    b.insert(b.end(), count, code);
    b.push_back(0xF7);
    return b;
  };
  EXPECT_EQ(Sent()[et2732], with(2, 0x0C));
  EXPECT_EQ(Sent()[et2732A], with(1, 0x0C));
  EXPECT_EQ(Sent()[et2764], with(0, 0x0E));
  EXPECT_EQ(Sent()[et2764A], with(1, 0x0E));
  EXPECT_EQ(Sent()[et27512], with(6, 0x0E));
  EXPECT_EQ(Sent()[et2864C], with(8, 0x0E));
  EXPECT_EQ(Sent()[etINVALID], with(0, 0x0E));
  EXPECT_EQ(Sent()[etINVALID + 1], with(0, 0x0E));
}

TEST_F(SysexTest, SmallBlockHeaderAndDataAreExact) {
  ASSERT_TRUE(SysexSendBlock(Out(), Image(), 1, 4, 0));
  const Bytes sent = Only();
  ASSERT_EQ(sent.size(), 8238u);
  Bytes header = {0xF0, 0x10, 0x05, 0x01, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x0F, 0x4F, 0x0F};
  for (int i = 0; i < 4; ++i) header.insert(header.end(), {0x40, 0x00});
  header.insert(header.end(), {0x47, 0x0F, 0x40, 0x00, 0x40, 0x01});
  for (int i = 0; i < 9; ++i) header.insert(header.end(), {0x40, 0x00});
  ASSERT_EQ(header.size(), SYSEX_BLOCK_HEADER);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + SYSEX_BLOCK_HEADER), header);
  for (UINT i = 0; i < 4096; ++i) {
    ASSERT_EQ(SysexCombineAt(&sent[SYSEX_BLOCK_HEADER + 2 * i]), ImageBytes()[i]) << i;
  }
  EXPECT_EQ(sent.back(), 0xF7);
  ExpectOutputReleased();
}

TEST_F(SysexTest, BlockStartAndLengthFieldsFollowNumberAndSize) {
  ASSERT_TRUE(SysexSendBlock(Out(), Image(), 1, 64, 0));
  ASSERT_TRUE(SysexSendBlock(Out(), Image(), 2, 16, 16384));
  ASSERT_EQ(Sent().size(), 2u);
  const Bytes& full = Sent()[0];
  const Bytes& second = Sent()[1];
  ASSERT_EQ(full.size(), 131118u);
  EXPECT_EQ(Bytes(full.begin() + 5, full.begin() + 13), (Bytes{0x40, 0x00, 0x40, 0x00, 0x4F, 0x0F, 0x4F, 0x0F}));
  ASSERT_EQ(second.size(), SysexBlockPacketSize(16384));
  EXPECT_EQ(second[4], 0x01);
  EXPECT_EQ(Bytes(second.begin() + 5, second.begin() + 13), (Bytes{0x44, 0x00, 0x40, 0x00, 0x43, 0x0F, 0x4F, 0x0F}));
  for (const Bytes& packet : Sent()) {
    EXPECT_EQ(Bytes(packet.begin() + 21, packet.begin() + 23), (Bytes{0x47, 0x0F}));
    EXPECT_EQ(Bytes(packet.begin() + 25, packet.begin() + 27), (Bytes{0x40, 0x01}));
    for (size_t i = 1; i + 1 < packet.size(); ++i) ASSERT_LT(packet[i], 0x80) << i;
  }
  // The data is the image from the offset on; a reply of this packet reads
  // back as its length.
  for (UINT i = 0; i < 16384; ++i) ASSERT_EQ(SysexCombineAt(&second[45 + 2 * i]), ImageBytes()[16384 + i]) << i;
  EXPECT_EQ(SysexCombineAt(&second[9]) * 256 + SysexCombineAt(&second[11]) + 1, 16384);
}

// The decoder reads back what the encoder laid out, and says what is wrong
// with a packet that arrived damaged.
TEST_F(SysexTest, RepliesDecodeAsTheEncoderLaidThemOut) {
  ASSERT_TRUE(SysexSendBlock(Out(), Image(), 3, 1, 2048));
  const Bytes packet = Only();
  Bytes unmarked = packet;
  unmarked[45 + 2 * 700] &= 0x0F;  // the nibble stays, its mark goes
  Bytes foreign = packet;
  foreign[1] = 0x11;
  const struct {
    const char* what;
    Bytes bytes;
    bool dataBlock, hasLength;
    DWORD pairs, shown;
    bool wellFormed;
  } cases[] = {
      {"whole", packet, true, true, 1024, 1024, true},
      {"without its end byte", Bytes(packet.begin(), packet.end() - 1), true, true, 1024, 1023, true},
      {"cut inside the data", Bytes(packet.begin(), packet.begin() + 500), true, true, 227, 227, false},
      {"one pair more", [&] { Bytes b = packet; b.insert(b.end() - 1, {0x40, 0x00}); return b; }(), true, true,
       1025, 1025, false},
      {"a pair without its mark", unmarked, true, true, 1024, 1024, false},
      {"cut inside the length", Bytes(packet.begin(), packet.begin() + 12), true, false, 0, 0, false},
      {"five bytes", Bytes(packet.begin(), packet.begin() + 5), false, false, 0, 0, false},
      {"another maker's", foreign, false, false, 0, 0, false},
  };
  for (const auto& c : cases) {
    const KilnboxReply reply = DecodeReply(c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    EXPECT_EQ(reply.isDataBlock, c.dataBlock) << c.what;
    EXPECT_EQ(reply.hasLength, c.hasLength) << c.what;
    EXPECT_EQ(reply.announced, c.hasLength ? 1024u : 0u) << c.what;
    EXPECT_EQ(reply.pairsArrived, c.pairs) << c.what;
    EXPECT_EQ(reply.receivedLength, c.shown) << c.what;
    EXPECT_EQ(reply.pairsWellFormed, c.wellFormed) << c.what;
    if (c.dataBlock) EXPECT_EQ(reply.blockNumber, 3u) << c.what;
    for (DWORD i = 0; i < reply.pairsArrived && i < 1024; ++i)
      ASSERT_EQ(reply.DataByte(i), ImageBytes()[2048 + i]) << c.what << " " << i;
  }
}

TEST_F(SysexTest, BlocksBeyondTheImageOrTheSendBufferAreRefusedUnsent) {
  EXPECT_FALSE(SysexSendBlock(Out(), Image(), 1, 65, 0));
  EXPECT_FALSE(SysexSendBlock(Out(), Image(), 1, 255, 0));
  EXPECT_FALSE(SysexSendBlock(Out(), Image(), 4, 16, 0xC001));
  EXPECT_FALSE(SysexSendBlock(Out(), Image(), 1, 1, 0xFFFFFFFF));
  EXPECT_TRUE(Sent().empty());
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>(4, "block size too large")));
  for (const auto& box : P().messageBoxes) {
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.defaultCaption);
    EXPECT_EQ(box.type, MB_OK);
  }
  // The last EPROM's section exactly to the end of the image is fine.
  EXPECT_TRUE(SysexSendBlock(Out(), Image(), 4, 16, 0xC000));
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(SysexTest, NumbersWithoutAnEncodingSendNothingAndSaySo) {
  SysexSetBlockSize(Out(), 5, 64);  // starts at 256 K
  SysexSetBlockSize(Out(), 1, 100);
  SysexReadEPROM(Out(), 100);
  SysexStartProgramming(Out(), 255);
  SysexSetBlockSize(Out(), 0, 4);   // no block 0: the start would lie before the memory
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            "Kilnbox command number out of range: 256", "Kilnbox command number out of range: 100",
                            "Kilnbox command number out of range: 100", "Kilnbox command number out of range: 255",
                            "Kilnbox command number out of range: -4"}));
  SysexSetBlockSize(Out(), 4, 24);  // 72 K: still two digits
  EXPECT_EQ(Only(), (Bytes{0xF0, 0x10, 0x05, 0x02, 0x14, 0x04, 0x16, 0x07, 0x02, 0x16, 0x02, 0x04, 0xF7}));
}

TEST_F(SysexTest, TxSysexMsgSendsUpToTheFirstEndByteAndNeverBeyondTheBuffer) {
  const BYTE local[] = {0xF0, 0x10, 0x05, 0x02, 0x1F, 0xF7, 0x99, 0x99};
  TxSysexMsg(Out(), local);
  EXPECT_EQ(Only(), (Bytes{0xF0, 0x10, 0x05, 0x02, 0x1F, 0xF7}));
  EXPECT_EQ(0, std::memcmp(App().MIDIoutBuffer.get(), local, 6));

  std::memset(App().MIDIoutBuffer.get(), 0x40, BUFFER_SIZE);
  TxSysexMsg(Out(), App().MIDIoutBuffer.get());
  const SysexOutput noBuffer{&App().MidiOutInfo, nullptr, App().MyWindow};
  TxSysexMsg(noBuffer, local);
  SysexSendStop(noBuffer);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(P().debugTraces.size(), 3u);
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(SysexTest, ClosedOutputIsReportedByTheMidiLayerAndNothingIsSent) {
  ASSERT_EQ(MidiActivateDevice(App().MyWindow, &App().MidiOutInfo, MIDI_CLOSE), 0u);
  SysexSendStop(Out());
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>(2, "Must open MIDI output device first")));
  EXPECT_EQ(P().messageBoxes[0].caption, "MidiAssignBuffer");
  EXPECT_EQ(P().messageBoxes[1].caption, "MidiSendLongMsg");
  EXPECT_EQ(App().MidiOutInfo.uDeviceStatus, MIDI_IDLE);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
