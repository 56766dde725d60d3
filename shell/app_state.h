// What the application owns for its whole run: the main window and
// its status bar, the help folder, the MIDI port records and the transfer
// and playback buffers.
#pragma once

#include <string>

#include "device/midi.h"
#include "platform/platform.h"
#include "resources/app_names.h"
#include "shell/image_model.h"

// Texts for the window are formatted into buffers of this size; a longer
// one (a long file name) is cut.
constexpr size_t TEXT_BUFFER_SIZE = 1024;

// What the application holds for its whole run; part of the session.
struct AppState {
  HINSTANCE MyInstance = nullptr;
  HWND MyWindow = nullptr;
  HWND hWndStatus = nullptr;
  std::string helpPath;
  // The MIDI receive and send buffers and the two playback WAV images,
  // BUFFER_SIZE bytes each: allocated with the main window (or by a session
  // without one), freed at close.
  PlatformBytes MIDIinBuffer;
  PlatformBytes MIDIoutBuffer;
  PlatformBytes wavbuffer[2];
  // The MIDI port records and whether the port layer started.
  UINT bMidiInit = 0;
  MIDIINFO MidiInInfo;
  MIDIINFO MidiOutInfo;
};

