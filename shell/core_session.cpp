#include "shell/core_session.h"

#include <cstdlib>

#include "resources/command_ids.h"
#include "settings/config.h"
#include "shell/device_controller.h"

namespace {

// The MIDI layer's own state and the ports chosen start new with each
// session.
void MakeMidiStateNew() {
  TheMidiLayer() = MidiLayer{};
  TheConfigState() = ConfigState{};
}

}  // namespace

CoreSession::CoreSession(Setup setup) {
  // Two at once would share the MIDI state, and Current() could name only one.
  if (current_ != nullptr) std::abort();
  current_ = this;
  MakeMidiStateNew();
  if (setup == Setup::WithoutWindow) {
    ready_ = AllocateBuffers();
    app.hWndStatus = plat::CreateStatusBar(nullptr, ID_STATUS_BAR);
  }
}

CoreSession::~CoreSession() {
  // The controller first: it shows through the view that goes with it.
  devices.reset();
  deviceView.reset();
  FreeBuffers();
  MakeMidiStateNew();
  current_ = nullptr;
}

CoreSession& CoreSession::Current() {
  if (current_ == nullptr) std::abort();
  return *current_;
}

bool CoreSession::AllocateBuffers() {
  image.imgMemory = AllocatePlatformBytes(IMAGE_SIZE);
  app.MIDIinBuffer = AllocatePlatformBytes(BUFFER_SIZE);
  app.MIDIoutBuffer = AllocatePlatformBytes(BUFFER_SIZE);
  app.wavbuffer[0] = AllocatePlatformBytes(BUFFER_SIZE);
  app.wavbuffer[1] = AllocatePlatformBytes(BUFFER_SIZE);
  return image.imgMemory && app.MIDIinBuffer && app.MIDIoutBuffer && app.wavbuffer[0] && app.wavbuffer[1];
}

void CoreSession::FreeBuffers() {
  image.imgMemory.reset();
  app.wavbuffer[0].reset();
  app.wavbuffer[1].reset();
  app.MIDIinBuffer.reset();
  app.MIDIoutBuffer.reset();
}
