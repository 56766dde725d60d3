#include "tests/support/dialog_recorder.h"

#include "settings/dialog_runner.h"

namespace testsupport {

std::vector<DialogMessage> g_received;
std::function<void(HWND)> g_onInit;

INT_PTR RecordingDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  g_received.push_back({message, LOWORD(wParam), HIWORD(wParam), lParam});
  if (message == WM_INITDIALOG && g_onInit) g_onInit(hDlg);
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    dlg::EndDialog(hDlg, LOWORD(wParam));
    return 1;
  }
  return 0;
}

std::vector<int> CommandsReceived(int notification) {
  std::vector<int> ids;
  for (const DialogMessage& r : g_received)
    if (r.message == WM_COMMAND && r.notification == notification) ids.push_back(r.id);
  return ids;
}

}  // namespace testsupport
