#include "shell/core_session.h"

#include <cstdlib>

#include "device/midi.h"
#include "files/file_settings.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/image_model.h"

void MakeCoreStateNew() {
  // The controller first: it shows through the view that goes with it.
  TheAppState().devices.reset();
  TheAppState() = AppState{};
  TheImageModel() = ImageModel{};
  TheDisplayLayout() = DisplayLayout{};
  TheMidiLayer() = MidiLayer{};
  TheFileSettings() = FileSettings{};
  TheConfigState() = ConfigState{};
  TheOptionDialogsState() = OptionDialogsState{};
}

CoreSession::CoreSession(Setup setup) {
  // Two at once would share every module's state.
  if (open_) std::abort();
  open_ = true;
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
  open_ = false;
}
