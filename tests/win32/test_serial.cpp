// A serial line against faults a pseudo-terminal cannot show, with the
// serial calls replaced (the line itself is the NUL device): a port that
// refuses or rounds MIDI's rate is not opened and says at what rate it
// runs; a device unplugged while open is named as removed, reading and
// writing.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/win32/comm_calls_win32.h"
#include "platform/win32/serial_win32.h"

namespace {

struct FakeComm {
  DWORD rate = 9600;
  DWORD settlesAt = 31250;  // what a request for 31,250 gives
  BOOL setReturns = TRUE;   // what that request returns
  DWORD ioError = ERROR_SUCCESS;
};
FakeComm g_comm;

BOOL WINAPI GetState(HANDLE, LPDCB dcb) {
  dcb->BaudRate = g_comm.rate;
  return TRUE;
}

BOOL WINAPI SetState(HANDLE, LPDCB dcb) {
  if (dcb->BaudRate != 31250) {
    g_comm.rate = dcb->BaudRate;
    return TRUE;
  }
  g_comm.rate = g_comm.settlesAt;
  return g_comm.setReturns;
}

BOOL WINAPI FailRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(g_comm.ioError);
  return FALSE;
}

BOOL WINAPI FailWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(g_comm.ioError);
  return FALSE;
}

const w32::CommCalls kFake = {GetState, SetState, FailRead, FailWrite, true};

TEST(SerialLine, OpensOnlyAtMidisRateAndSaysWhichRateItGot) {
  const struct {
    DWORD settlesAt;
    BOOL setReturns;
    const char* text;  // "" when it opens
  } cases[] = {
      {31250, TRUE, ""},
      {31500, TRUE, ""},  // a divisor's rounding, within what a UART takes
      {0, TRUE, ""},      // tells no rate at all
      {9600, FALSE,
       "NUL does not run at MIDI's 31,250 baud (it runs at 9,600): choose another port or MIDI interface."},
      {38400, TRUE,
       "NUL does not run at MIDI's 31,250 baud (it runs at 38,400): choose another port or MIDI interface."},
      {1000000, TRUE,
       "NUL does not run at MIDI's 31,250 baud (it runs at 1,000,000): choose another port or MIDI interface."},
  };
  for (const auto& c : cases) {
    g_comm = FakeComm{9600, c.settlesAt, c.setReturns};
    w32::SerialLine line("NUL", kFake);
    std::string text;
    const unsigned error = line.Acquire(&text);
    EXPECT_EQ(text, c.text) << c.settlesAt;
    EXPECT_EQ(error == 0, std::string(c.text).empty()) << c.settlesAt;
    if (error == 0) {
      line.Release();
    } else {
      EXPECT_EQ(g_comm.rate, 9600u) << "the port's settings are put back";
      EXPECT_EQ(line.Acquire(&text), error) << "and it can be tried again";
    }
  }
}

TEST(SerialLine, ADeviceUnpluggedWhileOpenIsNamedAsRemoved) {
  const struct {
    DWORD error;
    bool gone;
  } cases[] = {
      {ERROR_BAD_COMMAND, true},      {ERROR_DEVICE_REMOVED, true}, {ERROR_OPERATION_ABORTED, true},
      {ERROR_ACCESS_DENIED, true},    {ERROR_INVALID_PARAMETER, false},
  };
  for (const auto& c : cases) {
    g_comm = FakeComm{};
    w32::SerialLine line("NUL", kFake);
    std::string text;
    ASSERT_EQ(line.Acquire(&text), 0u) << text;
    g_comm.ioError = c.error;
    const uint8_t bytes[] = {0xF0, 0xF7};
    bool gone = false;
    EXPECT_FALSE(line.Write(bytes, sizeof bytes, 1000, &text, &gone));
    EXPECT_EQ(gone, c.gone) << c.error;
    EXPECT_EQ(text == "The device on NUL was removed.", c.gone) << text;
    uint8_t buffer[16];
    std::string readText;
    EXPECT_EQ(line.Read(buffer, sizeof buffer, &readText), -1);
    EXPECT_EQ(readText == "The device on NUL was removed.", c.gone) << readText;
    line.Release();
  }
}

}  // namespace
