// The port set gives every back end the seam's ports. The MIDI layer and
// the device operations rely on it exactly: which call fails with which
// number and words, what reaches a handler and in which order, and, above
// all, that nothing stale ends a later reception.
#include "platform/midi/ports.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/midi/memory_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MidiPortsTest : public ::testing::Test {
 protected:
  MidiPortsTest() { mem = midimem::AddMemoryPorts(ports, "Test Port"); }

  // What reaches a handler, in order: "sysex F0 01 F7", "error", "sent 0".
  void Heard(const std::string& what) { heard.push_back(what); }
  MidiInputHandler Recorder() {
    return {[this](const uint8_t* data, size_t size) {
              std::string line = "sysex";
              char hex[4];
              for (size_t i = 0; i < size; ++i) {
                std::snprintf(hex, sizeof hex, " %02X", data[i]);
                line += hex;
              }
              Heard(line);
            },
            [this] { Heard("error"); }};
  }
  MidiSentHandler SentRecorder() {
    return [this](const MidiResult& r) { Heard("sent " + std::to_string(r.error)); };
  }

  PlatMidiPort* OpenInput(MidiInputHandler handler) {
    PlatMidiPort* in = nullptr;
    EXPECT_TRUE(ports.OpenInput("Test Port", std::move(handler), &in).Ok());
    return in;
  }
  PlatMidiPort* ListeningInput() {
    PlatMidiPort* in = OpenInput(Recorder());
    EXPECT_TRUE(ports.Listen(in, true).Ok());
    return in;
  }
  PlatMidiPort* OpenOutput() {
    PlatMidiPort* out = nullptr;
    EXPECT_TRUE(ports.OpenOutput("Test Port", SentRecorder(), &out).Ok());
    return out;
  }

  void Feed(const Bytes& b) { ASSERT_TRUE(mem.input->Feed(b)); }
  MidiResult Send(PlatMidiPort* out, const Bytes& b) { return ports.Send(out, b.data(), b.size()); }

  std::vector<std::string> heard;
  MidiPortSet ports;
  midimem::MemoryPorts mem;
};

TEST_F(MidiPortsTest, NamesAreCutTo31CharactersVerbatimAndEachStandsOnceInItsList) {
  ports.AddInput(std::make_unique<midimem::MemoryInput>("100% MIDI interface with a very long name"));
  ports.AddInput(std::make_unique<midimem::MemoryInput>("Test Port"));
  EXPECT_EQ(ports.InputNames(),
            (std::vector<std::string>{"Test Port", "100% MIDI interface with a very", "Test Port (3)"}));
  EXPECT_EQ(ports.OutputNames(), std::vector<std::string>{"Test Port"});
  // The second port of a name opens by the name it is listed under.
  PlatMidiPort* third = nullptr;
  ASSERT_TRUE(ports.OpenInput("Test Port (3)", Recorder(), &third).Ok());
  EXPECT_FALSE(mem.input->IsOpen());
}

TEST_F(MidiPortsTest, PortsOpenByNameOnceAndHandlesDieWithThePort) {
  PlatMidiPort* in = OpenInput(Recorder());
  PlatMidiPort* out = OpenOutput();
  ASSERT_NE(in, nullptr);
  EXPECT_NE(in, out);
  PlatMidiPort* again = nullptr;
  EXPECT_EQ(ports.OpenInput("Test Port", Recorder(), &again).error, midi_error::kAllocated);
  const MidiResult missing = ports.OpenOutput("Gone", SentRecorder(), &again);
  EXPECT_EQ(missing.error, midi_error::kBadDeviceId);
  EXPECT_EQ(missing.text, "The MIDI port \"Gone\" is not present.");
  EXPECT_EQ(again, nullptr);
  // An output handle is no input handle.
  EXPECT_EQ(ports.Listen(out, true).error, midi_error::kInvalidHandle);

  EXPECT_TRUE(ports.Close(in).Ok());
  EXPECT_TRUE(ports.Close(out).Ok());
  EXPECT_FALSE(mem.input->IsOpen());
  EXPECT_FALSE(mem.output->IsOpen());
  EXPECT_EQ(ports.Close(in).error, midi_error::kInvalidHandle);
  EXPECT_EQ(ports.Listen(in, true).error, midi_error::kInvalidHandle);
  EXPECT_EQ(Send(out, {0xF6}).error, midi_error::kInvalidHandle);
  // A handle is never given again, so a stale one finds no new port.
  PlatMidiPort* reopened = OpenInput(Recorder());
  EXPECT_NE(reopened, in);
  ports.Deliver();
  EXPECT_TRUE(heard.empty());
}

TEST_F(MidiPortsTest, DeviceFailuresComeWithTheDevicesOwnWordsOrTheGenericOnes) {
  mem.input->FailNextOpen(midi_error::kAllocated, "Port busy: used by another program");
  PlatMidiPort* in = nullptr;
  const MidiResult busy = ports.OpenInput("Test Port", Recorder(), &in);
  EXPECT_EQ(busy.error, midi_error::kAllocated);
  EXPECT_EQ(busy.text, "Port busy: used by another program");
  EXPECT_EQ(in, nullptr);
  EXPECT_TRUE(ports.OpenInput("Test Port", Recorder(), &in).Ok());  // failed once only

  mem.output->FailNextOpen(midi_error::kNoMemory);
  PlatMidiPort* out = nullptr;
  EXPECT_EQ(ports.OpenOutput("Test Port", SentRecorder(), &out).text,
            "There is not enough memory available for this task.");
}

