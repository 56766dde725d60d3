#include "shell/app_state.h"

#include <cstring>

#include "shell/image_model.h"

const char szAppName[] = "TALVERINE";
const char szCfgName[] = "TALVERINE.CFG";
const char szAppCaption[] = "Kilnbox EPROM Utility";

HINSTANCE MyInstance = nullptr;
HWND MyWindow = nullptr;
HWND hWndStatus = nullptr;
UINT bMidiInit = 0;
std::string helpPath;

MIDIINFO MidiInInfo;
MIDIINFO MidiOutInfo;

BYTE* MIDIinBuffer = nullptr;
BYTE* MIDIoutBuffer = nullptr;
BYTE* wavbuffer[2] = {nullptr, nullptr};

char szString[TEXT_BUFFER_SIZE] = {};

bool AllocateBuffers() {
  imgMemory = static_cast<BYTE*>(plat::AllocMemory(IMAGE_SIZE));
  MIDIinBuffer = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  MIDIoutBuffer = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  wavbuffer[0] = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  wavbuffer[1] = static_cast<BYTE*>(plat::AllocMemory(BUFFER_SIZE));
  return imgMemory && MIDIinBuffer && MIDIoutBuffer && wavbuffer[0] && wavbuffer[1];
}

static void FreeOne(BYTE*& block) {
  if (block) plat::FreeMemory(block);
  block = nullptr;
}

void FreeBuffers() {
  FreeOne(imgMemory);
  FreeOne(wavbuffer[0]);
  FreeOne(wavbuffer[1]);
  FreeOne(MIDIinBuffer);
  FreeOne(MIDIoutBuffer);
}

void AppStateInit() {
  MyInstance = nullptr;
  MyWindow = nullptr;
  hWndStatus = nullptr;
  bMidiInit = 0;
  helpPath.clear();
  MidiInInfo = MIDIINFO();
  MidiOutInfo = MIDIINFO();
  std::memset(szString, 0, sizeof szString);
}
