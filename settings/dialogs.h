// The option dialogs' procedures and the size limits of the EPROM dialog.
#pragma once

#include <string>
#include <vector>

#include "device/midi.h"
#include "files/file_settings.h"
#include "platform/platform.h"
#include "settings/dialog_runner.h"
#include "shell/image_model.h"

struct OptionDialogsState;

// What the settings dialogs read and change: handed to ShowSettingsDialog by
// whoever opens one, since the platform calls the procedures with nothing
// of ours.
struct SettingsContext {
  ImageModel& image;
  FileSettings& files;
  OptionDialogsState& dialogs;
  // MIDI Options closes the ports while it is open and opens the ones chosen
  // again, aimed at the main window.
  HWND mainWindow;
  MIDIINFO& midiIn;
  MIDIINFO& midiOut;
};

// Runs the dialog of `templateId` with `proc`, on `context` (and `param`
// for WM_INITDIALOG, as DialogBoxParam); returns the dialog's result.
INT_PTR ShowSettingsDialog(HWND owner, int templateId, DLGPROC proc, SettingsContext& context, LPARAM param = 0);

INT_PTR PrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR EPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR FilePrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR WhichHalfDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR WhichEPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR AudioOptionsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
void CheckSizeLimits(HWND hDlg, UINT type);

// Opens the MIDI ports the configuration remembers, aimed at `mainWindow`:
// each found by its name, or by its number when no name is kept. A port
// remembered by a name no port has now stays closed, and the message names
// it.
void OpenRememberedMidiPorts(HWND mainWindow, MIDIINFO& midiIn, MIDIINFO& midiOut);

// What the dialogs remember between messages: the Audio Options values as
// they were when the dialog opened, and the ports MIDI Options lists (a port
// plugged in meanwhile must not shift what OK stores).
struct OptionDialogsState {
  std::vector<std::string> midiInNames;
  std::vector<std::string> midiOutNames;
  UINT old_sr = 24000;
  UINT oldF1 = 0;
  UINT oldF2 = 0;
  UINT oldF3 = 0;
  UINT oldF4 = 0;  // ResampleToPlaybackRate
};

// Choose Sound answers.
constexpr int CHOOSE_SOUND_1 = 0;
constexpr int CHOOSE_SOUND_2 = 1;
constexpr int CHOOSE_BOTH_SOUNDS = 2;
