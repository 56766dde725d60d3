// What the application owns for its whole run: names, the main window and
// its status bar, the MIDI port records and the transfer and playback
// buffers.
#pragma once

#include <memory>
#include <string>

#include "device/midi.h"
#include "platform/platform.h"

extern const char szAppName[];     // "TALVERINE"
extern const char szCfgName[];     // "TALVERINE.CFG"
extern const char szAppCaption[];  // "Kilnbox EPROM Utility"

// Size of each MIDI and playback buffer: the largest device reply (45 header
// bytes, two bytes for each of 65536 data bytes and the end byte) fits.
constexpr DWORD BUFFER_SIZE = 0x20400;

// Texts for the window are formatted into buffers of this size; a longer
// one (a long file name) is cut.
constexpr size_t TEXT_BUFFER_SIZE = 1024;

class DeviceController;
class DeviceView;

// What the application holds for its whole run.
struct AppState {
  HINSTANCE MyInstance = nullptr;
  HWND MyWindow = nullptr;
  HWND hWndStatus = nullptr;
  UINT bMidiInit = 0;
  std::string helpPath;
  MIDIINFO MidiInInfo;
  MIDIINFO MidiOutInfo;
  // The main window's device operations, made with the window (the
  // controller after its view, so that it goes first).
  std::unique_ptr<DeviceView> deviceView;
  std::unique_ptr<DeviceController> devices;

  ~AppState();
  AppState& operator=(AppState&& other) noexcept;
};

// The program's one application state; a new run starts from a new one.
AppState& TheAppState();

// The transfer and playback buffers: allocated when the main window is made
// (or by a session without one), freed at close.
struct ProgramBuffers {
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

// Allocates the four transfer and playback buffers (zero filled); true when
// all four could be had.
bool AllocateBuffers();
// Frees them in the order playback buffers, receive, send.
void FreeBuffers();