TEST_F(MidiPortsTest, ErrorTextsCoverEveryNumberAndSayWhenOneIsUnknown) {
  for (uint32_t e : {midi_error::kNone, midi_error::kError, midi_error::kBadDeviceId, midi_error::kAllocated, midi_error::kInvalidHandle,
                 midi_error::kNoDriver, midi_error::kNoMemory, midi_error::kBadErrorNumber, midi_error::kInvalidParam, midi_error::kNotReady})
    EXPECT_GT(MidiErrorText(e).size(), 10u) << e;
  EXPECT_EQ(MidiErrorText(midi_error::kBadDeviceId), "The specified device identifier is out of range.");
  EXPECT_EQ(MidiErrorText(0xFF00), "The specified error number is out of range.");
}

TEST_F(MidiPortsTest, AWholeSysexIsHandedOnFromDeliverOnly) {
  ListeningInput();
  Feed({0xF0, 0x10, 0x05});
  EXPECT_TRUE(ports.HasPendingInput());
  ports.Deliver();
  EXPECT_FALSE(ports.HasPendingInput());
  EXPECT_TRUE(heard.empty());
  Feed({0xFE, 0x01, 0x02, 0xF7});
  EXPECT_TRUE(heard.empty());
  ports.Deliver();
  EXPECT_EQ(heard, std::vector<std::string>{"sysex F0 10 05 01 02 F7"});
}

TEST_F(MidiPortsTest, ASysexCutShortIsAnErrorAndOtherMessagesAreNotHandedOn) {
  ListeningInput();
  Feed({0xF0, 1, 0x90, 0x40, 0x00});  // cut by a note
  Feed({0xB0, 0x07, 0x64, 0xF0, 9, 0xF7});
  ports.Deliver();
  EXPECT_EQ(heard, (std::vector<std::string>{"error", "sysex F0 09 F7"}));
}

TEST_F(MidiPortsTest, AnInputNotListeningDropsBytesAndAStopDiscardsAHalfReceivedSysex) {
  PlatMidiPort* in = OpenInput(Recorder());
  Feed({0xF0, 0x01, 0xF7});  // before listening
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  Feed({0xF0, 0x01, 0x02});
  ports.Deliver();
  ASSERT_TRUE(ports.Listen(in, false).Ok());
  EXPECT_TRUE(mem.input->Feed({0x90, 0x40, 0x7F}));
  EXPECT_FALSE(ports.HasPendingInput());
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  Feed({0x03, 0xF7});  // the end of the discarded message: stray
  ports.Deliver();
  EXPECT_TRUE(heard.empty());
  Feed({0xF0, 0x04, 0xF7});
  ports.Deliver();
  EXPECT_EQ(heard, std::vector<std::string>{"sysex F0 04 F7"});
}

TEST_F(MidiPortsTest, AStopNeverLetsAStaleMessageEndALaterReception) {
  PlatMidiPort* in = ListeningInput();
  // A reply arrives but the GUI thread has not framed it when the
  // reception is abandoned.
  Feed({0xF0, 0x10, 0x05, 0x01, 0xF7});
  ASSERT_TRUE(ports.Listen(in, false).Ok());
  EXPECT_FALSE(ports.HasPendingInput());
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  ports.Deliver();
  EXPECT_TRUE(heard.empty());

  // Framed already, but a handler before it stops the input: it is dropped.
  ASSERT_TRUE(ports.Close(in).Ok());
  in = OpenInput({[&](const uint8_t* data, size_t) {
                    Heard(data[1] == 0x42 ? "first" : "second");
                    ports.Listen(in, false);
                  },
                  nullptr});
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  Feed({0xF0, 0x42, 0xF7, 0xF0, 0x43, 0xF7});
  ports.Deliver();
  EXPECT_EQ(heard, std::vector<std::string>{"first"});
}

TEST_F(MidiPortsTest, ANestedLoopInAHandlerGoesOnWithTheNextInOrder) {
  PlatMidiPort* out = OpenOutput();
  int depth = 0;
  PlatMidiPort* in = OpenInput({[&](const uint8_t* data, size_t) {
                                  Heard("sysex " + std::to_string(data[1]) + " at depth " + std::to_string(depth));
                                  // A modal box: its loop delivers on.
                                  ++depth;
                                  if (depth == 1) ports.Deliver();
                                  --depth;
                                },
                                nullptr});
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  Feed({0xF0, 1, 0xF7, 0xF0, 2, 0xF7});
  ASSERT_TRUE(Send(out, {0xF6}).Ok());
  ASSERT_TRUE(ports.Close(out).Ok());  // its report still comes
  Feed({0xF0, 3, 0xF7});
  ports.Deliver();
  EXPECT_EQ(heard, (std::vector<std::string>{"sysex 1 at depth 0", "sysex 2 at depth 1", "sysex 3 at depth 1",
                                             "sent 0"}));
}

