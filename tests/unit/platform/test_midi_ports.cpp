// The port set gives every back end the desktop API's port contracts. The
// MIDI layer and the device operations rely on them exactly: which call
// fails with which number, what a header's flags say, which message is
// posted and, above all, that nothing stale ends a later reception.
#include "platform/midi/ports.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/midi/memory_port.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Posted {
  HWND target;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

HWND Window() { return reinterpret_cast<HWND>(0x1234); }

class MidiPortsTest : public ::testing::Test {
 protected:
  MidiPortsTest() : ports([this](HWND t, UINT m, WPARAM w, LPARAM l) { posted.push_back({t, m, w, l}); }) {
    mem = midimem::AddMemoryPorts(ports, "Test Port");
  }

  // Opens the input, prepares and queues `hdr` over `buffer`, starts input.
  HMIDIIN ArmedInput(MIDIHDR& hdr, std::vector<char>& buffer) {
    HMIDIIN in = nullptr;
    EXPECT_EQ(ports.midiInOpen(&in, mem.inputId, Window()), MMSYSERR_NOERROR);
    hdr.lpData = buffer.data();
    hdr.dwBufferLength = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(ports.midiInPrepareHeader(in, &hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(ports.midiInAddBuffer(in, &hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(ports.midiInStart(in), MMSYSERR_NOERROR);
    posted.clear();
    return in;
  }

  void Feed(const Bytes& b) { ASSERT_TRUE(mem.input->Feed(b)); }

  std::vector<UINT> PostedIds() const {
    std::vector<UINT> ids;
    for (const auto& p : posted) ids.push_back(p.msg);
    return ids;
  }

  std::vector<Posted> posted;
  MidiPortSet ports;
  midimem::MemoryPorts mem;
};

TEST_F(MidiPortsTest, DeviceNamesAreCutTo31CharactersVerbatim) {
  ports.AddInput(std::make_unique<midimem::MemoryInput>("100% MIDI interface with a very long name"));
  ASSERT_EQ(ports.midiInGetNumDevs(), 2u);
  MIDICAPS caps;
  ASSERT_EQ(ports.midiInGetDevCaps(1, &caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "100% MIDI interface with a very");
  EXPECT_EQ(ports.midiOutGetDevCaps(0, &caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Test Port");
  EXPECT_EQ(ports.midiInGetDevCaps(2, &caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(ports.midiOutGetDevCaps(1, &caps), MMSYSERR_BADDEVICEID);
}

TEST_F(MidiPortsTest, OpenAndClosePostTheirMessagesAndHandlesDieWithThePort) {
  HMIDIIN in = nullptr;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiInOpen(&in, 0, Window()), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiOutOpen(&out, 0, Window()), MMSYSERR_NOERROR);
  EXPECT_NE(in, out);
  HMIDIIN again = nullptr;
  EXPECT_EQ(ports.midiInOpen(&again, 0, Window()), MMSYSERR_ALLOCATED);
  EXPECT_EQ(ports.midiInOpen(&again, 1, Window()), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(ports.midiOutOpen(&again, 7, Window()), MMSYSERR_BADDEVICEID);
  // An input handle is no output handle.
  EXPECT_EQ(ports.midiOutReset(in), MMSYSERR_INVALHANDLE);

  EXPECT_EQ(ports.midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_FALSE(mem.input->IsOpen());
  EXPECT_FALSE(mem.output->IsOpen());
  EXPECT_EQ(ports.midiInClose(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ports.midiInStart(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ports.midiOutClose(out), MMSYSERR_INVALHANDLE);

  ASSERT_EQ(posted.size(), 4u);
  EXPECT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_OPEN, MM_MOM_OPEN, MM_MIM_CLOSE, MM_MOM_CLOSE}));
  EXPECT_EQ(posted[0].target, Window());
  EXPECT_EQ(posted[0].wParam, reinterpret_cast<WPARAM>(in));
  // Without a window they go to the thread.
  ASSERT_EQ(ports.midiInOpen(&in, 0, nullptr), MMSYSERR_NOERROR);
  ASSERT_EQ(posted.size(), 5u);
  EXPECT_EQ(posted[4].target, nullptr);
}

TEST_F(MidiPortsTest, DeviceFailuresReturnTheirNumberAndTheDevicesOwnText) {
  mem.input->FailNextOpen(MMSYSERR_ALLOCATED, "Port busy: used by another program");
  HMIDIIN in = nullptr;
  EXPECT_EQ(ports.midiInOpen(&in, 0, Window()), MMSYSERR_ALLOCATED);
  EXPECT_EQ(in, nullptr);
  EXPECT_TRUE(posted.empty());
  char text[128];
  ASSERT_EQ(ports.midiInGetErrorText(MMSYSERR_ALLOCATED, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "Port busy: used by another program");
  // The output direction keeps the generic text.
  ASSERT_EQ(ports.midiOutGetErrorText(MMSYSERR_ALLOCATED, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "The specified resource is already allocated.");
  EXPECT_EQ(ports.midiInOpen(&in, 0, Window()), MMSYSERR_NOERROR);  // failed once only
}

TEST_F(MidiPortsTest, ErrorTextsCoverEveryNumberAndRefuseUnknownOnes) {
  char text[128];
  for (UINT e : {MMSYSERR_NOERROR, MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE,
                 MMSYSERR_NODRIVER, MMSYSERR_NOMEM, MMSYSERR_BADERRNUM, MMSYSERR_INVALPARAM, MIDIERR_UNPREPARED,
                 MIDIERR_STILLPLAYING, MIDIERR_NOTREADY}) {
    text[0] = '\0';
    EXPECT_EQ(ports.midiOutGetErrorText(e, text, sizeof text), MMSYSERR_NOERROR) << e;
    EXPECT_GT(std::strlen(text), 10u) << e;
  }
  ports.midiInGetErrorText(MMSYSERR_BADDEVICEID, text, sizeof text);
  EXPECT_STREQ(text, "The specified device identifier is out of range.");
  std::strcpy(text, "untouched");
  EXPECT_EQ(ports.midiInGetErrorText(0xFF00, text, sizeof text), MMSYSERR_BADERRNUM);
  EXPECT_STREQ(text, "untouched");
  char small[8];
  EXPECT_EQ(ports.midiInGetErrorText(MMSYSERR_ERROR, small, sizeof small), MMSYSERR_NOERROR);
  EXPECT_STREQ(small, "Undefin");
  EXPECT_EQ(ports.midiInGetErrorText(MMSYSERR_ERROR, nullptr, 10), MMSYSERR_INVALPARAM);
}

TEST_F(MidiPortsTest, HeaderFlagsFollowPrepareAddAndUnprepare) {
  HMIDIIN in = nullptr;
  ASSERT_EQ(ports.midiInOpen(&in, 0, Window()), MMSYSERR_NOERROR);
  std::vector<char> buffer(64);
  MIDIHDR hdr;
  hdr.lpData = buffer.data();
  hdr.dwBufferLength = 64;
  hdr.dwBytesRecorded = 99;
  hdr.dwFlags = MHDR_DONE;
  EXPECT_EQ(ports.midiInAddBuffer(in, &hdr), MIDIERR_UNPREPARED);
  ASSERT_EQ(ports.midiInPrepareHeader(in, &hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInAddBuffer(in, &hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(hdr.dwBytesRecorded, 0u);
  // Arming a second time keeps it queued once.
  EXPECT_EQ(ports.midiInAddBuffer(in, &hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiInUnprepareHeader(in, &hdr), MIDIERR_STILLPLAYING);
  EXPECT_EQ(ports.midiInClose(in), MIDIERR_STILLPLAYING);

  EXPECT_EQ(ports.midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(ports.midiInUnprepareHeader(in, &hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_DONE);
  EXPECT_EQ(ports.midiInUnprepareHeader(in, &hdr), MMSYSERR_NOERROR);  // not prepared: no effect
  EXPECT_EQ(ports.midiInClose(in), MMSYSERR_NOERROR);
  // The reset posted nothing: only open and close.
  EXPECT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_OPEN, MM_MIM_CLOSE}));

  MIDIHDR empty;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiOutOpen(&out, 0, Window()), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiOutPrepareHeader(out, &empty), MMSYSERR_INVALPARAM);
  EXPECT_EQ(ports.midiOutPrepareHeader(out, nullptr), MMSYSERR_INVALPARAM);
}

TEST_F(MidiPortsTest, CompleteSysexFillsTheQueuedBufferAndPostsLongData) {
  std::vector<char> buffer(16, 'x');
  MIDIHDR hdr;
  HMIDIIN in = ArmedInput(hdr, buffer);
  Feed({0xF0, 0x10, 0x05});
  EXPECT_TRUE(ports.HasPendingInput());
  ports.Deliver();
  EXPECT_FALSE(ports.HasPendingInput());
  EXPECT_TRUE(posted.empty());
  Feed({0xFE, 0x01, 0x02, 0xF7});
  ports.Deliver();

  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, MM_MIM_LONGDATA);
  EXPECT_EQ(posted[0].target, Window());
  EXPECT_EQ(posted[0].wParam, reinterpret_cast<WPARAM>(in));
  EXPECT_EQ(posted[0].lParam, reinterpret_cast<LPARAM>(&hdr));
  EXPECT_EQ(hdr.dwBytesRecorded, 6u);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(0, std::memcmp(buffer.data(), "\xF0\x10\x05\x01\x02\xF7xx", 8));

  // The buffer has left the queue: the next SysEx finds none and is dropped.
  Feed({0xF0, 0x7F, 0xF7});
  ports.Deliver();
  EXPECT_EQ(posted.size(), 1u);
  EXPECT_EQ(hdr.dwBytesRecorded, 6u);
}

TEST_F(MidiPortsTest, TooLongOrIncompleteSysexPostsLongErrorAndLeavesTheBufferQueued) {
  std::vector<char> buffer(4, 'x');
  MIDIHDR hdr;
  HMIDIIN in = ArmedInput(hdr, buffer);
  Feed({0xF0, 1, 2, 3, 0xF7});  // 5 bytes for a 4-byte buffer
  Feed({0xF0, 1, 0x90, 0x40, 0x00});  // cut by a note
  ports.Deliver();
  EXPECT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_LONGERROR, MM_MIM_LONGERROR, MM_MIM_DATA}));
  EXPECT_EQ(posted[0].lParam, reinterpret_cast<LPARAM>(&hdr));
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(hdr.dwBytesRecorded, 0u);
  EXPECT_EQ(std::string(buffer.data(), 4), "xxxx");
  EXPECT_EQ(posted[2].lParam, 0x004090);
  // Still queued, so a message that fits is taken.
  Feed({0xF0, 9, 0xF7});
  ports.Deliver();
  EXPECT_EQ(posted.back().msg, MM_MIM_LONGDATA);
  EXPECT_EQ(ports.midiInClose(in), MMSYSERR_NOERROR);
}

TEST_F(MidiPortsTest, StoppedInputDropsBytesAndStopDiscardsAHalfReceivedSysex) {
  std::vector<char> buffer(16);
  MIDIHDR hdr;
  HMIDIIN in = ArmedInput(hdr, buffer);
  Feed({0xF0, 0x01, 0x02});
  ports.Deliver();
  ASSERT_EQ(ports.midiInStop(in), MMSYSERR_NOERROR);
  EXPECT_TRUE(mem.input->Feed({0x90, 0x40, 0x7F}));
  EXPECT_FALSE(ports.HasPendingInput());
  ASSERT_EQ(ports.midiInStart(in), MMSYSERR_NOERROR);
  Feed({0x03, 0xF7});  // the end of the discarded message: stray
  ports.Deliver();
  EXPECT_TRUE(posted.empty());
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);  // queued buffers stay queued
  Feed({0xF0, 0x04, 0xF7});
  ports.Deliver();
  ASSERT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_LONGDATA}));
  EXPECT_EQ(hdr.dwBytesRecorded, 3u);
}

TEST_F(MidiPortsTest, ResetNeverLetsAStaleMessageEndALaterReception) {
  std::vector<char> buffer(16);
  MIDIHDR hdr;
  HMIDIIN in = ArmedInput(hdr, buffer);
  // A reply arrives but the GUI thread has not framed it when the
  // reception is abandoned.
  Feed({0xF0, 0x10, 0x05, 0x01, 0xF7});
  ASSERT_EQ(ports.midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  EXPECT_EQ(hdr.dwBytesRecorded, 0u);
  EXPECT_FALSE(ports.HasPendingInput());
  ports.Deliver();
  EXPECT_TRUE(posted.empty());

  // The next reception sees only what arrives after it was armed.
  ASSERT_EQ(ports.midiInAddBuffer(in, &hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInStart(in), MMSYSERR_NOERROR);
  ports.Deliver();
  EXPECT_TRUE(posted.empty());
  Feed({0xF0, 0x42, 0xF7});
  ports.Deliver();
  ASSERT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_LONGDATA}));
  EXPECT_EQ(buffer[1], 0x42);
}

TEST_F(MidiPortsTest, LongMessageNeedsAPreparedHeaderAndIsHandedOverWhole) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiOutOpen(&out, 0, Window()), MMSYSERR_NOERROR);
  posted.clear();
  char message[] = "\xF0\x10\x05\x02\x1F\xF7";
  MIDIHDR hdr;
  hdr.lpData = message;
  hdr.dwBufferLength = 6;
  EXPECT_EQ(ports.midiOutLongMsg(out, &hdr), MIDIERR_UNPREPARED);
  ASSERT_EQ(ports.midiOutPrepareHeader(out, &hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiOutLongMsg(out, &hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED | MHDR_DONE);
  ASSERT_EQ(mem.output->Messages().size(), 1u);
  EXPECT_EQ(mem.output->Messages()[0], (Bytes{0xF0, 0x10, 0x05, 0x02, 0x1F, 0xF7}));
  // Out of the device: reported from the GUI thread's Deliver.
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(ports.HasPendingInput());
  ports.Deliver();
  ASSERT_EQ(PostedIds(), (std::vector<UINT>{MM_MOM_DONE}));
  EXPECT_EQ(posted[0].wParam, reinterpret_cast<WPARAM>(out));
  EXPECT_EQ(posted[0].lParam, static_cast<LPARAM>(MMSYSERR_NOERROR));
  // A reset sends nothing of its own.
  EXPECT_EQ(ports.midiOutReset(out), MMSYSERR_NOERROR);
  EXPECT_EQ(mem.output->Messages().size(), 1u);

  mem.output->FailNextSend(MMSYSERR_ERROR, "Write failed: cable unplugged");
  EXPECT_EQ(ports.midiOutLongMsg(out, &hdr), MMSYSERR_ERROR);
  EXPECT_EQ(hdr.dwFlags, MHDR_PREPARED);
  EXPECT_EQ(mem.output->Messages().size(), 1u);
  ports.Deliver();
  EXPECT_EQ(posted.size(), 1u);  // a message refused at once is reported by its result alone
  char text[128];
  ports.midiOutGetErrorText(MMSYSERR_ERROR, text, sizeof text);
  EXPECT_STREQ(text, "Write failed: cable unplugged");
}

TEST_F(MidiPortsTest, ShortMessagesSendAsManyBytesAsTheStatusNeeds) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiOutOpen(&out, 0, Window()), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiOutShortMsg(out, 0x7F4091), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiOutShortMsg(out, 0xFF05C2), MMSYSERR_NOERROR);  // the unused byte is not sent
  EXPECT_EQ(ports.midiOutShortMsg(out, 0x0000F6), MMSYSERR_NOERROR);
  EXPECT_EQ(ports.midiOutShortMsg(out, 0x000040), MMSYSERR_INVALPARAM);  // no status
  EXPECT_EQ(ports.midiOutShortMsg(out, 0x0000F0), MMSYSERR_INVALPARAM);  // SysEx is a long message
  EXPECT_EQ(ports.midiOutShortMsg(out, 0x00C090), MMSYSERR_INVALPARAM);  // data byte with top bit
  EXPECT_EQ(mem.output->Messages(), (std::vector<Bytes>{{0x91, 0x40, 0x7F}, {0xC2, 0x05}, {0xF6}}));
}

TEST_F(MidiPortsTest, MonitorSeesEveryMessageSentAndEveryCompleteMessageReceived) {
  std::vector<std::pair<bool, Bytes>> traffic;
  ports.SetMonitor([&](bool outgoing, const BYTE* d, size_t n) { traffic.push_back({outgoing, Bytes(d, d + n)}); });
  std::vector<char> buffer(16);
  MIDIHDR hdr;
  ArmedInput(hdr, buffer);
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiOutOpen(&out, 0, Window()), MMSYSERR_NOERROR);
  ports.midiOutShortMsg(out, 0x0000C0);
  Feed({0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xB0, 0x07, 0x64, 0xF0, 0x03});
  ports.Deliver();
  EXPECT_EQ(traffic, (std::vector<std::pair<bool, Bytes>>{{true, {0xC0, 0x00}},
                                                           {false, {0xF0, 0x01, 0xF7}},
                                                           {false, {0xF0, 0x02, 0xF7}},  // no buffer left for it
                                                           {false, {0xB0, 0x07, 0x64}}}));
}

TEST_F(MidiPortsTest, BytesFromAnotherThreadArriveWholeAndWakeTheGuiThread) {
  std::atomic<int> wakeups{0};
  ports.SetWakeup([&] { ++wakeups; });
  std::vector<char> buffer(70000);
  MIDIHDR hdr;
  ArmedInput(hdr, buffer);
  Bytes reply = {0xF0};
  for (int i = 0; i < 65536; ++i) reply.push_back(static_cast<BYTE>(i & 0x7F));
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
  ASSERT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_LONGDATA}));
  EXPECT_EQ(hdr.dwBytesRecorded, reply.size());
  EXPECT_EQ(0, std::memcmp(buffer.data(), reply.data(), reply.size()));
  EXPECT_EQ(wakeups.load(), 66);
}

TEST_F(MidiPortsTest, AFloodNeverDeliveredIsCappedAndEndsTheMessageWithAnError) {
  std::vector<char> buffer(16);
  MIDIHDR hdr;
  ArmedInput(hdr, buffer);
  const Bytes chunk(1 << 20, 0x11);
  Feed({0xF0});
  for (int i = 0; i < 6; ++i) Feed(chunk);  // more than the port keeps
  ports.Deliver();
  Feed({0xF7, 0xF0, 0x05, 0xF7});
  ports.Deliver();
  // The flood ends in an error; the bytes after the gap frame afresh.
  EXPECT_EQ(PostedIds(), (std::vector<UINT>{MM_MIM_LONGERROR, MM_MIM_LONGDATA}));
  EXPECT_EQ(hdr.dwBytesRecorded, 3u);
}

}  // namespace
