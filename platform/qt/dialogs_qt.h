// The option dialogs on Qt: modal QDialogs built from the templates in
// resources/ (dialog units converted by the dialog font's metrics), run in a
// nested event loop so that timer ticks and MIDI input keep flowing. Each
// shows a DialogState and reports the user's clicks, list choices and typing
// (Esc and the close box as IDCANCEL); the buttons' rules and the dialogs'
// behaviour are the core's, so no button here checks itself.
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

  // Runs dialog `templateId` over `state` until `onEvent` ends it (see
  // WindowSystem::ShowDialog).
  INT_PTR ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent);

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
