// The MIDI port layer: counts, names, opens and closes one input and one
// output port, attaches their buffers, sends System Exclusive messages and
// starts and stops input, showing every platform error to the user.
#pragma once

#include "platform/platform.h"

constexpr UINT MIDI_INPUT = 1;
constexpr UINT MIDI_OUTPUT = 2;
constexpr UINT MIDI_INVALID = 0xFF00;

constexpr UINT MIDI_OPEN = 0x01;
constexpr UINT MIDI_CLOSE = 0x10;
constexpr UINT MIDI_FORCE_CLOSE = 0x11;

constexpr UINT MIDI_IDLE = 0;
constexpr UINT MIDI_BUSY = 1;
constexpr UINT MIDI_INTERRUPTED = 2;

// The one buffer a port may have attached: the message an output sends, or
// where an input puts the next whole System Exclusive message it receives.
struct MIDIBUFFER {
  char* lpData = nullptr;
  DWORD dwBufferLength = 0;
  DWORD dwBytesRecorded = 0;  // the message received into it
  bool fDone = false;         // sent, or a message received into it
};

// One port's record. The handle slot serves an input port (as its input
// handle) or an output port (as its output handle).
typedef struct _MIDIINFO {
  UINT uDeviceType = MIDI_INVALID;
  UINT uDeviceID = MIDI_INVALID;
  PlatMidiPort* hMidi = nullptr;
  MIDIBUFFER Buffer;
  int fAlwaysKeepOpen = 0;
  UINT uDeviceStatus = MIDI_IDLE;
} MIDIINFO, *LPMIDIINFO;

// Size of each MIDI and playback buffer: the largest device reply (45 header
// bytes, two bytes for each of 65536 data bytes and the end byte) fits.
constexpr DWORD BUFFER_SIZE = 0x20400;

// What the open ports report, on the GUI thread.
class MidiEvents {
 public:
  virtual ~MidiEvents() = default;
  // A whole System Exclusive message is in the buffer attached to the input
  // record (its dwBytesRecorded bytes).
  virtual void OnMidiLongData(LPMIDIINFO lpMidiInInfo) = 0;
  // While a buffer was attached, a message came broken or did not fit it.
  virtual void OnMidiLongError(LPMIDIINFO lpMidiInInfo) = 0;
  // A message sent on the output record has left the port (0), or could not
  // go out (MidiShowError shows the port's words for `uError`).
  virtual void OnMidiOutputDone(LPMIDIINFO lpMidiOutInfo, UINT uError) = 0;
};

// What the layer found when it was started, where the ports report, and the
// port's own words for the latest error of each kind.
struct MidiLayer {
  UINT uMidiInDevices = 0;
  UINT uMidiOutDevices = 0;
  MidiEvents* events = nullptr;
  MidiResult lastInputError;
  MidiResult lastOutputError;
};

// The program's one MIDI layer; a new run starts from a new one.
MidiLayer& TheMidiLayer();

// Where the open ports' reports go from now on (nullptr: nowhere).
void MidiSetEvents(MidiEvents* events);

int MidiInit(LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo);
UINT MidiGetDeviceName(HWND hWnd, UINT uDeviceType, UINT uDeviceID, char* lpszBuffer);
// Where the port called `name` stands now in its kind's list, or
// MIDI_INVALID when no port has that name.
UINT MidiFindDevice(UINT uDeviceType, const std::string& name);
UINT MidiActivateDevice(HWND hWnd, LPMIDIINFO lpMidiInfo, UINT uActivateMode);
UINT MidiAssignBuffer(HWND hWnd, LPMIDIINFO lpMidiInfo, char* lpData, DWORD dwBufferLength, int fAssign);
UINT MidiSendLongMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, int fSend);
UINT MidiRecord(HWND hWnd, LPMIDIINFO lpMidiInInfo, int fRecord);
UINT MidiSendShortMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, BYTE cStatus, BYTE cChannel, BYTE cData1, BYTE cData2);
int MidiExit(HWND hWnd, LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo);
void MidiShowError(HWND hWnd, UINT uError, UINT uDeviceType);
