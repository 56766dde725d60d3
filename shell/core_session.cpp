#include "shell/core_session.h"

#include <cstdlib>

#include "device/midi.h"
#include "files/file_settings.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/device_ops.h"
#include "shell/display.h"
#include "shell/image_model.h"

namespace {
bool g_sessionOpen = false;
}

void MakeCoreStateNew() {
  TheAppState() = AppState{};
  TheImageModel() = ImageModel{};
  TheDisplayLayout() = DisplayLayout{};
  TheDeviceSession() = DeviceSession{};
  TheMidiLayer() = MidiLayer{};
  TheFileSettings() = FileSettings{};
  TheConfigState() = ConfigState{};
  TheOptionDialogsState() = OptionDialogsState{};
}

CoreSession::CoreSession(Setup setup) {
  // Two at once would share every module's state.
  if (g_sessionOpen) std::abort();
  g_sessionOpen = true;
  FreeBuffers();
  MakeCoreStateNew();
  if (setup == Setup::WithoutWindow) {
    ready_ = AllocateBuffers();
    hWndStatus = plat::CreateStatusBar(nullptr, ID_STATUS_BAR);
  }
}

CoreSession::~CoreSession() {
  FreeBuffers();
  MakeCoreStateNew();
  g_sessionOpen = false;
}
