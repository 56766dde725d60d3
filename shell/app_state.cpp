#include "shell/app_state.h"

#include "shell/device_controller.h"

const char szAppName[] = "TALVERINE";
const char szCfgName[] = "TALVERINE.CFG";
const char szAppCaption[] = "Kilnbox EPROM Utility";

namespace {
AppState g_app;
ProgramBuffers g_buffers;
}

AppState& TheAppState() { return g_app; }

// Out of line, where the controller and its view are known.
AppState::~AppState() = default;
AppState& AppState::operator=(AppState&& other) noexcept = default;

HINSTANCE& MyInstance = g_app.MyInstance;
HWND& MyWindow = g_app.MyWindow;
HWND& hWndStatus = g_app.hWndStatus;
UINT& bMidiInit = g_app.bMidiInit;
std::string& helpPath = g_app.helpPath;
MIDIINFO& MidiInInfo = g_app.MidiInInfo;
MIDIINFO& MidiOutInfo = g_app.MidiOutInfo;
BYTE*& MIDIinBuffer = g_buffers.MIDIinBuffer;
BYTE*& MIDIoutBuffer = g_buffers.MIDIoutBuffer;
BYTE* (&wavbuffer)[2] = g_buffers.wavbuffer;

bool AllocateBuffers() {
  MIDIinBuffer = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  MIDIoutBuffer = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  wavbuffer[0] = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  wavbuffer[1] = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  return MIDIinBuffer && MIDIoutBuffer && wavbuffer[0] && wavbuffer[1];
}

static void FreeOne(BYTE*& block) {
  if (block) plat::FreeMemory(block);
  block = nullptr;
}

void FreeBuffers() {
  FreeOne(wavbuffer[0]);
  FreeOne(wavbuffer[1]);
  FreeOne(MIDIinBuffer);
  FreeOne(MIDIoutBuffer);
}
