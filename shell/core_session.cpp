#include "shell/core_session.h"

#include <cstdlib>

#include "device/midi.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"

namespace {

// What is still kept program-wide: a new session makes it new.
void MakeProgramStateNew() {
  // The controller first: it shows through the view that goes with it.
  TheAppState().devices.reset();
  TheAppState() = AppState{};
  TheMidiLayer() = MidiLayer{};
  TheConfigState() = ConfigState{};
}

}  // namespace

CoreSession::CoreSession(Setup setup) {
  // Two at once would share the program-wide state.
  if (current_ != nullptr) std::abort();
  current_ = this;
  ::FreeBuffers();
  MakeProgramStateNew();
  if (setup == Setup::WithoutWindow) {
    ready_ = AllocateBuffers();
    hWndStatus = plat::CreateStatusBar(nullptr, ID_STATUS_BAR);
  }
}

CoreSession::~CoreSession() {
  FreeBuffers();
  MakeProgramStateNew();
  current_ = nullptr;
}

CoreSession& CoreSession::Current() {
  if (current_ == nullptr) std::abort();
  return *current_;
}

bool CoreSession::AllocateBuffers() {
  image.imgMemory = AllocatePlatformBytes(IMAGE_SIZE);
  const bool transfer = ::AllocateBuffers();
  return image.imgMemory && transfer;
}

void CoreSession::FreeBuffers() {
  image.imgMemory.reset();
  ::FreeBuffers();
}
