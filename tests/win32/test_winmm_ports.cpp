// The WinMM ports as the core sees them, through the port set: the reply
// lands in the core's armed buffer with MM_MIM_LONGDATA and
// dwBytesRecorded, and a sent block goes to the driver whole.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/midi/ports.h"
#include "platform/win32/midiports_win32.h"
#include "tests/win32/winmm_double.h"

namespace {

struct Posted {
  UINT msg;
  LPARAM lParam;
};

TEST(WinMmPorts, AReplyLandsInTheArmedBufferAndABlockGoesOutWhole) {
  winmmdouble::Reset({"In"}, {"Out"});
  std::vector<Posted> posted;
  MidiPortSet ports([&](HWND, UINT msg, WPARAM, LPARAM l) { posted.push_back({msg, l}); });
  RegisterWinMmPorts(ports, winmmdouble::Calls());
  ASSERT_EQ(ports.midiInGetNumDevs(), 1u);
  ASSERT_EQ(ports.midiOutGetNumDevs(), 1u);

  HWND window = reinterpret_cast<HWND>(uintptr_t{0x10});
  HMIDIIN in = nullptr;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(ports.midiInOpen(&in, 0, window), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiOutOpen(&out, 0, window), MMSYSERR_NOERROR);
  std::vector<char> buffer(0x20400);
  MIDIHDR hdr;
  hdr.lpData = buffer.data();
  hdr.dwBufferLength = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(ports.midiInPrepareHeader(in, &hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInAddBuffer(in, &hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInStart(in), MMSYSERR_NOERROR);

  const std::vector<uint8_t> reply = {0xF0, 0x10, 0x05, 0x01, 0x0F, 0x43, 0xF7};
  winmmdouble::Receive(reply);
  // The service thread hands the bytes over; the GUI thread frames them.
  for (int i = 0; i < 600 && !ports.HasPendingInput(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ports.Deliver();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().msg, MM_MIM_LONGDATA);
  EXPECT_EQ(posted.back().lParam, reinterpret_cast<LPARAM>(&hdr));
  ASSERT_EQ(hdr.dwBytesRecorded, reply.size());
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 7), reply);

  std::vector<char> block(4096, 0x11);
  block.front() = static_cast<char>(0xF0);
  block.back() = static_cast<char>(0xF7);
  MIDIHDR send;
  send.lpData = block.data();
  send.dwBufferLength = static_cast<DWORD>(block.size());
  ASSERT_EQ(ports.midiOutPrepareHeader(out, &send), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiOutLongMsg(out, &send), MMSYSERR_NOERROR);
  // The reset after the send cuts nothing: closing waits for the message.
  ASSERT_EQ(ports.midiOutReset(out), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiOutClose(out), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInReset(in), MMSYSERR_NOERROR);
  ASSERT_EQ(ports.midiInClose(in), MMSYSERR_NOERROR);
  for (int i = 0; i < 600 && winmmdouble::LongMessages().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(winmmdouble::LongMessages().size(), 1u);
  EXPECT_EQ(winmmdouble::LongMessages()[0], std::vector<uint8_t>(block.begin(), block.end()));
}

}  // namespace
