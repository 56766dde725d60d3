// The dialogs' procedures run as the desktop API runs them, over the window
// system's ShowDialog: a procedure gets WM_INITDIALOG with its parameter
// before the dialog shows, then WM_COMMAND with BN_CLICKED, CBN_SELCHANGE (a
// list choice by the user) or EN_CHANGE (typing); Esc and the close box
// arrive as IDCANCEL, and only EndDialog closes the dialog. The buttons keep
// their rules here, for every window system alike: a radio button checked
// by the program waits for it, an automatic radio button checks itself and
// clears the rest of its group, an automatic check box toggles. The dlg::
// calls read and change the controls of a running dialog; the program's
// own changes notify nothing. A handle that is no running dialog is
// ignored.
#pragma once

#include <string>

#include "platform/platform.h"

namespace dlg {

// Runs dialog `templateId` with `proc` until the procedure ends it; returns
// the value given to EndDialog (-1 for an unknown template or no procedure).
INT_PTR DialogBoxParam(HWND owner, int templateId, DLGPROC proc, LPARAM param);
void EndDialog(HWND hDlg, INT_PTR result);
void DlgListAdd(HWND hDlg, int id, const char* text);
void DlgListSelect(HWND hDlg, int id, int index);  // out of range: no selection
int DlgListGetSel(HWND hDlg, int id);              // -1: none
void SetDlgItemText(HWND hDlg, int id, const char* text);
// A drop-down list's text is its chosen entry.
std::string GetDlgItemText(HWND hDlg, int id);
void CheckDlgButton(HWND hDlg, int id, bool checked);
bool IsDlgButtonChecked(HWND hDlg, int id);
void EnableDlgItem(HWND hDlg, int id, bool enabled);
// The dialog's window on screen, to own the message boxes it opens (null
// before it shows).
HWND DialogWindow(HWND hDlg);

}  // namespace dlg
