#include "shell/commands.h"

#include <cstdio>

#include "files/file_commands.h"
#include "help/validate.h"
#include "resources/command_ids.h"
#include "resources/dialog_templates.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/file_outcome.h"
#include "shell/playback.h"

namespace {

void FullRedraw(HWND hWnd) { plat::InvalidateRect(hWnd, true); }

// A Load File or Save File command's report applied; the folder it
// remembered is written to the configuration at once.
void ApplyCommandReport(CoreSession& session, HWND hWnd, const FileReport& report) {
  ApplyFileReport(session, report, hWnd);
  if (report.settingsChanged) SaveConfig(szCfgName, session.image, session.fileSettings);
}

void LoadFile(CoreSession& session, HWND hWnd) {
  ApplyCommandReport(session, hWnd, tvOpenFile(hWnd, session.image, session.fileSettings));
  // Also after a cancelled dialog: the image may have been partly loaded
  // before a failure, and the marks no longer describe it.
  ComputeWAVfromBuffer(session);
  session.image.ClearEpromFlags();
  FullRedraw(hWnd);
}

void ShowSettings(CoreSession& session, HWND hWnd, int templateId, DLGPROC proc) {
  SettingsContext settings = session.Settings();
  ShowSettingsDialog(hWnd, templateId, proc, settings);
}

void EpromOptions(CoreSession& session, HWND hWnd) {
  ImageModel& image = session.image;
  ShowSettings(session, hWnd, IDD_EPROM_OPTIONS, EPROMDialog);
  if (image.EPROM_Arrangement != image.Old_EPROM_Arrangement) {
    CreateButttons(hWnd, session.layout, image);
    image.Old_EPROM_Arrangement = image.EPROM_Arrangement;
    image.ClearEpromFlags();
  }
  ComputeWAVfromBuffer(session);
  FullRedraw(hWnd);
}

void About(HWND hWnd) {
  char text[TEXT_BUFFER_SIZE];
  std::snprintf(text, sizeof text, "%s \n%s\n\nVersion 1.02 (Mar 24 2012)\n", szAppName, ContactInfo(0));
  plat::MessageBox(hWnd, text, "About", MB_ICONINFORMATION | MB_OK);
}

// The ports the operation under way talks through stay as they are until
// it ends.
void MidiDevices(CoreSession& session, HWND hWnd) {
  if (session.devices && session.devices->Busy()) {
    plat::MessageBox(hWnd,
                     "A Kilnbox operation is under way: cancel it (Kilnbox, Cancel Operation) or let it end "
                     "before choosing other MIDI devices.",
                     "MIDI Devices", MB_ICONINFORMATION | MB_OK);
    return;
  }
  ShowSettings(session, hWnd, IDD_MIDI_OPTIONS, PrefsDialog);
  FullRedraw(hWnd);
}

}  // namespace

void OnCommand(CoreSession& session, HWND hWnd, int id) {
  switch (id) {
    case IDM_EXIT: plat::RequestClose(hWnd); break;
    case IDM_LOAD_FILE: LoadFile(session, hWnd); break;
    case IDM_SAVE_FILE:
      ApplyCommandReport(session, hWnd, tvSaveFile(hWnd, session.image, session.fileSettings));
      FullRedraw(hWnd);
      break;
    case IDM_MIDI_DEVICES: MidiDevices(session, hWnd); break;
    case IDM_EPROM_TYPE: EpromOptions(session, hWnd); break;
    case IDM_FILE_FORMAT:
      ShowSettings(session, hWnd, IDD_FILE_OPTIONS, FilePrefsDialog);
      FullRedraw(hWnd);
      break;
    case IDM_AUDIO_SETTINGS:
      ShowSettings(session, hWnd, IDD_AUDIO_OPTIONS, AudioOptionsDialog);
      ComputeWAVfromBuffer(session);
      FullRedraw(hWnd);
      break;
    case IDM_CLEAR_MARKS:
      session.image.ClearEpromFlags();
      FullRedraw(hWnd);
      break;
    case IDM_HELP: ShowHelp(hWnd, session.app.helpPath); break;
    case IDM_ABOUT: About(hWnd); break;
    default: {
      if (!session.devices || !session.devices->Command(id))
        plat::MessageBox(hWnd, "Undefined Menu Command!", nullptr, MB_OK);
      break;
    }
  }
}
