// What the application owns for its whole run: names, the main window and
// its status bar, the MIDI port records and the transfer and playback
// buffers.
#pragma once

#include <string>

#include "device/midi.h"
#include "platform/platform.h"

extern const char szAppName[];     // "TALVERINE"
extern const char szCfgName[];     // "TALVERINE.CFG"
extern const char szAppCaption[];  // "Kilnbox EPROM Utility"

// Size of each MIDI and playback buffer: the largest device reply (45 header
// bytes, two bytes for each of 65536 data bytes and the end byte) fits.
constexpr DWORD BUFFER_SIZE = 0x20400;

extern HINSTANCE MyInstance;
extern HWND MyWindow;
extern HWND hWndStatus;
extern UINT bMidiInit;
extern std::string helpPath;

extern MIDIINFO MidiInInfo;
extern MIDIINFO MidiOutInfo;

extern BYTE* MIDIinBuffer;
extern BYTE* MIDIoutBuffer;
extern BYTE* wavbuffer[2];

// Shared formatting buffer for status and message texts; holds the text of
// the last result.
constexpr size_t TEXT_BUFFER_SIZE = 1024;
extern char szString[TEXT_BUFFER_SIZE];

// Allocates the image and the four transfer and playback buffers (zero
// filled); true when all five could be had.
bool AllocateBuffers();
// Frees them in the order image, playback buffers, receive, send.
void FreeBuffers();

// Restores a first start's state (handles cleared; buffers are not freed).
void AppStateInit();
