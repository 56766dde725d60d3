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

// Restores the option dialogs' first-start state (the remembered audio
// values).
void OptionDialogsInit();

// Choose Sound answers.
constexpr int CHOOSE_SOUND_1 = 0;
constexpr int CHOOSE_SOUND_2 = 1;
constexpr int CHOOSE_BOTH_SOUNDS = 2;
