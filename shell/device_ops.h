// Everything the user asks of the Kilnbox: get and send its memory, read,
// program, verify and blank-check an EPROM, cancel; with the presence check,
// the reply time-out, the progress estimate and the EPROM marks.
#pragma once

#include "device/sysex.h"
#include "platform/platform.h"

enum ermEnum : UINT { ermRead = 0, ermVerify, ermBlankCheck, ermNothing, ermINVALID };

// MIDI bytes per second on the wire, and per 320 ms timer tick.
constexpr long MIDI_WIRE_RATE = 3125;
constexpr long BYTES_PER_TICK = 1000;
constexpr UINT PRESENCE_TIMEOUT_TICKS = 15;

extern ermEnum ReadMode;
extern BYTE kilnbox_detected;
extern UINT PendingMsg;
extern UINT PendingProgressCommand;
extern UINT response_timeout;
extern long rawbytecount;
extern HWND hwndPB;
extern char SzTimerInfo[1024];

// The latest verify reply against the image, byte for byte: how many bytes
// were compared, how many differ, and the first and last differing offset
// within the EPROM. The window reports only the first difference.
struct VerifyTally {
  DWORD compared = 0;
  DWORD differing = 0;
  DWORD first = 0;
  DWORD last = 0;
};
extern VerifyTally LastVerify;

BYTE KilnboxDetect(HWND hWnd);
void CreateProgressBar(HWND hwndParent, long nBytes);

// The device commands and buttons (ids 105, 106, 108, 111..113, 115,
// 206..209, 210..213, 220..223); true when `id` is one of them.
bool DeviceCommand(HWND hWnd, int id);
// WM_TIMER with the operations' timer id.
void DeviceTimer(HWND hWnd);
// MM_MIM_DATA and MM_MIM_LONGDATA (`lParam` as the port delivered it).
void DeviceReply(HWND hWnd, UINT message, LPARAM lParam);
// MM_MIM_ERROR and MM_MIM_LONGERROR.
void DeviceInputError(HWND hWnd);

// Raw MIDI bytes of a transfer of `sizeK` KB, and its reply time-out in ticks.
constexpr long TransferBytes(long sizeK) { return sizeK * 2048 + static_cast<long>(SYSEX_BLOCK_HEADER); }
constexpr UINT ReplyTimeoutTicks(long rawBytes) { return static_cast<UINT>((rawBytes + 999) / 1000 + 10); }

void DeviceOpsInit();
