#include "shell/commands.h"

#include <cstdio>

#include "files/file_commands.h"
#include "help/validate.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/file_outcome.h"
#include "shell/image_model.h"
#include "shell/playback.h"

namespace {

void FullRedraw(HWND hWnd) { plat::InvalidateRect(hWnd, true); }

// A Load File or Save File command's report applied; the folder it
// remembered is written to the configuration at once.
void ApplyCommandReport(HWND hWnd, const FileReport& report) {
  ApplyFileReport(report, hWnd);
  if (report.settingsChanged) SaveConfig(szCfgName);
}

void LoadFile(HWND hWnd) {
  ApplyCommandReport(hWnd, tvOpenFile(hWnd));
  // Also after a cancelled dialog: the image may have been partly loaded
  // before a failure, and the marks no longer describe it.
  ComputeWAVfromBuffer();
  ClearEpromFlags();
  FullRedraw(hWnd);
}

void EpromOptions(HWND hWnd) {
  plat::DialogBoxParam(hWnd, IDD_EPROM_OPTIONS, EPROMDialog, 0);
  if (EPROM_Arrangement != Old_EPROM_Arrangement) {
    CreateButttons(hWnd);
    Old_EPROM_Arrangement = EPROM_Arrangement;
    ClearEpromFlags();
  }
  ComputeWAVfromBuffer();
  FullRedraw(hWnd);
}

void About(HWND hWnd) {
  char text[TEXT_BUFFER_SIZE];
  std::snprintf(text, sizeof text, "%s \n%s\n\nVersion 1.02 (Mar 24 2012)\n", szAppName, ContactInfo(0));
  plat::MessageBox(hWnd, text, "About", MB_ICONINFORMATION | MB_OK);
}

// The ports the operation under way talks through stay as they are until
// it ends.
void MidiDevices(HWND hWnd) {
  const DeviceController* devices = TheAppState().devices.get();
  if (devices && devices->Busy()) {
    plat::MessageBox(hWnd,
                     "A Kilnbox operation is under way: cancel it (Kilnbox, Cancel Operation) or let it end "
                     "before choosing other MIDI devices.",
                     "MIDI Devices", MB_ICONINFORMATION | MB_OK);
    return;
  }
  plat::DialogBoxParam(hWnd, IDD_MIDI_OPTIONS, PrefsDialog, 0);
  FullRedraw(hWnd);
}

}  // namespace

LRESULT OnCommand(HWND hWnd, WPARAM wParam) {
  const int id = LOWORD(wParam);
  switch (id) {
    case IDM_EXIT: plat::PostMessage(hWnd, WM_CLOSE, 0, 0); break;
    case IDM_LOAD_FILE: LoadFile(hWnd); break;
    case IDM_SAVE_FILE:
      ApplyCommandReport(hWnd, tvSaveFile(hWnd));
      FullRedraw(hWnd);
      break;
    case IDM_MIDI_DEVICES: MidiDevices(hWnd); break;
    case IDM_EPROM_TYPE: EpromOptions(hWnd); break;
    case IDM_FILE_FORMAT:
      plat::DialogBoxParam(hWnd, IDD_FILE_OPTIONS, FilePrefsDialog, 0);
      FullRedraw(hWnd);
      break;
    case IDM_AUDIO_SETTINGS:
      plat::DialogBoxParam(hWnd, IDD_AUDIO_OPTIONS, AudioOptionsDialog, 0);
      ComputeWAVfromBuffer();
      FullRedraw(hWnd);
      break;
    case IDM_CLEAR_MARKS:
      ClearEpromFlags();
      FullRedraw(hWnd);
      break;
    case IDM_HELP: ShowHelp(hWnd); break;
    case IDM_ABOUT: About(hWnd); break;
    default: {
      DeviceController* devices = TheAppState().devices.get();
      if (!devices || !devices->Command(id)) plat::MessageBox(hWnd, "Undefined Menu Command!", nullptr, MB_OK);
      break;
    }
  }
  return 0;
}