TEST_F(MidiPortsTest, AMessageIsHandedOverWholeAndReportedFromDeliver) {
  PlatMidiPort* out = OpenOutput();
  const Bytes message = {0xF0, 0x10, 0x05, 0x02, 0x1F, 0xF7};
  ASSERT_TRUE(Send(out, message).Ok());
  ASSERT_EQ(mem.output->Messages(), std::vector<Bytes>{message});
  EXPECT_TRUE(heard.empty());
  EXPECT_TRUE(ports.HasPendingInput());
  ports.Deliver();
  EXPECT_EQ(heard, std::vector<std::string>{"sent 0"});

  mem.output->FailNextSend(midi_error::kError, "Write failed: cable unplugged");
  const MidiResult refused = Send(out, message);
  EXPECT_EQ(refused.error, midi_error::kError);
  EXPECT_EQ(refused.text, "Write failed: cable unplugged");
  EXPECT_EQ(mem.output->Messages().size(), 1u);
  ports.Deliver();
  EXPECT_EQ(heard.size(), 1u);  // a message refused at once is reported by its result alone
}

TEST_F(MidiPortsTest, OnlyWholeMessagesAreSent) {
  PlatMidiPort* out = OpenOutput();
  for (const Bytes& whole : {Bytes{0x91, 0x40, 0x7F}, Bytes{0xC2, 0x05}, Bytes{0xF6}, Bytes{0xF0, 0xF7}})
    EXPECT_TRUE(Send(out, whole).Ok());
  for (const Bytes& broken : {Bytes{}, Bytes{0x40}, Bytes{0xF0}, Bytes{0xF7}, Bytes{0x90, 0xC0, 0x00},
                              Bytes{0xC2, 0x05, 0x05}, Bytes{0x90, 0x40}, Bytes{0xF0, 0x01, 0x90, 0xF7},
                              Bytes{0xF0, 0x01, 0x02}})
    EXPECT_EQ(Send(out, broken).error, midi_error::kInvalidParam) << broken.size();
  EXPECT_EQ(mem.output->Messages(),
            (std::vector<Bytes>{{0x91, 0x40, 0x7F}, {0xC2, 0x05}, {0xF6}, {0xF0, 0xF7}}));
}

TEST_F(MidiPortsTest, MonitorSeesEveryMessageSentAndEveryCompleteMessageReceived) {
  std::vector<std::pair<bool, Bytes>> traffic;
  ports.SetMonitor([&](bool outgoing, const uint8_t* d, size_t n) { traffic.push_back({outgoing, Bytes(d, d + n)}); });
  ListeningInput();
  PlatMidiPort* out = OpenOutput();
  Send(out, {0xC0, 0x00});
  Feed({0xF0, 0x01, 0xF7, 0xB0, 0x07, 0x64, 0xF0, 0x03});
  ports.Deliver();
  EXPECT_EQ(traffic, (std::vector<std::pair<bool, Bytes>>{
                         {true, {0xC0, 0x00}}, {false, {0xF0, 0x01, 0xF7}}, {false, {0xB0, 0x07, 0x64}}}));
}

TEST_F(MidiPortsTest, BytesFromAnotherThreadArriveWholeAndWakeTheGuiThread) {
  std::atomic<int> wakeups{0};
  ports.SetWakeup([&] { ++wakeups; });
  size_t received = 0;
  Bytes last;
  PlatMidiPort* in = OpenInput({[&](const uint8_t* data, size_t size) {
                                  ++received;
                                  last.assign(data, data + size);
                                },
                                nullptr});
  ASSERT_TRUE(ports.Listen(in, true).Ok());
  Bytes reply = {0xF0};
  for (int i = 0; i < 65536; ++i) reply.push_back(static_cast<uint8_t>(i & 0x7F));
  reply.push_back(0xF7);

  std::atomic<bool> fed{false};
  std::thread device([&] {
    for (size_t pos = 0; pos < reply.size(); pos += 1000)
      mem.input->Feed(reply.data() + pos, std::min<size_t>(1000, reply.size() - pos));
    fed = true;
  });
  while (!fed) ports.Deliver();  // framing while the device thread appends
  device.join();
  ports.Deliver();
  EXPECT_EQ(received, 1u);
  EXPECT_TRUE(last == reply);
  EXPECT_EQ(wakeups.load(), 66);
}

TEST_F(MidiPortsTest, AFloodNeverDeliveredIsCappedAndEndsTheMessageWithAnError) {
  ListeningInput();
  const Bytes chunk(1 << 20, 0x11);
  Feed({0xF0});
  for (int i = 0; i < 6; ++i) Feed(chunk);  // more than the port keeps
  ports.Deliver();
  Feed({0xF7, 0xF0, 0x05, 0xF7});
  ports.Deliver();
  // The flood ends in an error; the bytes after the gap frame afresh.
  EXPECT_EQ(heard, (std::vector<std::string>{"error", "sysex F0 05 F7"}));
}

}  // namespace
