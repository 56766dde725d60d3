// Everything the user asks of the Kilnbox: get and send its memory, read,
// program, verify and blank-check an EPROM, cancel; with the presence check,
// the reply time-out, the progress estimate and the EPROM marks.
#pragma once

#include <optional>
#include <string>

#include "device/sysex.h"
#include "platform/platform.h"

enum ermEnum : UINT { ermRead = 0, ermVerify, ermBlankCheck, ermNothing, ermINVALID };

// MIDI bytes per second on the wire, and per 320 ms timer tick.
constexpr long MIDI_WIRE_RATE = 3125;
constexpr long BYTES_PER_TICK = 1000;
constexpr UINT PRESENCE_TIMEOUT_TICKS = 15;

// The latest verify reply against the image, byte for byte: how many bytes
// were compared, how many differ, and the first and last differing offset
// within the EPROM. The window reports only the first difference.
struct VerifyTally {
  DWORD compared = 0;
  DWORD differing = 0;
  DWORD first = 0;
  DWORD last = 0;
};

// The operations the user can ask of the Kilnbox.
enum class DeviceOperation { None, GetData, SendData, ReadEprom, VerifyEprom, ProgramEprom, BlankCheck };

// How an operation ended. The window shows it as the texts it always did; a
// caller without a window (talverine-cli) takes its result from here.
enum class OutcomeKind {
  Succeeded,  // read or verified OK, sent, programmed (answered yes), blank check started
  Failed,     // a damaged reply, a verify difference, programming answered no
  Cancelled,  // by Cancel, by cancelling the Which EPROM choice, or by a newer transfer
  TimedOut,   // "Kilnbox not responding!"
  Refused,    // the driver refused a command, or the buffers are missing
};
struct DeviceOutcome {
  DeviceOperation operation = DeviceOperation::None;
  OutcomeKind kind = OutcomeKind::Succeeded;
  std::string text;  // what the window showed for it last, if anything
};

// What a message box opened by an operation asks.
enum class DeviceQuestion { None, ProgrammedOk, BlankCheckNotice, VerifyDifference };

// A step of an operation that runs after one of its pauses.
using DeviceStep = void (*)(HWND hWnd);

// What the Kilnbox operations hold between messages.
struct DeviceSession {
  ermEnum ReadMode = ermRead;
  BYTE kilnbox_detected = 0;
  UINT PendingMsg = 0;
  UINT PendingProgressCommand = 0;
  UINT response_timeout = 0;
  long rawbytecount = 0;
  HWND hwndPB = nullptr;
  char SzTimerInfo[1024] = {};
  VerifyTally LastVerify;

  DeviceOperation operation = DeviceOperation::None;  // the one under way
  DeviceOperation barOwner = DeviceOperation::None;   // whose estimate the bar runs down
  DeviceStep afterPause = nullptr;                    // set while a pause lasts
  std::optional<DeviceOutcome> outcome;               // of the latest operation that ended
  DeviceQuestion asking = DeviceQuestion::None;
  bool showingCountdown = false;  // while the receive countdown goes to the status bar
  bool inReply = false;
};

// The program's one device session; a new run starts from a new one.
DeviceSession& TheDeviceSession();

// Its fields under the names every module uses.
extern ermEnum& ReadMode;
extern BYTE& kilnbox_detected;
extern UINT& PendingMsg;
extern UINT& PendingProgressCommand;
extern UINT& response_timeout;
extern long& rawbytecount;
extern HWND& hwndPB;
extern char (&SzTimerInfo)[1024];
extern VerifyTally& LastVerify;

BYTE KilnboxDetect(HWND hWnd);
void CreateProgressBar(HWND hwndParent, long nBytes);

// The device commands and buttons (ids 105, 106, 108, 111..113, 115,
// 206..209, 210..213, 220..223); true when `id` is one of them.
bool DeviceCommand(HWND hWnd, int id);
// WM_TIMER with the operations' timer id.
void DeviceTimer(HWND hWnd);
// WM_TIMER with the pause timer's id: the step after a pause.
void DeviceStepAfterPause(HWND hWnd);
// True while an operation pauses between two of its commands. The window
// then paints and follows its size, and everything else waits for the end of
// the sequence, as it would behind a blocking sleep.
bool DeviceSequencePaused();
// MM_MIM_DATA and MM_MIM_LONGDATA (`lParam` as the port delivered it).
void DeviceReply(HWND hWnd, UINT message, LPARAM lParam);
// MM_MIM_ERROR and MM_MIM_LONGERROR.
void DeviceInputError(HWND hWnd);

// Raw MIDI bytes of a transfer of `sizeK` KB, and its reply time-out in ticks.
constexpr long TransferBytes(long sizeK) { return sizeK * 2048 + static_cast<long>(SYSEX_BLOCK_HEADER); }
constexpr UINT ReplyTimeoutTicks(long rawBytes) { return static_cast<UINT>((rawBytes + 999) / 1000 + 10); }

