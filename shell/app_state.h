// What the application owns for its whole run: names, the main window and
// its status bar, the MIDI port records and the transfer and playback
// buffers.
#pragma once

#include <deque>
#include <optional>
#include <string>

#include "device/midi.h"
#include "platform/platform.h"
#include "shell/pointer_input.h"

extern const char szAppName[];     // "TALVERINE"
extern const char szCfgName[];     // "TALVERINE.CFG"
extern const char szAppCaption[];  // "Kilnbox EPROM Utility"

// Size of each MIDI and playback buffer: the largest device reply (45 header
// bytes, two bytes for each of 65536 data bytes and the end byte) fits.
constexpr DWORD BUFFER_SIZE = 0x20400;

// Shared formatting buffer for status and message texts; holds the text of
// the last result.
constexpr size_t TEXT_BUFFER_SIZE = 1024;

// A message that came while a device operation paused, handled after it.
struct HeldMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::optional<DroppedFiles> drop;  // a drop's files, read when it came
};

// What the application holds for its whole run.
struct AppState {
  HINSTANCE MyInstance = nullptr;
  HWND MyWindow = nullptr;
  HWND hWndStatus = nullptr;
  UINT bMidiInit = 0;
  std::string helpPath;
  UINT timerId = 0;
  MIDIINFO MidiInInfo;
  MIDIINFO MidiOutInfo;
  char szString[TEXT_BUFFER_SIZE] = {};
  std::deque<HeldMessage> held;
  bool releasingHeld = false;
};

// The program's one application state; a new run starts from a new one.
AppState& TheAppState();

// The image and the transfer and playback buffers: allocated when the main
// window is made (or by a session without one), freed at close.
struct ProgramBuffers {
  BYTE* imgMemory = nullptr;
  BYTE* MIDIinBuffer = nullptr;
  BYTE* MIDIoutBuffer = nullptr;
  BYTE* wavbuffer[2] = {nullptr, nullptr};
};

// Its fields under the names every module uses.
extern HINSTANCE& MyInstance;
extern HWND& MyWindow;
extern HWND& hWndStatus;
extern UINT& bMidiInit;
extern std::string& helpPath;
extern MIDIINFO& MidiInInfo;
extern MIDIINFO& MidiOutInfo;
extern BYTE*& MIDIinBuffer;
extern BYTE*& MIDIoutBuffer;
extern BYTE* (&wavbuffer)[2];
extern char (&szString)[TEXT_BUFFER_SIZE];

// Allocates the image and the four transfer and playback buffers (zero
// filled); true when all five could be had.
bool AllocateBuffers();
// Frees them in the order image, playback buffers, receive, send.
void FreeBuffers();
