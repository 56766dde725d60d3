#include "shell/modules.h"

#include "device/midi.h"
#include "files/fileio.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/device_ops.h"
#include "shell/display.h"
#include "shell/image_model.h"

void ResetAllModules() {
  ImageModelInit();
  AppStateInit();
  FileIoInit();
  ConfigInit();
  MidiLayerInit();
  OptionDialogsInit();
  DisplayInit();
  DeviceOpsInit();
}
