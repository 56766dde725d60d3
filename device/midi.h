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

// One port's record. The handle slot serves an input port (as its input
// handle) or an output port (as its output handle).
typedef struct _MIDIINFO {
  UINT uDeviceType = MIDI_INVALID;
  UINT uDeviceID = MIDI_INVALID;
  PlatMidiPort* hMidi = nullptr;
  MIDIHDR MidiHdr;
  int fAlwaysKeepOpen = 0;
  UINT uDeviceStatus = MIDI_IDLE;
} MIDIINFO, *LPMIDIINFO;

// What the layer found when it was started.
struct MidiLayer {
  UINT uMidiInDevices = 0;
  UINT uMidiOutDevices = 0;
};

// The program's one MIDI layer; a new run starts from a new one.
MidiLayer& TheMidiLayer();

// Its fields under the names every module uses: the port counts.
extern UINT& uMidiInDevices;
extern UINT& uMidiOutDevices;

int MidiInit(LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo);
UINT MidiGetDeviceName(HWND hWnd, UINT uDeviceType, UINT uDeviceID, char* lpszBuffer);
UINT MidiActivateDevice(HWND hWnd, LPMIDIINFO lpMidiInfo, UINT uActivateMode);
UINT MidiAssignBuffer(HWND hWnd, LPMIDIINFO lpMidiInfo, char* lpData, DWORD dwBufferLength, int fAssign);
UINT MidiSendLongMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, int fSend);
UINT MidiRecord(HWND hWnd, LPMIDIINFO lpMidiInInfo, int fRecord);
UINT MidiSendShortMsg(HWND hWnd, LPMIDIINFO lpMidiOutInfo, BYTE cStatus, BYTE cChannel, BYTE cData1, BYTE cData2);
int MidiExit(HWND hWnd, LPMIDIINFO lpMidiInInfo, LPMIDIINFO lpMidiOutInfo);
void MidiShowError(HWND hWnd, UINT uError, UINT uDeviceType);
