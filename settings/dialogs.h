// The option dialogs' procedures and the size limits of the EPROM dialog.
#pragma once

#include "platform/platform.h"

INT_PTR PrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR EPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR FilePrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR WhichHalfDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR WhichEPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR AudioOptionsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
void CheckSizeLimits(HWND hDlg, UINT type);

// What the dialogs remember between messages: the Audio Options values as
// they were when the dialog opened.
struct OptionDialogsState {
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
