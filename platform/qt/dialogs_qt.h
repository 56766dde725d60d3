// The option dialogs on Qt.
//
// Implements:
// - QtDialogHost: modal QDialogs built from the templates in resources/
//   (dialog units converted by the dialog font's metrics), run in a nested
//   event loop so that timer ticks and MIDI input keep flowing;
// - the procedure fed as the desktop API feeds it: WM_INITDIALOG with the
//   parameter before the dialog shows, WM_COMMAND with BN_CLICKED,
//   CBN_SELCHANGE (a list selection by the user) and EN_CHANGE (typing);
//   Esc and the close box arrive as WM_COMMAND IDCANCEL, and only EndDialog
//   closes the dialog;
// - the button rules: radio buttons checked by the program do not check
//   themselves when clicked, automatic radio buttons clear the rest of their
//   group, automatic check boxes toggle;
// - the Dlg* operations on a dialog's controls.
// The dialogs' behaviour is the procedures' (settings/); this host only
// builds, shows and forwards.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class QFont;
class QWidget;

namespace qtdlg {
class TemplateDialog;
}

class QtDialogHost {
 public:
  explicit QtDialogHost(QWidget* mainWindow);
  ~QtDialogHost();
  QtDialogHost(const QtDialogHost&) = delete;
  QtDialogHost& operator=(const QtDialogHost&) = delete;

  // Runs dialog `templateId` with `proc` until the procedure ends it;
  // returns the value given to EndDialog (-1 for an unknown template).
  INT_PTR DialogBoxParam(HWND owner, int templateId, DLGPROC proc, LPARAM param);
  void EndDialog(HWND hDlg, INT_PTR result);
  void DlgListAdd(HWND hDlg, int id, const char* text);
  void DlgListSelect(HWND hDlg, int id, int index);     // -1: no selection
  int DlgListGetSel(HWND hDlg, int id);                  // -1: none
  void SetDlgItemText(HWND hDlg, int id, const char* text);
  std::string GetDlgItemText(HWND hDlg, int id);
  void CheckDlgButton(HWND hDlg, int id, bool checked);
  bool IsDlgButtonChecked(HWND hDlg, int id);
  void EnableDlgItem(HWND hDlg, int id, bool enabled);

  // The dialog window behind `hDlg` while it is open, else nullptr (for
  // message boxes owned by a dialog). Handles of other windows are never
  // dereferenced.
  QWidget* DialogWidget(HWND hDlg) const;
  // The control `id` of an open dialog, or nullptr.
  QWidget* ControlWidget(HWND hDlg, int id) const;
  // The innermost open dialog, or nullptr.
  HWND ActiveDialog() const;

 private:
  qtdlg::TemplateDialog* Find(HWND hDlg) const;

  QWidget* mainWindow_;
  std::vector<qtdlg::TemplateDialog*> open_;  // innermost last
};

// Pixels per dialog unit for `font`, as the desktop API measures them: the
// average width of the 52 letters, over 4, across; the character height,
// over 8, down.
struct DialogUnits {
  int baseX = 0;  // average character width, pixels
  int baseY = 0;  // character height, pixels
  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
};
DialogUnits MeasureDialogUnits(const QFont& font);
